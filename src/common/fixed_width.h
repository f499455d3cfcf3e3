// Fixed-width character fields: names are held blank-padded to a declared width and used trimmed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace d2g {

// Widths of the program's name buffers.
inline constexpr std::size_t kDimNameWidth = 15;
inline constexpr std::size_t kStationLabelWidth = 21;
inline constexpr std::size_t kStationIdWidth = 8;

// `text` cut to `width` characters or padded on the right with blanks up to it.
std::string fixed_width(std::string_view text, std::size_t width);

// `text` without its trailing blanks.
std::string_view trim_right(std::string_view text);

}  // namespace d2g
