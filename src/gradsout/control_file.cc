#include "gradsout/control_file.h"

#include <fmt/format.h>

#include <cctype>
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

std::string control_text(std::string_view text, std::size_t most) {
  std::string out;
  for (char c : text) {
    const char blank = (c == '\n' || c == '\r' || c == '\t') ? ' ' : c;
    if (blank == ' ' && (out.empty() || out.back() == ' ')) continue;
    out += blank;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  if (out.size() > most) out.resize(most);
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

std::string control_file_text(std::string_view name, std::string_view ctlvar, int32_t ntime,
                              float undef, const ControlDescription& description) {
  const std::string_view product = trim_right(name);
  const std::string_view variable = trim_right(ctlvar);
  const bool real_time = !description.tdef_start.empty() && !description.tdef_step.empty();
  std::string text = fmt::format(
      "dset  ^{0}.dat\n"
      "dtype station\n"
      "stnmap ^{0}.dat.map\n"
      "undef   {1}\n"
      "title   {2}\n",
      product, undef_field(undef),
      description.title.empty() ? "Factor Analysis" : control_text(description.title, 400));
  if (description.calendar_365_day) text += "options 365_day_calendar\n";
  text += fmt::format("tdef  {} linear {} {}\n", time_count_field(ntime),
                      real_time ? description.tdef_start : "jan1980",
                      real_time ? description.tdef_step : "1mo");
  text += fmt::format(
      "vars   1\n{} 0 99 {}\n", variable,
      description.description.empty() ? "Factor" : control_text(description.description, 150));
  text += "endvars\n";
  // Attribute lines name the variable in lower case: GrADS drops them otherwise.
  std::string lower(variable);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto& [attribute, value] : description.attributes) {
    const std::string line_value = control_text(value, 400);
    if (!line_value.empty())
      text += fmt::format("@ {} String {} {}\n", lower, attribute, line_value);
  }
  return text;
}

}  // namespace d2g
