// The netCDF variable readers: one whole variable over (station) or over a station dimension and
// a second axis, in either order, read as single precision together with the coordinate
// variables named like its dimensions. Each call opens and closes its file and logs what it
// found. Values are unpacked and missing cells set to the products' marker (see values.h).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/field2d.h"
#include "ncinput/variable.h"

namespace d2g {

struct Read2D {
  std::string stn_dim_name;        // the station dimension's name, cut or padded to 15 characters
  std::string second_dim_name;     // the second dimension's name, likewise
  int32_t ndim1 = 0;               // station count
  int32_t ndim2 = 0;               // second-axis length
  std::vector<float> xstn;         // station coordinates (zeros when the file has none)
  std::vector<float> xidx;         // second-axis coordinates (zeros when the file has none)
  int64_t missing_cells = 0;       // cells written as the marker
  std::vector<std::string> notes;  // attributes not used as they stand (see values.h)
  // What the file says of the variable: its long_name and units, the file's title, and the
  // coordinate of a single second-axis dimension (its name, values, units and calendar).
  std::string long_name;
  std::string units;
  std::string title;
  std::string axis_variable;
  std::vector<double> axis_values;
  std::string axis_units;
  std::string axis_calendar;
};

struct Read1D {
  std::string varname;   // the variable read: the name asked for, or the one found by standard_name
  std::string dim_name;  // cut or padded to 15 characters
  int32_t n = 0;
  std::vector<float> xcoord;
  std::vector<float> data;
  int64_t missing_cells = 0;
  std::vector<std::string> notes;
};

// The layout of two-dimensional `varname`, looked up without reading or logging anything, so
// that shapes can be checked and tables allocated before the first value is read.
Layout2D survey_2d(const std::string& fname, std::string_view varname, const StationAxis& axis,
                   int32_t& status);

// Reads `varname` into `data`, which the caller has sized as survey_2d found: stations x second
// axis, station fastest. Every library status goes to `status`. A missing file, a missing,
// non-numeric or wrongly shaped variable, or a failed read ends the run with a message naming the
// file and the variable; missing coordinate variables do not.
Read2D rd_ncdf_2d(const std::string& fname, std::string_view varname, const StationAxis& axis,
                  float marker, Field2DBlock data, int32_t& status, std::ostream& log);

// One read of a variable of any rank as a table of stations x second axis: its station dimension
// and the dimensions that make the second axis (combined slowest first) whole, every other
// dimension held at one index.
struct SlabRead {
  std::string varname;
  std::size_t station_dim = 0;
  std::vector<std::size_t> second_dims;
  std::vector<std::pair<std::size_t, std::size_t>> fixed;  // (dimension, index)
};

// The station dimension and second axis `plan` makes of `var`, as the log prints them: the
// second axis is named after its dimensions joined by "*" ("severity*index").
Layout2D slab_layout(const Variable& var, const SlabRead& plan);

// Reads `plan` from `fname` into `data`, sized as slab_layout says, and logs it as rd_ncdf_2d
// logs a read.
Read2D rd_ncdf_slab(const std::string& fname, const SlabRead& plan, float marker, Field2DBlock data,
                    int32_t& status, std::ostream& log);

// Reads `varname` (or, when the file has no such variable, the one-dimensional variable whose
// standard_name is `standard_name`), declared over the station dimension alone.
Read1D rd_ncdf_1d(const std::string& fname, std::string_view varname,
                  const std::string& standard_name, float marker, int32_t& status,
                  std::ostream& log);

}  // namespace d2g
