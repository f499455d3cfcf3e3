#include "gradsout/station_map.h"

#include <cstring>
#include <limits>
#include <stdexcept>

#include "gradsout/station_data.h"

namespace d2g {

namespace {

constexpr char kMagic[] = "GrADS_stnmapV002";
constexpr std::size_t kMagicBytes = sizeof kMagic - 1;

int64_t group_bytes(int32_t nstn) {
  return static_cast<int64_t>(kReportBytes) * (nstn > 0 ? nstn : 0) +
         static_cast<int64_t>(kTerminatorBytes);
}

void put_be32(std::vector<char>& bytes, int64_t value) {
  const auto bits = static_cast<uint32_t>(value);
  for (int shift = 24; shift >= 0; shift -= 8) {
    bytes.push_back(static_cast<char>((bits >> shift) & 0xFFu));
  }
}

}  // namespace

bool station_map_addressable(int32_t nstn, int32_t ntime) {
  if (ntime < 1) return true;
  return static_cast<int64_t>(ntime - 1) * group_bytes(nstn) <= std::numeric_limits<int32_t>::max();
}

std::vector<char> station_map_bytes(int32_t nstn, int32_t ntime) {
  if (ntime < 1 || !station_map_addressable(nstn, ntime)) {
    throw std::invalid_argument("station map of an empty or unaddressable data file");
  }
  const int32_t reports = nstn > 0 ? nstn : 0;
  std::vector<char> bytes(kMagic, kMagic + kMagicBytes);
  bytes.reserve(kMagicBytes + 8 + 8 * static_cast<std::size_t>(ntime));
  put_be32(bytes, ntime);
  put_be32(bytes, reports > 0 ? 1 : 0);
  for (int32_t t = 0; t < ntime; ++t) put_be32(bytes, t * group_bytes(nstn));
  for (int32_t t = 0; t < ntime; ++t) put_be32(bytes, reports);
  return bytes;
}

std::vector<char> station_map_bytes(const std::vector<int64_t>& offsets,
                                    const std::vector<int32_t>& reports, int32_t most_values) {
  if (offsets.empty() || offsets.size() != reports.size() ||
      offsets.size() > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
    throw std::invalid_argument("station map without time groups or with unequal tables");
  }
  std::vector<char> bytes(kMagic, kMagic + kMagicBytes);
  bytes.reserve(kMagicBytes + 8 + 8 * offsets.size());
  put_be32(bytes, static_cast<int64_t>(offsets.size()));
  put_be32(bytes, most_values);
  for (int64_t offset : offsets) {
    if (offset < 0 || offset > kLargestMapOffset) {
      throw std::invalid_argument("station map offset beyond its 32-bit field");
    }
    put_be32(bytes, offset);
  }
  for (int32_t count : reports) put_be32(bytes, count);
  return bytes;
}

}  // namespace d2g
