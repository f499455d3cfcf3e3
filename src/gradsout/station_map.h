// The GrADS station map file (NAME.dat.map), through which GrADS finds the time groups of a
// station data file. Version-2 layout, every integer big-endian 32-bit:
//
//   offset     size  content
//   0          16    "GrADS_stnmapV002" (no terminating zero)
//   16         4     T, the number of time groups
//   20         4     the largest number of values in one report: 1 with stations, else 0
//   24         4*T   byte offset of each time group: t * (32 * nstn + 28)
//   24 + 4*T   4*T   number of reports in each time group: nstn
#pragma once

#include <cstdint>
#include <vector>

namespace d2g {

// Whether every time group's offset fits the map's signed 32-bit field.
bool station_map_addressable(int32_t nstn, int32_t ntime);

// The map of a data file with `nstn` stations and `ntime` (at least 1) time groups; the caller
// checks station_map_addressable first.
std::vector<char> station_map_bytes(int32_t nstn, int32_t ntime);

// The map of any station data set from its time groups' offsets and report counts, and the
// most floats in one report. Fails unless every offset fits the map's field.
std::vector<char> station_map_bytes(const std::vector<int64_t>& offsets,
                                    const std::vector<int32_t>& reports, int32_t most_values);
// The largest byte offset a station map can hold.
inline constexpr int64_t kLargestMapOffset = 2147483647;

}  // namespace d2g
