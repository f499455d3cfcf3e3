// The missing-value marker that every control file's undef line declares, as users give it.
#pragma once

#include <optional>
#include <string_view>

namespace d2g {

// A missing-value marker from its text: a finite single-precision number, or "nan" (any case).
// Nothing for anything else, including numbers beyond single precision and infinities.
std::optional<float> parse_undef(std::string_view text);

}  // namespace d2g
