#include "gradsin/station_reports.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include "common/fatal_error.h"

namespace d2g::gradsin {

namespace {

constexpr int32_t kMostLevels = 10000;  // as stnmap checks

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// A 32-bit word in the data set's byte order, the order fixed when compiling: this runs for
// every value of the data set.
template <ByteOrder kOrder>
uint32_t load_u32(const unsigned char* at) {
  uint32_t word;
  std::memcpy(&word, at, sizeof word);
  constexpr bool kHostBig = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
  if constexpr ((kOrder == ByteOrder::kBig) != kHostBig) word = __builtin_bswap32(word);
  return word;
}

template <ByteOrder kOrder>
float load_f32(const unsigned char* at) {
  const uint32_t bits = load_u32<kOrder>(at);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A 32-bit word in a byte order known only when running (record markers, the station map).
uint32_t get_u32(const unsigned char* at, ByteOrder order) {
  return order == ByteOrder::kBig ? load_u32<ByteOrder::kBig>(at)
                                  : load_u32<ByteOrder::kLittle>(at);
}

// Reads the data files through a buffer of its own: a report is a few dozen bytes, and a
// library call for each would cost more than everything else.
class DataReader {
 public:
  explicit DataReader(const StationDataSet& data) : data_(data), buffer_(kBufferBytes) {}
  ~DataReader() {
    if (fd_ >= 0) ::close(fd_);
  }
  DataReader(const DataReader&) = delete;
  DataReader& operator=(const DataReader&) = delete;

  // Opens the file of group g when it changes; false where a template file is missing.
  bool open_for(int64_t g, int64_t& files_missing) {
    const std::string name = data_.data_file(g);
    if (fd_ >= 0 && name == name_) return true;
    if (fd_ < 0 && name == name_ && missing_) return false;
    if (fd_ >= 0) ::close(fd_);
    fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    name_ = name;
    position_ = 0;
    begin_ = end_ = 0;
    missing_ = fd_ < 0;
    if (fd_ < 0) {
      if (!data_.templated) {
        throw FatalError::bad_input(name,
                                    fmt::format("cannot be opened: {}", std::strerror(errno)));
      }
      ++files_missing;
      return false;
    }
    return true;
  }

  // `count` bytes of group g, within a sequential record when the data set is so; valid until
  // the next call.
  const unsigned char* read(std::size_t count, int64_t g, const char* what) {
    if (data_.sequential) record_edge(count, g, what);
    const unsigned char* at = raw(count, g, what);
    if (data_.sequential) {
      // The closing marker may move the buffer: keep the payload where it stays valid.
      payload_.assign(at, at + count);
      record_edge(count, g, what);
      return payload_.data();
    }
    return at;
  }

  int64_t position() const { return position_; }

  FatalError error(int64_t g, int64_t at, const std::string& what) const {
    return FatalError::bad_input(name_, fmt::format("time group {}, byte {}: {}", g + 1, at, what));
  }

 private:
  static constexpr std::size_t kBufferBytes = std::size_t{1} << 20;

  const unsigned char* raw(std::size_t count, int64_t g, const char* what) {
    if (end_ - begin_ < count) fill(count);
    if (end_ - begin_ < count) {
      throw error(
          g, position_,
          fmt::format("the file ends inside {} ({} of {} bytes)", what, end_ - begin_, count));
    }
    const unsigned char* at = buffer_.data() + begin_;
    begin_ += count;
    position_ += static_cast<int64_t>(count);
    return at;
  }

  // Moves what is left to the front and reads until `count` bytes are there or the file ends.
  void fill(std::size_t count) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
    if (buffer_.size() < count) buffer_.resize(count);
    while (end_ < count) {
      const ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0)
        throw FatalError::bad_input(name_, fmt::format("cannot be read: {}", std::strerror(errno)));
      if (got == 0) return;
      end_ += static_cast<std::size_t>(got);
    }
  }

  void record_edge(std::size_t count, int64_t g, const char* what) {
    const int64_t at = position_;
    const uint32_t length = get_u32(raw(4, g, "a sequential record marker"), data_.order);
    if (length != count) {
      throw error(
          g, at,
          fmt::format("a sequential record of {} bytes where {} holds {}", length, what, count));
    }
  }

  const StationDataSet& data_;
  int fd_ = -1;
  std::string name_;
  bool missing_ = false;
  int64_t position_ = 0;
  std::vector<unsigned char> buffer_;
  std::size_t begin_ = 0, end_ = 0;
  std::vector<unsigned char> payload_;
};

// Numbers the stations: one identifier (as GrADS reads it, one word of up to 8 characters) at
// one position. Reports of a time group mostly come in the order of the group before, so the
// station of the same place in that group is tried first, on the raw header bytes.
class StationNumbers {
 public:
  int32_t number(const unsigned char* header, float lat, float lon, std::size_t place,
                 ScanSummary& out) {
    if (place < previous_.size()) {
      const int32_t guess = previous_[place];
      if (std::memcmp(raw_keys_.data() + 16 * static_cast<std::size_t>(guess), header, 16) == 0) {
        current_.push_back(guess);
        return guess;
      }
    }
    const int32_t station = look_up(header, lat, lon, out);
    current_.push_back(station);
    return station;
  }

  // A time group ends: its order is the guess for the next one.
  void end_group() {
    previous_.swap(current_);
    current_.clear();
  }

 private:
  // The station of a report not where the group before had it: by identifier and position.
  __attribute__((noinline)) int32_t look_up(const unsigned char* header, float lat, float lon,
                                            ScanSummary& out) {
    std::string id(reinterpret_cast<const char*>(header), 8);
    const std::size_t first = id.find_first_not_of(' ');
    id = first == std::string::npos ? "" : id.substr(first);
    id = id.substr(0, id.find_first_of(std::string(" \0", 2)));
    std::string key = id;
    key.push_back('\0');
    // Positions compare as numbers: -0.0 is 0.0.
    const float position[2] = {lat == 0 ? 0.0f : lat, lon == 0 ? 0.0f : lon};
    key.append(reinterpret_cast<const char*>(position), sizeof position);
    const auto [it, added] = known_.emplace(std::move(key), static_cast<int32_t>(out.ids.size()));
    if (added) {
      out.ids.push_back(id);
      out.lat.push_back(lat);
      out.lon.push_back(lon);
      raw_keys_.insert(raw_keys_.end(), header, header + 16);
    }
    return it->second;
  }

  std::unordered_map<std::string, int32_t> known_;
  std::vector<unsigned char> raw_keys_;  // the header bytes 0-15 of each station's first report
  std::vector<int32_t> previous_, current_;
};

void check_map(const StationDataSet& data, const std::vector<int64_t>& offsets,
               const std::vector<int32_t>& counts, std::vector<std::string>& notes) {
  if (data.stnmap.empty()) return;
  File map(std::fopen(data.stnmap.c_str(), "rb"));
  if (!map) return;
  std::vector<unsigned char> bytes;
  unsigned char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, map.get())) > 0;) {
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  auto stale = [&](const std::string& why) {
    notes.push_back(
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

template <ByteOrder kOrder>
ScanSummary scan(const StationDataSet& data,
                 const std::function<void(const GroupReports&)>& visit) {
  ScanSummary out;
  DataReader reader(data);
  StationNumbers numbers;
  const std::size_t level_vars = data.vars.size() - data.surface_vars;
  std::vector<int64_t> offsets;
  std::vector<int32_t> counts;
  GroupReports batch;
  for (int64_t g = 0; g < data.ntime; ++g) {
    batch.group = static_cast<int32_t>(g);
    batch.station.clear();
    batch.offset.clear();
    batch.nlevels.clear();
    batch.first_value.clear();
    batch.values.clear();
    if (!reader.open_for(g, out.files_missing)) {
      offsets.push_back(0);
      counts.push_back(0);
      visit(batch);
      continue;
    }
    offsets.push_back(reader.position());
    int32_t reports = 0;
    for (;;) {
      const int64_t at = reader.position();
      // Valid until the next read: everything taken from the header is taken before the values.
      const unsigned char* header = reader.read(kHeaderBytes, g, "a report header");
      const float lat = load_f32<kOrder>(header + 8);
      const float lon = load_f32<kOrder>(header + 12);
      const float t = load_f32<kOrder>(header + 16);
      const auto nlev = static_cast<int32_t>(load_u32<kOrder>(header + 20));
      const auto flag = static_cast<int32_t>(load_u32<kOrder>(header + 24));
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
      batch.station.push_back(
          numbers.number(header, lat, lon, static_cast<std::size_t>(reports), out));
      batch.offset.push_back(t);
      batch.nlevels.push_back(levels);
      const std::size_t first = batch.values.size();
      batch.first_value.push_back(static_cast<int64_t>(first));
      const std::size_t skipped = flag ? 0 : data.surface_vars;
      const std::size_t floats =
          (flag ? data.surface_vars : 0) + static_cast<std::size_t>(levels) * (1 + level_vars);
      for (std::size_t v = 0; v < skipped; ++v) batch.values.push_back(data.undef);
      if (floats > 0) {
        const unsigned char* raw = reader.read(floats * 4, g, "a report's values");
        for (std::size_t v = 0; v < floats; ++v)
          batch.values.push_back(load_f32<kOrder>(raw + 4 * v));
      }
      ++reports;
    }
    numbers.end_group();
    visit(batch);
    out.reports += reports;
    counts.push_back(reports);
  }
  check_map(data, offsets, counts, out.notes);
  return out;
}

}  // namespace

ScanSummary scan_reports(const StationDataSet& data,
                         const std::function<void(const GroupReports&)>& visit) {
  return data.order == ByteOrder::kBig ? scan<ByteOrder::kBig>(data, visit)
                                       : scan<ByteOrder::kLittle>(data, visit);
}

StationReports read_reports(const StationDataSet& data) {
  StationReports out;
  ScanSummary summary = scan_reports(data, [&](const GroupReports& batch) {
    const auto base = static_cast<int64_t>(out.values.size());
    out.station.insert(out.station.end(), batch.station.begin(), batch.station.end());
    out.group.insert(out.group.end(), batch.size(), batch.group);
    out.offset.insert(out.offset.end(), batch.offset.begin(), batch.offset.end());
    out.nlevels.insert(out.nlevels.end(), batch.nlevels.begin(), batch.nlevels.end());
    for (int64_t first : batch.first_value) out.first_value.push_back(base + first);
    out.values.insert(out.values.end(), batch.values.begin(), batch.values.end());
  });
  out.ids = std::move(summary.ids);
  out.lat = std::move(summary.lat);
  out.lon = std::move(summary.lon);
  out.files_missing = summary.files_missing;
  out.notes = std::move(summary.notes);
  return out;
}

}  // namespace d2g::gradsin
