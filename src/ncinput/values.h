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

// Reads the whole of `var` into `out` (`count` values: the product of its dimension lengths).
// A variable declared (station, second axis) is transposed into (second axis, station) order.
// Returns the number of cells written as `marker`. Notes about attributes that were not used
// as they stand go to `notes`.
int64_t read_values(const NcFile& file, const Variable& var, bool station_first, float marker,
                    float* out, std::size_t count, int32_t& status,
                    std::vector<std::string>& notes);

}  // namespace d2g
