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

// `name` with its type and dimensions, whatever its shape; nothing when the file has none.
std::optional<Variable> lookup_variable(const NcFile& file, const std::string& name,
                                        int32_t& status);

// The names of every variable in the file or, with `numeric_only`, of its numeric data variables
// (coordinate variables left out), in declaration order.
std::vector<std::string> variable_names(const NcFile& file, bool numeric_only);

// The text labels along dimension `dim` of `var`, trimmed: the values of a string or char
// coordinate variable named like the dimension, or of one named in `var`'s coordinates attribute
// that lies along it. Empty when there is none.
std::vector<std::string> dimension_labels(const NcFile& file, const Variable& var, std::size_t dim);

// A text attribute of variable `varid` (NC_GLOBAL for the file's own) up to its first NUL; empty
// when it is absent or not text.
std::string text_attribute(const NcFile& file, int varid, const char* attribute);

// The values of the numeric coordinate variable of dimension `dim` of `var` (named like it, over
// it alone), with its units and calendar attributes; empty when there is none.
std::vector<double> coordinate_values(const NcFile& file, const Variable& var, std::size_t dim,
                                      std::string& units, std::string& calendar);

// Fails unless `var` is numeric.
void require_numeric(const NcFile& file, const Variable& var);

// The one-dimensional numeric variable called `varname` or, failing that, the first whose
// standard_name attribute is `standard_name` (when given); nothing when there is neither.
std::optional<Variable> find_station_variable(const NcFile& file, const std::string& varname,
                                              const std::string& standard_name, int32_t& status);

// The station dimension is the one with the station list's count; where both have it, the one
// named like the station list's dimension; failing that, the last. Where neither has the count
// (a mismatch, reported later), the one named like the station list's dimension, else the one
// whose length is nearest the count.
Layout2D station_layout(const Variable& var, const StationAxis& axis);

// The same for a variable of any rank, among the dimensions `candidates`.
std::size_t station_dimension(const Variable& var, const StationAxis& axis,
                              const std::vector<std::size_t>& candidates);

}  // namespace d2g
