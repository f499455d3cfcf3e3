#include "plot/plot_data.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

#include "common/fatal_error.h"

namespace d2g::plot {

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string variable_list(const gradsin::StationDataSet& data) {
  std::string list;
  for (const gradsin::VarDecl& var : data.vars) {
    list += (list.empty() ? "" : ", ") + var.name + (var.on_levels ? " (levels)" : "");
  }
  return list;
}

bool same_level(float a, float b) {
  return std::fabs(a - b) <= 1e-4f * std::max(1.0f, std::fabs(a));
}

}  // namespace

const gradsin::VarDecl& choose_variable(const gradsin::StationDataSet& data,
                                        const std::string& name, std::optional<float> level) {
  const gradsin::VarDecl* chosen = &data.vars.front();
  if (!name.empty()) {
    chosen = nullptr;
    for (const gradsin::VarDecl& var : data.vars) {
      if (var.name == lower(name)) chosen = &var;
    }
    if (chosen == nullptr) {
      throw FatalError::bad_input(
          data.control_path,
          fmt::format("no variable \"{}\"; the product has {}", name, variable_list(data)));
    }
  }
  if (chosen->on_levels && !level) {
    throw FatalError::bad_input(
        data.control_path,
        fmt::format("variable \"{}\" has levels: choose one with --lev", chosen->name));
  }
  if (!chosen->on_levels && level) {
    throw FatalError::bad_input(data.control_path,
                                fmt::format("variable \"{}\" is a surface variable: --lev does "
                                            "not apply",
                                            chosen->name));
  }
  return *chosen;
}

PlotField plot_field(const gradsin::StationDataSet& data, const gradsin::StationReports& reports,
                     const gradsin::VarDecl& var, std::optional<float> level) {
  PlotField field;
  field.var = var.name;
  field.description = var.description;
  field.level = level;
  field.ids = reports.ids;
  field.lat = reports.lat;
  field.lon = reports.lon;
  field.ntime = data.ntime;
  const std::size_t nstation = reports.ids.size();
  field.values.assign(nstation * static_cast<std::size_t>(data.ntime),
                      std::numeric_limits<float>::quiet_NaN());
  std::vector<char> filled(field.values.size(), 0);

  const std::size_t index = static_cast<std::size_t>(&var - data.vars.data());
  const std::size_t level_vars = data.vars.size() - data.surface_vars;
  std::set<float> levels_seen;
  for (std::size_t r = 0; r < reports.station.size(); ++r) {
    const std::size_t cell = static_cast<std::size_t>(reports.group[r]) * nstation +
                             static_cast<std::size_t>(reports.station[r]);
    if (filled[cell]) continue;
    const float* values = &reports.values[static_cast<std::size_t>(reports.first_value[r])];
    float value = std::numeric_limits<float>::quiet_NaN();
    if (!var.on_levels) {
      value = values[index];
      filled[cell] = 1;
    } else {
      const float* at_level = values + data.surface_vars;
      for (int32_t k = 0; k < reports.nlevels[r]; ++k, at_level += 1 + level_vars) {
        levels_seen.insert(at_level[0]);
        if (same_level(at_level[0], *level)) {
          value = at_level[1 + index - data.surface_vars];
          filled[cell] = 1;
          break;
        }
      }
    }
    if (!gradsin::is_missing(value, data.undef)) field.values[cell] = value;
  }
  if (var.on_levels && std::none_of(filled.begin(), filled.end(), [](char f) { return f; })) {
    std::string list;
    for (float l : levels_seen) list += fmt::format("{}{:g}", list.empty() ? "" : " ", l);
    throw FatalError::bad_input(data.control_path,
                                fmt::format("variable \"{}\" has no level {:g}; its levels are {}",
                                            var.name, *level, list.empty() ? "none" : list));
  }
  return field;
}

std::size_t find_station(const PlotField& field, const std::string& control,
                         const std::string& id) {
  for (std::size_t s = 0; s < field.ids.size(); ++s) {
    if (lower(field.ids[s]) == lower(id)) return s;
  }
  std::string some;
  for (std::size_t s = 0; s < field.ids.size() && s < 8; ++s) some += " " + field.ids[s];
  throw FatalError::bad_input(
      control, fmt::format("no station \"{}\"; its {} stations are{}{}", id, field.ids.size(), some,
                           field.ids.size() > 8 ? " ..." : ""));
}

}  // namespace d2g::plot
