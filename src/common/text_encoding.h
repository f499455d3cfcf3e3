// Text for netCDF strings, which are UTF-8: station identifiers from GrADS data are bytes,
// often written in ISO-8859-1 by programs older than UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace d2g {

// Whether `text` is well-formed UTF-8 (no overlong forms, surrogates or code points beyond
// U+10FFFF).
bool is_utf8(std::string_view text);

// `text` as it is where it is UTF-8, else its bytes read as ISO-8859-1, in UTF-8.
std::string as_utf8(std::string_view text);

}  // namespace d2g
