#include "gradsout/control_file.h"

#include <fmt/format.h>

#include <cmath>

#include "common/fixed_width.h"

namespace d2g {

std::string undef_field(float undef) {
  if (std::isnan(undef)) return fmt::format("{:>8}", "NaN");
  if (std::isinf(undef)) return fmt::format("{:>8}", undef > 0 ? "Infinity" : "-Inf");
  // An exact zero prints unsigned; a negative value that rounds to zero keeps its sign.
  if (undef == 0.0f) return fmt::format("{:>8}", "0.0");
  return fmt::format("{:8.1f}", static_cast<double>(undef));
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
