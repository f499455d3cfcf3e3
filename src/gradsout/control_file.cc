#include "gradsout/control_file.h"

#include <fmt/format.h>

#include <cmath>
#include <cstdlib>

#include "common/fixed_width.h"

namespace d2g {

std::string undef_field(float undef) {
  if (std::isnan(undef)) return fmt::format("{:>8}", "NaN");
  if (std::isinf(undef)) return fmt::format("{:>8}", undef > 0 ? "Infinity" : "-Inf");
  // An exact zero prints unsigned.
  if (undef == 0.0f) return fmt::format("{:>8}", "0.0");
  // One decimal where that reads back as the marker itself, otherwise as few more as it takes:
  // GrADS compares the cells with the value it reads from this line.
  for (int decimals = 1;; ++decimals) {
    const std::string text = fmt::format("{:8.{}f}", static_cast<double>(undef), decimals);
    if (std::strtof(text.c_str(), nullptr) == undef || decimals >= 60) return text;
  }
}

std::string time_count_field(int32_t ntime) { return fmt::format("{:>3}", ntime); }

std::string control_file_text(std::string_view name, std::string_view ctlvar, int32_t ntime,
                              float undef) {
  const std::string_view product = trim_right(name);
  return fmt::format(
      "dset  ^{0}.dat\n"
      "dtype station\n"
      "stnmap ^{0}.dat.map\n"
      "undef   {1}\n"
      "title   Factor Analysis\n"
      "tdef  {2} linear jan1980 1mo\n"
      "vars   1\n"
      "{3} 0 99 Factor\n"
      "endvars\n",
      product, undef_field(undef), time_count_field(ntime), trim_right(ctlvar));
}

}  // namespace d2g
