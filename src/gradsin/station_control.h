// Reading GrADS station data sets: the control file (dset with "^" and templates, dtype
// station, stnmap, undef, title, tdef, options, vars, "*" comments and "@" attribute lines).
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "cftime/time_grid.h"
#include "gradsout/report_encoding.h"

namespace d2g::gradsin {

struct VarDecl {
  std::string name;  // lower case, as GrADS reads it
  bool on_levels = false;
  std::string description;
  std::map<std::string, std::string> attributes;  // from "@ NAME TYPE KEY VALUE" lines
};

struct StationDataSet {
  std::string control_path;
  std::string dset;    // the data file, or its template, with "^" resolved
  std::string stnmap;  // the station map, "" when the file names none
  bool templated = false;
  bool sequential = false;
  ByteOrder order = ByteOrder::kLittle;
  float undef = -999.0f;
  std::string title;
  int64_t ntime = 0;
  cftime::CivilTime start;
  cftime::Step step;
  cftime::Calendar calendar = cftime::Calendar::kProlepticGregorian;
  std::vector<VarDecl> vars;  // surface variables first
  std::size_t surface_vars = 0;
  std::map<std::string, std::string> global_attributes;

  // The data file that holds time group `group` (0-based).
  std::string data_file(int64_t group) const;
  // The time of group `group`, in seconds from day 0 of the calendar.
  long double group_time(int64_t group) const;
};

// Reads the control file at `path`; anything GrADS would refuse ends the run with a message
// naming the file and the line.
StationDataSet read_control(const std::string& path);

}  // namespace d2g::gradsin
