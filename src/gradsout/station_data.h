// The GrADS station data file: a plain little-endian byte stream, no record markers, no header.
// For each time step t = 1 ... ntime: one 32-byte report per station, then a 28-byte terminator.
//
//   station report (32 bytes)            time-group terminator (28 bytes)
//   offset size type   value             offset size type   value
//    0      8   chars  station id         0      8   chars  id of the last report written
//    8      4   float  latitude           8      4   float  latitude of the last station, or 0
//   12      4   float  longitude         12      4   float  longitude of the last station, or 0
//   16      4   float  time offset: 0    16      4   float  0
//   20      4   int32  level groups: 1   20      4   int32  0 (end of the time group)
//   24      4   int32  surface flag: 1   24      4   int32  1
//   28      4   float  value (station, t)
//
// A file of nstn stations and ntime steps holds ntime * (32 * nstn + 28) bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/field2d.h"
#include "common/float_buffer.h"
#include "common/stations.h"

namespace d2g {

inline constexpr std::size_t kReportBytes = 32;
inline constexpr std::size_t kTerminatorBytes = 28;

using StationId = std::array<char, kStationIdWidth>;

// Scratch memory for packing time groups, kept by the caller across products.
using WriteBuffer = std::vector<char, DefaultInitAllocator<char>>;

class PendingFile;

// Writes the station data of `data` (nstn x ntime) to `out`. `stid` holds the identifier of the
// last report written and keeps it for the next call: a file without stations repeats it.
// `buffer` is scratch memory that grows as needed.
void write_station_data(PendingFile& out, const Field2D& data, const std::vector<float>& lon,
                        const std::vector<float>& lat, int32_t nstn, int32_t ntime,
                        const std::vector<StationLabel>& labels, StationId& stid,
                        WriteBuffer& buffer);

}  // namespace d2g
