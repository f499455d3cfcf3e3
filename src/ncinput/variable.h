// Looking up an input variable: its type, its dimensions, and which of them is the station
// dimension.
#pragma once

#include <netcdf.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ncinput/nc_file.h"

namespace d2g {

struct Dimension {
  std::string name;  // cut or padded to 15 characters, as the log prints it
  std::string full_name;
  int32_t length = 0;
};

struct Variable {
  std::string name;
  int varid = -1;
  nc_type type = NC_NAT;
  std::vector<Dimension> dims;  // in the file's declaration order, slowest first
};

// What the station list says about the stations, so that a result variable's station dimension
// can be told from its second axis whichever order they are declared in.
struct StationAxis {
  int32_t count = -1;    // the station list's station count; -1 while unknown
  std::string dim_name;  // the station list's station dimension
};

// A two-dimensional variable's dimensions in the roles the products give them.
struct Layout2D {
  Dimension station;
  Dimension second;
  bool station_first = false;  // declared (station, second axis) rather than (second, station)
};

// Looks up a numeric variable of `ndims` dimensions; anything else ends the run with a message
// naming the file and the variable.
Variable find_variable(const NcFile& file, std::string_view varname, int ndims, int32_t& status);

// The one-dimensional numeric variable called `varname` or, failing that, the first whose
// standard_name attribute is `standard_name` (when given); nothing when there is neither.
std::optional<Variable> find_station_variable(const NcFile& file, const std::string& varname,
                                              const std::string& standard_name, int32_t& status);

// The station dimension is the one with the station list's count; where both have it, the one
// named like the station list's dimension; failing that, the last.
Layout2D station_layout(const Variable& var, const StationAxis& axis);

}  // namespace d2g
