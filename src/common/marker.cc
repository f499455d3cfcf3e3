#include "common/marker.h"

#include <strings.h>

#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

namespace d2g {

std::optional<float> parse_undef(std::string_view text) {
  const std::string value(text);
  if (::strcasecmp(value.c_str(), "nan") == 0) return std::numeric_limits<float>::quiet_NaN();
  if (value.empty() || value.find_first_of("nNiI") != std::string::npos) return std::nullopt;
  char* end = nullptr;
  const double number = std::strtod(value.c_str(), &end);
  if (end != value.c_str() + value.size()) return std::nullopt;
  const float marker = static_cast<float>(number);
  if (!std::isfinite(marker)) return std::nullopt;
  return marker;
}

}  // namespace d2g
