#include "cf2grads/data_set.h"

#include <fmt/format.h>
#include <netcdf.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <map>
#include <set>

#include "common/fatal_error.h"
#include "gradsout/grads_names.h"
#include "ncinput/nc_file.h"

namespace d2g::cf2grads {

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

double coordinate(const Table<double>& values, const cf::Strides& strides, int64_t s, int64_t e) {
  return values[static_cast<std::size_t>(cf::FeatureData::at(strides, s, e, 0))];
}

void check_same_variables(const cf::FeatureData& first, const cf::FeatureData& other) {
  std::vector<std::string> a, b;
  for (const cf::DataVariable& v : first.layout.data) a.push_back(v.at.var.name);
  for (const cf::DataVariable& v : other.layout.data) b.push_back(v.at.var.name);
  if (a != b) {
    throw FatalError::bad_input(
        other.path, fmt::format("its data variables ({}) are not those of {} ({}): the files of "
                                "one data set need the same variables (--vars chooses them)",
                                fmt::join(b, ", "), first.path, fmt::join(a, ", ")));
  }
  if (other.calendar != first.calendar) {
    throw FatalError::bad_input(other.path,
                                fmt::format("variable \"{}\": its calendar is not that of {}",
                                            other.layout.time.var.name, first.path));
  }
  if (other.layout.feature != first.layout.feature) {
    throw FatalError::bad_input(other.path, "its featureType is not that of " + first.path);
  }
}

}  // namespace

int64_t element_of(const DataSet& data, const Series& series, int64_t k) {
  return data.files[series.file].element(series.station, k);
}

Observation classify(const DataSet& data, const Series& series, int64_t k, bool values) {
  const cf::FeatureData& f = data.files[series.file];
  const int64_t s = series.station;
  const int64_t e = f.element(s, k);
  const cf::DsgLayout& l = f.layout;
  if (std::isnan(coordinate(f.time, l.time.strides, s, e))) return Observation::kNoTime;
  if (std::isnan(coordinate(f.lat, l.lat.strides, s, e)) ||
      std::isnan(coordinate(f.lon, l.lon.strides, s, e))) {
    return Observation::kNoPosition;
  }
  if (!values) return Observation::kUsable;
  auto present = [&](const DataVar& var, int64_t level) {
    const float value = f.values[var.source][static_cast<std::size_t>(
        cf::FeatureData::at(l.data[var.source].at.strides, s, e, level))];
    return !(value == data.undef || (std::isnan(data.undef) && std::isnan(value)));
  };
  for (std::size_t v = 0; v < data.surface_vars; ++v) {
    if (present(data.vars[v], 0)) return Observation::kUsable;
  }
  if (data.vars.size() > data.surface_vars) {
    for (int64_t i = 0, n = f.level_count(e); i < n; ++i) {
      const int64_t level = f.level(e, i);
      if (std::isnan(
              f.z[static_cast<std::size_t>(cf::FeatureData::at(l.z->strides, s, e, level))])) {
        continue;
      }
      for (std::size_t v = data.surface_vars; v < data.vars.size(); ++v) {
        if (present(data.vars[v], level)) return Observation::kUsable;
      }
    }
  }
  return Observation::kNoValue;
}

DataSet load_data_set(const Options& options) {
  DataSet data;
  data.undef = options.undef;
  const std::string id_variable = options.station_ids == "number" ? "" : options.station_ids;
  for (const std::string& path : options.inputs) {
    require_regular_input(path);
    int32_t status = 0;
    NcFile file(path, status);
    cf::DsgLayout layout = cf::find_layout(file, options.vars, id_variable, status);
    for (const std::string& note : layout.notes) data.notes.push_back(note);
    if (data.files.empty()) data.title = text_attribute(file, NC_GLOBAL, "title");
    data.files.push_back(
        cf::read_feature(file, std::move(layout), options.undef, status, data.notes));
    file.close(status);
    if (data.files.size() > 1) check_same_variables(data.files.front(), data.files.back());
  }
  const cf::FeatureData& first = data.files.front();
  data.calendar = first.calendar;

  // Stations: merged by identifier where the files have them, else by their place.
  const bool by_id = std::all_of(data.files.begin(), data.files.end(),
                                 [](const cf::FeatureData& f) { return f.layout.id.has_value(); });
  std::map<std::string, int32_t> known;
  for (std::size_t f = 0; f < data.files.size(); ++f) {
    cf::FeatureData& file = data.files[f];
    // Elements whose index names no station belong to none.
    data.no_id += file.unplaced;
    data.observations += file.unplaced;
    if (!by_id && file.layout.nstation != first.layout.nstation) {
      throw FatalError::bad_input(
          file.path, fmt::format("it has {} stations and no identifiers, {} has {}: files "
                                 "without identifiers are one data set only with the same "
                                 "stations",
                                 file.layout.nstation, first.path, first.layout.nstation));
    }
    std::set<std::string> in_file;
    for (int64_t s = 0; s < file.layout.nstation; ++s) {
      const std::string& id = file.ids[static_cast<std::size_t>(s)];
      const int64_t count = file.element_count(s);
      if (file.layout.id && id.empty()) {
        data.no_id += count;
        data.observations += count;
        continue;
      }
      const std::string key = by_id ? id : std::to_string(s);
      // Within one file stations are told apart by their identifiers alone.
      if (!in_file.insert(key).second) {
        throw FatalError::bad_input(file.path,
                                    fmt::format("variable \"{}\": the identifier \"{}\" names "
                                                "two stations",
                                                file.layout.id->name, id));
      }
      auto [at, added] = known.emplace(key, static_cast<int32_t>(data.stations.size()));
      if (added) {
        Station station;
        station.source_id = id;
        const cf::DsgLayout& l = file.layout;
        station.lat = coordinate(file.lat, l.lat.strides, s, 0);
        station.lon = coordinate(file.lon, l.lon.strides, s, 0);
        data.stations.push_back(station);
      }
      file.sort_station(s);
      data.series.push_back({f, s, at->second, {}});
    }
  }
  std::stable_sort(data.series.begin(), data.series.end(),
                   [](const Series& a, const Series& b) { return a.global < b.global; });

  // Identifiers as they are, or every station its number.
  std::string reason;
  std::map<std::string, std::string> seen;
  for (const Station& station : data.stations) {
    if (!first.layout.id || options.station_ids == "number") {
      reason = first.layout.id ? "--station-ids number" : "the files name no stations";
      break;
    }
    if (const std::string why = unusable_station_id(station.source_id); !why.empty()) {
      reason = fmt::format("station identifier \"{}\" cannot be a GrADS one: {}", station.source_id,
                           why);
      break;
    }
    const auto [at, added] = seen.emplace(lower(station.source_id), station.source_id);
    if (!added) {
      reason = fmt::format(
          "station identifiers \"{}\" and \"{}\" are one to GrADS, which "
          "ignores case",
          at->second, station.source_id);
      break;
    }
  }
  data.numbered = !reason.empty();
  data.id_note = reason;
  for (std::size_t i = 0; i < data.stations.size(); ++i) {
    data.stations[i].grads_id = data.numbered ? std::to_string(i + 1) : data.stations[i].source_id;
  }

  // Variables: surface first, as GrADS requires, each in its file order.
  std::vector<std::string> cf_names;
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t v = 0; v < first.layout.data.size(); ++v) {
      const cf::DataVariable& var = first.layout.data[v];
      if (var.on_levels != (pass == 1)) continue;
      DataVar out;
      out.source = v;
      out.cf_name = var.at.var.name;
      out.on_levels = var.on_levels;
      out.long_name = var.long_name;
      out.units = var.units;
      out.standard_name = var.standard_name;
      data.vars.push_back(out);
      cf_names.push_back(out.cf_name);
      data.surface_vars += var.on_levels ? 0 : 1;
    }
  }
  const std::vector<std::string> names = grads_variable_names(cf_names);
  for (std::size_t i = 0; i < names.size(); ++i) data.vars[i].grads_name = names[i];

  // The time groups: the greatest common step of the usable times, or the step given. A time
  // axis that the stations share is looked at once per time, not once per station.
  cftime::StepFinder finder(data.calendar, options.step.empty());
  long double latest = 0;
  auto add_time = [&](const cf::FeatureData& f, double t) {
    try {
      finder.add(t);
    } catch (const cftime::CfTimeError& error) {
      throw FatalError::bad_input(
          f.path, fmt::format("variable \"{}\": {} (--step puts such times into groups of a "
                              "step given, each with its offset)",
                              f.layout.time.var.name, error.what()));
    }
    latest = std::max<long double>(latest, t);
  };
  data.placements.resize(data.files.size());
  // A time axis shared by the stations is the axis of the groups as it stands; the
  // observations along it are looked at as their reports are written.
  std::vector<char> shared(data.files.size(), 0);
  for (std::size_t file = 0; file < data.files.size(); ++file) {
    const cf::FeatureData& f = data.files[file];
    const cf::DsgLayout& l = f.layout;
    shared[file] = l.time.strides.station == 0 && l.elements == cf::Link::kDimension;
    if (!shared[file]) continue;
    for (int64_t e = 0; e < l.element_dim.length; ++e) {
      const double t = coordinate(f.time, l.time.strides, 0, e);
      if (!std::isnan(t)) add_time(f, t);
    }
  }
  for (Series& series : data.series) {
    const cf::FeatureData& f = data.files[series.file];
    const cf::DsgLayout& l = f.layout;
    const int64_t n = f.element_count(series.station);
    if (shared[series.file]) {
      data.observations += n;
      continue;
    }
    // Each station its own times: only the observations that become reports shape the axis.
    series.usable.assign(static_cast<std::size_t>(n), false);
    for (int64_t k = 0; k < n; ++k) {
      ++data.observations;
      const Observation kind = classify(data, series, k, true);
      data.no_time += kind == Observation::kNoTime;
      data.no_position += kind == Observation::kNoPosition;
      data.no_value += kind == Observation::kNoValue;
      if (kind != Observation::kUsable) continue;
      series.usable[static_cast<std::size_t>(k)] = true;
      add_time(f, coordinate(f.time, l.time.strides, series.station, f.element(series.station, k)));
    }
  }
  const std::string time_var = first.layout.time.var.name;
  if (finder.empty()) {
    throw FatalError::bad_input(first.path,
                                fmt::format("variable \"{}\": no observation has a time and a "
                                            "position",
                                            time_var));
  }
  if (data.calendar == cftime::Calendar::kStandard &&
      finder.earliest() < cftime::absolute_seconds({1582, 10, 15, 0, 0, 0}, data.calendar)) {
    throw FatalError::bad_input(first.path,
                                fmt::format("variable \"{}\": times before 1582-10-15 are Julian "
                                            "in the standard calendar, which GrADS cannot express",
                                            time_var));
  }
  if (finder.earliest() < 0) {
    throw FatalError::bad_input(first.path,
                                fmt::format("variable \"{}\": times before year 1", time_var));
  }
  try {
    data.step = options.step.empty() ? finder.step() : cftime::parse_step(options.step);
  } catch (const cftime::CfTimeError& error) {
    throw FatalError::bad_input(options.step.empty() ? first.path : "--step", error.what());
  }
  data.grid.emplace(finder.earliest(), data.step, data.calendar);
  data.ngroups = data.grid->place(latest).first + 1;
  for (std::size_t file = 0; file < data.files.size(); ++file) {
    const cf::FeatureData& f = data.files[file];
    Placement& placement = data.placements[file];
    for (int64_t e = 0; shared[file] && e < f.layout.element_dim.length; ++e) {
      const double t = coordinate(f.time, f.layout.time.strides, 0, e);
      const auto [group, offset] =
          std::isnan(t) ? std::pair<int64_t, double>{0, 0} : data.grid->place(t);
      placement.group.push_back(group);
      placement.offset.push_back(offset);
    }
  }
  if (data.ngroups > std::numeric_limits<int32_t>::max()) {
    throw FatalError::bad_input(first.path,
                                fmt::format("variable \"{}\": {} time groups of {} are more than "
                                            "GrADS can count; give a longer --step",
                                            time_var, data.ngroups, cftime::step_text(data.step)));
  }
  if (cftime::civil_time(latest, data.calendar).year > 9999) {
    throw FatalError::bad_input(first.path, fmt::format("variable \"{}\": times after year 9999, "
                                                        "which GrADS cannot express",
                                                        time_var));
  }
  return data;
}

}  // namespace d2g::cf2grads
