#include "gradsin/station_reports.h"

#include <fmt/format.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <tuple>

#include "common/fatal_error.h"

namespace d2g::gradsin {

namespace {

constexpr int32_t kMostLevels = 10000;  // as stnmap checks

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

uint32_t get_u32(const unsigned char* at, ByteOrder order) {
  return order == ByteOrder::kBig
             ? (uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3])
             : (uint32_t{at[3]} << 24 | uint32_t{at[2]} << 16 | uint32_t{at[1]} << 8 | at[0]);
}

float get_f32(const unsigned char* at, ByteOrder order) {
  const uint32_t bits = get_u32(at, order);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

class DataReader {
 public:
  DataReader(const StationDataSet& data) : data_(data) {}

  // Opens the file of group g when it changes; false where a template file is missing.
  bool open_for(int64_t g, StationReports& out) {
    const std::string name = data_.data_file(g);
    if (file_ && name == name_) return true;
    if (!file_ && name == name_ && missing_) return false;
    file_.reset(std::fopen(name.c_str(), "rb"));
    name_ = name;
    position_ = 0;
    missing_ = !file_;
    if (!file_) {
      if (!data_.templated) {
        throw FatalError::bad_input(name,
                                    fmt::format("cannot be opened: {}", std::strerror(errno)));
      }
      ++out.files_missing;
      return false;
    }
    return true;
  }

  // `count` bytes of group g, within a sequential record when the data set is so.
  void read(unsigned char* into, std::size_t count, int64_t g, const char* what) {
    if (data_.sequential) record_edge(count, g, what);
    raw(into, count, g, what);
    if (data_.sequential) record_edge(count, g, what);
  }

  int64_t position() const { return position_; }
  const std::string& name() const { return name_; }

  FatalError error(int64_t g, int64_t at, const std::string& what) const {
    return FatalError::bad_input(name_, fmt::format("time group {}, byte {}: {}", g + 1, at, what));
  }

 private:
  void raw(unsigned char* into, std::size_t count, int64_t g, const char* what) {
    const std::size_t got = std::fread(into, 1, count, file_.get());
    if (got != count) {
      throw error(g, position_,
                  fmt::format("the file ends inside {} ({} of {} bytes)", what, got, count));
    }
    position_ += static_cast<int64_t>(count);
  }

  void record_edge(std::size_t count, int64_t g, const char* what) {
    unsigned char marker[4];
    const int64_t at = position_;
    raw(marker, 4, g, "a sequential record marker");
    const uint32_t length = get_u32(marker, data_.order);
    if (length != count) {
      throw error(
          g, at,
          fmt::format("a sequential record of {} bytes where {} holds {}", length, what, count));
    }
  }

  const StationDataSet& data_;
  File file_;
  std::string name_;
  bool missing_ = false;
  int64_t position_ = 0;
};

void check_map(const StationDataSet& data, const std::vector<int64_t>& offsets,
               const std::vector<int32_t>& counts, StationReports& out) {
  if (data.stnmap.empty()) return;
  File map(std::fopen(data.stnmap.c_str(), "rb"));
  if (!map) return;
  std::vector<unsigned char> bytes;
  unsigned char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, map.get())) > 0;) {
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  auto stale = [&](const std::string& why) {
    out.notes.push_back(
        fmt::format("{}: the station map does not describe the data ({}): run "
                    "stnmap before GrADS opens it",
                    data.stnmap, why));
  };
  if (bytes.size() < 24 || std::memcmp(bytes.data(), "GrADS_stnmapV002", 16) != 0) {
    return stale("not a version-2 station map");
  }
  const auto ntime = static_cast<int64_t>(get_u32(bytes.data() + 16, ByteOrder::kBig));
  if (ntime != static_cast<int64_t>(offsets.size()) ||
      bytes.size() < 24 + 8 * static_cast<std::size_t>(ntime)) {
    return stale(fmt::format("{} time groups where tdef has {}", ntime, offsets.size()));
  }
  for (int64_t g = 0; g < ntime; ++g) {
    const int64_t offset = get_u32(bytes.data() + 24 + 4 * g, ByteOrder::kBig);
    const int64_t count = get_u32(bytes.data() + 24 + 4 * (ntime + g), ByteOrder::kBig);
    if (offset != offsets[g] || count != counts[g]) {
      return stale(
          fmt::format("time group {} at byte {} with {} reports, where the data have "
                      "them at byte {} with {}",
                      g + 1, offset, count, offsets[g], counts[g]));
    }
  }
}

}  // namespace

bool is_missing(float value, float undef) {
  return std::isnan(value) || std::isinf(value) ||
         std::fabs(value - undef) <= std::fabs(undef / 1e5f);
}

StationReports read_reports(const StationDataSet& data) {
  StationReports out;
  DataReader reader(data);
  const std::size_t level_vars = data.vars.size() - data.surface_vars;
  std::map<std::tuple<std::string, float, float>, int32_t> stations;
  std::vector<int64_t> offsets;
  std::vector<int32_t> counts;
  std::vector<unsigned char> buffer;
  for (int64_t g = 0; g < data.ntime; ++g) {
    if (!reader.open_for(g, out)) {
      offsets.push_back(0);
      counts.push_back(0);
      continue;
    }
    offsets.push_back(reader.position());
    int32_t reports = 0;
    for (;;) {
      unsigned char header[kHeaderBytes];
      const int64_t at = reader.position();
      reader.read(header, kHeaderBytes, g, "a report header");
      const float lat = get_f32(header + 8, data.order);
      const float lon = get_f32(header + 12, data.order);
      const float t = get_f32(header + 16, data.order);
      const auto nlev = static_cast<int32_t>(get_u32(header + 20, data.order));
      const auto flag = static_cast<int32_t>(get_u32(header + 24, data.order));
      if (nlev == 0) break;
      if (nlev < 0 || nlev > kMostLevels) {
        throw reader.error(g, at, fmt::format("a report of {} levels", nlev));
      }
      if (flag != 0 && flag != 1) {
        throw reader.error(g, at, fmt::format("a report whose surface flag is {}", flag));
      }
      if (!(std::fabs(t) <= 2)) {
        throw reader.error(g, at, fmt::format("a report whose time offset is {}", t));
      }
      const int32_t levels = nlev - flag;
      if (flag == 1 && data.surface_vars == 0 && levels >= 0) {
        throw reader.error(g, at, "a surface group, but the control file has no surface variables");
      }
      if (levels > 0 && level_vars == 0) {
        throw reader.error(g, at, "level groups, but the control file has no level variables");
      }
      const std::size_t floats =
          (flag ? data.surface_vars : 0) + static_cast<std::size_t>(levels) * (1 + level_vars);
      buffer.resize(floats * 4);
      if (floats > 0) reader.read(buffer.data(), floats * 4, g, "a report's values");
      // The station: its identifier as GrADS reads it, one word of up to 8 characters.
      std::string id(reinterpret_cast<const char*>(header), 8);
      const std::size_t first = id.find_first_not_of(' ');
      id = first == std::string::npos ? "" : id.substr(first);
      id = id.substr(0, id.find_first_of(std::string(" \0", 2)));
      const auto [it, added] =
          stations.emplace(std::make_tuple(id, lat, lon), static_cast<int32_t>(out.ids.size()));
      if (added) {
        out.ids.push_back(id);
        out.lat.push_back(lat);
        out.lon.push_back(lon);
      }
      out.station.push_back(it->second);
      out.group.push_back(static_cast<int32_t>(g));
      out.offset.push_back(t);
      out.nlevels.push_back(levels);
      out.first_value.push_back(static_cast<int64_t>(out.values.size()));
      std::size_t v = 0;
      for (std::size_t s = 0; s < data.surface_vars; ++s) {
        out.values.push_back(flag ? get_f32(buffer.data() + 4 * v++, data.order) : data.undef);
      }
      for (; v < floats; ++v) out.values.push_back(get_f32(buffer.data() + 4 * v, data.order));
      ++reports;
    }
    counts.push_back(reports);
  }
  check_map(data, offsets, counts, out);
  return out;
}

}  // namespace d2g::gradsin
