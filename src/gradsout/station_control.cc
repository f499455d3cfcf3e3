#include "gradsout/station_control.h"

#include <fmt/format.h>

#include "gradsout/control_file.h"

namespace d2g {

namespace {

// GrADS 2.2.1 refuses a file with a line of 512 characters; keep clear of it.
constexpr std::size_t kLongestText = 400;

void attribute_lines(std::string& text, const std::string& owner,
                     const std::vector<std::pair<std::string, std::string>>& attributes) {
  for (const auto& [key, value] : attributes) {
    const std::string line_value = control_text(value, kLongestText);
    if (!line_value.empty()) text += fmt::format("@ {} String {} {}\n", owner, key, line_value);
  }
}

}  // namespace

std::string station_control_text(const StationControl& control) {
  std::string text = fmt::format(
      "dset   {}\n"
      "dtype  station\n"
      "stnmap {}\n"
      "undef  {}\n"
      "title  {}\n",
      control.dset, control.stnmap, undef_field(control.undef),
      control_text(control.title.empty() ? "station data" : control.title, kLongestText));
  if (!control.options.empty())
    text += fmt::format("options {}\n", fmt::join(control.options, " "));
  text +=
      fmt::format("tdef   {} linear {} {}\n", control.ntime, control.tdef_start, control.tdef_step);
  text += fmt::format("vars   {}\n", control.vars.size());
  for (const ControlVariable& var : control.vars) {
    const std::string description = control_text(var.description, 150);
    text += fmt::format("{} {} 99 {}\n", var.name, var.on_levels ? 1 : 0,
                        description.empty() ? var.name : description);
  }
  text += "endvars\n";
  // Attribute lines name the variable in lower case, as GrADS keeps them.
  attribute_lines(text, "global", control.global_attributes);
  for (const ControlVariable& var : control.vars) attribute_lines(text, var.name, var.attributes);
  return text;
}

}  // namespace d2g
