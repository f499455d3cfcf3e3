// The netCDF variable readers: one whole variable over (station) or (second axis, station), read
// as single precision together with the coordinate variables named like its dimensions. Each
// call opens and closes its file and logs what it found.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/field2d.h"

namespace d2g {

// A missing-value marker that the variable declares through an attribute.
struct MissingMarker {
  std::string attribute;  // "_FillValue" or "missing_value"
  double value;
};

struct Read2D {
  std::string stn_dim_name;     // the station dimension's name, cut or padded to 15 characters
  std::string second_dim_name;  // the second dimension's name, likewise
  int32_t ndim1 = 0;            // station count
  int32_t ndim2 = 0;            // second-axis length
  std::vector<float> xstn;      // station coordinates (zeros when the file has none)
  std::vector<float> xidx;      // second-axis coordinates (zeros when the file has none)
  Field2D data;                 // ndim1 x ndim2
  std::vector<MissingMarker> missing_markers;
};

struct Read1D {
  std::string dim_name;  // cut or padded to 15 characters
  int32_t n = 0;
  std::vector<float> xcoord;
  std::vector<float> data;
  std::vector<MissingMarker> missing_markers;
};

// Reads `varname`, declared over (second axis, station) in the file. Every library status goes to
// `status`. A missing file, a missing, non-numeric or wrongly shaped variable, or a failed read
// ends the run with a message naming the file and the variable; missing coordinate variables do
// not.
Read2D rd_ncdf_2d(const std::string& fname, std::string_view varname, int32_t& status,
                  std::ostream& log);

// Reads `varname`, declared over the station dimension alone.
Read1D rd_ncdf_1d(const std::string& fname, std::string_view varname, int32_t& status,
                  std::ostream& log);

}  // namespace d2g
