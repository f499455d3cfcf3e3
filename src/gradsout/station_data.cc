#include "gradsout/station_data.h"

#include <algorithm>
#include <cstring>

#include "gradsout/pending_file.h"
#include "gradsout/report_encoding.h"

namespace d2g {

namespace {

// Time groups are packed into one buffer of about this size per write.
constexpr std::size_t kWriteBufferBytes = std::size_t{4} << 20;

void put_header(char* at, const StationId& stid, float lat, float lon, int32_t levels) {
  put_report_header(at, stid.data(), lat, lon, 0.0f, levels, true, ByteOrder::kLittle);
}

}  // namespace

void write_station_data(PendingFile& out, const Field2D& data, const std::vector<float>& lon,
                        const std::vector<float>& lat, int32_t nstn, int32_t ntime,
                        const std::vector<StationLabel>& labels, StationId& stid,
                        WriteBuffer& buffer) {
  if (ntime < 1) return;
  const std::size_t stations = nstn > 0 ? static_cast<std::size_t>(nstn) : 0;
  const std::size_t group_bytes = kReportBytes * stations + kTerminatorBytes;
  const std::size_t groups_per_write =
      std::clamp<std::size_t>(kWriteBufferBytes / group_bytes, 1, static_cast<std::size_t>(ntime));
  // The buffer lives from product to product: fresh memory for every product would be faulted in
  // (and zeroed) anew each time.
  if (buffer.size() < group_bytes * groups_per_write) buffer.resize(group_bytes * groups_per_write);

  // Every time group carries the same headers; only the values differ. Pack the headers once.
  float last_lat = 0.0f;
  float last_lon = 0.0f;
  for (std::size_t j = 0; j < stations; ++j) {
    std::memcpy(stid.data(), labels[j].data(), stid.size());
    last_lat = lat[j];
    last_lon = lon[j];
    put_header(buffer.data() + j * kReportBytes, stid, last_lat, last_lon, 1);
  }
  put_header(buffer.data() + stations * kReportBytes, stid, last_lat, last_lon, 0);
  for (std::size_t g = 1; g < groups_per_write; ++g) {
    std::memcpy(buffer.data() + g * group_bytes, buffer.data(), group_bytes);
  }

  for (int32_t first = 0; first < ntime; first += static_cast<int32_t>(groups_per_write)) {
    const int32_t groups = std::min<int32_t>(static_cast<int32_t>(groups_per_write), ntime - first);
    for (int32_t g = 0; g < groups; ++g) {
      const float* values = data.time_step(first + g);
      char* group = buffer.data() + static_cast<std::size_t>(g) * group_bytes;
      for (std::size_t j = 0; j < stations; ++j) {
        put_f32(group + j * kReportBytes + 28, values[j], ByteOrder::kLittle);
      }
    }
    out.write(buffer.data(), static_cast<std::size_t>(groups) * group_bytes);
  }
}

}  // namespace d2g
