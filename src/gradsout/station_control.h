// The control file of a station data set of any shape: several surface and level-dependent
// variables, a real time axis, byte order, templates, and attribute lines that carry the
// variables' CF metadata to GrADS's "q attr".
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace d2g {

struct ControlVariable {
  std::string name;         // valid for GrADS: lower case, at most 15 characters
  bool on_levels = false;   // level-dependent ("1") rather than surface ("0")
  std::string description;  // the rest of its vars line
  // "@ NAME String KEY VALUE" lines, as (KEY, VALUE).
  std::vector<std::pair<std::string, std::string>> attributes;
};

struct StationControl {
  std::string dset;    // "^NAME.dat", "^NAME_%y4.dat"
  std::string stnmap;  // "^NAME.dat.map"
  float undef = -999.0f;
  std::string title;
  std::vector<std::string> options;  // "little_endian", "template", "365_day_calendar"
  int64_t ntime = 1;
  std::string tdef_start;             // "00Z01jan2000"
  std::string tdef_step;              // "1dy"
  std::vector<ControlVariable> vars;  // surface variables first
  std::vector<std::pair<std::string, std::string>> global_attributes;
};

std::string station_control_text(const StationControl& control);

}  // namespace d2g
