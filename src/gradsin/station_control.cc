#include "gradsin/station_control.h"

#include <fmt/format.h>

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/fatal_error.h"

namespace d2g::gradsin {

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string rest_after_word(const std::string& line) {
  std::size_t at = line.find_first_not_of(" \t");
  at = line.find_first_of(" \t", at);
  if (at == std::string::npos) return "";
  at = line.find_first_not_of(" \t", at);
  if (at == std::string::npos) return "";
  std::string rest = line.substr(at);
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t' || rest.back() == '\r')) {
    rest.pop_back();
  }
  return rest;
}

// GrADS's template substitutions over the time of a group.
std::string substitute(const std::string& pattern, const cftime::CivilTime& t, int64_t group) {
  static const char* kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                  "jul", "aug", "sep", "oct", "nov", "dec"};
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '%' || i + 2 >= pattern.size()) {
      out += pattern[i];
      continue;
    }
    const std::string code = pattern.substr(i + 1, 2);
    std::string value;
    if (code == "y4")
      value = fmt::format("{:04d}", t.year);
    else if (code == "y2")
      value = fmt::format("{:02d}", t.year % 100);
    else if (code == "m2")
      value = fmt::format("{:02d}", t.month);
    else if (code == "m1")
      value = fmt::format("{}", t.month);
    else if (code == "mc")
      value = kMonths[t.month - 1];
    else if (code == "d2")
      value = fmt::format("{:02d}", t.day);
    else if (code == "d1")
      value = fmt::format("{}", t.day);
    else if (code == "h2")
      value = fmt::format("{:02d}", t.hour);
    else if (code == "h1")
      value = fmt::format("{}", t.hour);
    else if (code == "n2")
      value = fmt::format("{:02d}", t.minute);
    else if (code == "j3") {
      const int64_t doy =
          cftime::day_number(t.year, t.month, t.day, cftime::Calendar::kProlepticGregorian) -
          cftime::day_number(t.year, 1, 1, cftime::Calendar::kProlepticGregorian) + 1;
      value = fmt::format("{:03d}", doy);
    } else if (code[0] == 't' && std::isdigit(static_cast<unsigned char>(code[1]))) {
      value = fmt::format("{:0{}d}", group + 1, code[1] - '0');
    } else {
      out += pattern[i];
      continue;
    }
    out += value;
    i += 2;
  }
  return out;
}

}  // namespace

std::string StationDataSet::data_file(int64_t group) const {
  if (!templated) return dset;
  return substitute(dset, cftime::civil_time(group_time(group), calendar), group);
}

long double StationDataSet::group_time(int64_t group) const {
  const cftime::TimeGrid grid(cftime::absolute_seconds(start, calendar), step, calendar);
  return grid.group_time(group);
}

StationDataSet read_control(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw FatalError::bad_input(path, "cannot be opened");
  StationDataSet data;
  data.control_path = path;
  const std::string dir = path.find('/') == std::string::npos
                              ? std::string()
                              : path.substr(0, path.find_last_of('/') + 1);
  bool station = false, have_undef = false, have_tdef = false, have_dset = false;
  int64_t nvars = -1;
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& what) {
    return FatalError::bad_input(path, fmt::format("line {}: {}", number, what));
  };
  auto resolve = [&](const std::string& name) {
    return !name.empty() && name[0] == '^' ? dir + name.substr(1) : name;
  };
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    std::string keyword;
    if (!(words >> keyword) || keyword[0] == '*') continue;
    const std::string key = lower(keyword);
    if (key == "@") {
      std::string owner, type, name;
      words >> owner >> type >> name;
      std::string value = rest_after_word(rest_after_word(rest_after_word(rest_after_word(line))));
      owner = lower(owner);
      if (owner == "global")
        data.global_attributes[name] = value;
      else {
        bool found = false;
        for (VarDecl& var : data.vars) {
          if (var.name == owner) {
            var.attributes[name] = value;
            found = true;
          }
        }
        if (!found) data.global_attributes[owner + ":" + name] = value;  // kept, not lost
      }
    } else if (nvars >= 0 && static_cast<int64_t>(data.vars.size()) < nvars) {
      if (key == "endvars")
        throw fail(fmt::format("{} variables declared, {} found", nvars, data.vars.size()));
      VarDecl var;
      var.name = key;
      std::string levels, units;
      words >> levels >> units;
      char* end = nullptr;
      const long nlev = std::strtol(levels.c_str(), &end, 10);
      if (levels.empty() || (*end != '\0' && *end != ',') || nlev < 0) {
        throw fail(fmt::format("variable \"{}\": \"{}\" is not a level count", keyword, levels));
      }
      var.on_levels = nlev > 0;
      var.description = rest_after_word(rest_after_word(rest_after_word(line)));
      if (!var.on_levels && !data.vars.empty() && data.vars.back().on_levels) {
        throw fail("surface variables must come before level-dependent ones");
      }
      data.surface_vars += var.on_levels ? 0 : 1;
      data.vars.push_back(std::move(var));
    } else if (key == "dset") {
      data.dset = resolve(rest_after_word(line));
      have_dset = true;
    } else if (key == "dtype") {
      std::string type;
      words >> type;
      if (lower(type) != "station") {
        throw fail(fmt::format("dtype {}: not a station data set", type));
      }
      station = true;
    } else if (key == "stnmap") {
      data.stnmap = resolve(rest_after_word(line));
    } else if (key == "undef") {
      std::string value;
      words >> value;
      char* end = nullptr;
      const double undef = std::strtod(value.c_str(), &end);
      if (value.empty() || *end != '\0') throw fail("invalid undef value \"" + value + "\"");
      data.undef = static_cast<float>(undef);
      have_undef = true;
    } else if (key == "title") {
      data.title = rest_after_word(line);
    } else if (key == "options") {
      for (std::string option; words >> option;) {
        option = lower(option);
        if (option == "big_endian")
          data.order = ByteOrder::kBig;
        else if (option == "little_endian")
          data.order = ByteOrder::kLittle;
        else if (option == "byteswapped")
          data.order = ByteOrder::kBig;  // the host is little-endian
        else if (option == "sequential")
          data.sequential = true;
        else if (option == "template")
          data.templated = true;
        else if (option == "365_day_calendar")
          data.calendar = cftime::Calendar::kNoLeap;
      }
    } else if (key == "tdef") {
      std::string count, linear, start, step;
      words >> count >> linear >> start >> step;
      char* end = nullptr;
      data.ntime = std::strtoll(count.c_str(), &end, 10);
      if (count.empty() || *end != '\0' || data.ntime < 1) {
        throw fail("tdef: \"" + count + "\" is not a time count of 1 or more");
      }
      if (lower(linear) != "linear") throw fail("tdef: only linear time axes exist in GrADS");
      try {
        data.start = cftime::parse_grads_time(start);
        data.step = cftime::parse_step(step);
      } catch (const cftime::CfTimeError& error) {
        throw fail(std::string("tdef: ") + error.what());
      }
      have_tdef = true;
    } else if (key == "vars") {
      std::string count;
      words >> count;
      char* end = nullptr;
      nvars = std::strtoll(count.c_str(), &end, 10);
      if (count.empty() || *end != '\0' || nvars < 1) throw fail("vars: no variable count");
    } else if (key == "endvars") {
      break;
    }
  }
  // "@" lines after endvars.
  while (std::getline(in, line)) {
    ++number;
    std::istringstream words(line);
    std::string at, owner, type, name;
    if (!(words >> at) || at != "@") continue;
    words >> owner >> type >> name;
    const std::string value =
        rest_after_word(rest_after_word(rest_after_word(rest_after_word(line))));
    owner = lower(owner);
    bool found = false;
    for (VarDecl& var : data.vars) {
      if (var.name == owner) {
        var.attributes[name] = value;
        found = true;
      }
    }
    if (!found) data.global_attributes[owner == "global" ? name : owner + ":" + name] = value;
  }
  if (!station) throw FatalError::bad_input(path, "no \"dtype station\": not a station product");
  if (!have_dset) throw FatalError::bad_input(path, "no dset line");
  if (!have_undef) throw FatalError::bad_input(path, "no undef line");
  if (!have_tdef) throw FatalError::bad_input(path, "no tdef line");
  if (nvars < 1 || static_cast<int64_t>(data.vars.size()) != nvars) {
    throw FatalError::bad_input(path, "no complete vars ... endvars block");
  }
  return data;
}

}  // namespace d2g::gradsin
