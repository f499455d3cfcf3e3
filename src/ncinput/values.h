// Reading a variable's values as the products need them: as single precision, station index
// fastest, packed values unpacked and missing cells set to the products' marker.
//
// The rules follow the CF conventions:
// - a cell whose stored value (compared in the variable's own type, before unpacking) equals the
//   variable's _FillValue or one of its missing_value values is missing; a variable of a type
//   wider than one byte without a _FillValue has the netCDF default fill value of its type;
// - a fill or missing value that the variable's type cannot hold exactly marks no cell (a note
//   says so); one that is NaN marks the NaN cells;
// - an integer variable with _Unsigned = "true" (as netCDF-Java writes unsigned data into the
//   classic formats) holds unsigned values, and its fill and missing values are read so too;
// - value = stored * scale_factor + add_offset, computed in double precision;
// - other NaN cells stay NaN; valid_min, valid_max and valid_range are not used.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "ncinput/nc_file.h"
#include "ncinput/variable.h"

namespace d2g {

// A box of a variable's values and where each lands in the output: along dimension d the box
// takes count[d] values from start[d], and one step along it moves stride[d] places in the
// output (a dimension held at one index has count 1 and stride 0).
struct Hyperslab {
  std::vector<std::size_t> start;
  std::vector<std::size_t> count;
  std::vector<std::size_t> stride;
  std::size_t size() const;  // the number of values in the box
};

// The whole of a 2-D variable as a table of second axis x station, station fastest: declared
// (station, second axis), it is transposed.
Hyperslab whole_2d(const Variable& var, bool station_first);

// Reads `slab` of `var` into `out`. Returns the number of cells written as `marker`. Notes about
// attributes that were not used as they stand go to `notes`.
int64_t read_values(const NcFile& file, const Variable& var, const Hyperslab& slab, float marker,
                    float* out, int32_t& status, std::vector<std::string>& notes);

// The same in double precision, missing cells NaN: for coordinates (times, positions, levels)
// that single precision would round.
int64_t read_values(const NcFile& file, const Variable& var, const Hyperslab& slab, double* out,
                    int32_t& status, std::vector<std::string>& notes);

// The whole of `var`, in its stored order.
Hyperslab whole_variable(const Variable& var);

}  // namespace d2g
