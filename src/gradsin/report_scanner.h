// The scanner under every reading of GrADS station data: it reads the data files from the
// start, checks each report as GrADS and stnmap would, numbers the stations and hands each
// report to a visitor. A template, so that a program's per-report work is compiled into the
// loop: a data set holds tens of millions of reports of a few dozen bytes each.
#pragma once

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "common/fatal_error.h"
#include "gradsin/station_control.h"
#include "gradsin/station_order.h"
#include "gradsin/station_reports.h"

namespace d2g::gradsin {

namespace scanning {

// A 32-bit word in the data set's byte order, the order fixed when compiling.
template <ByteOrder kOrder>
inline uint32_t load_u32(const unsigned char* at) {
  uint32_t word;
  std::memcpy(&word, at, sizeof word);
  constexpr bool kHostBig = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
  if constexpr ((kOrder == ByteOrder::kBig) != kHostBig) word = __builtin_bswap32(word);
  return word;
}

template <ByteOrder kOrder>
inline float load_f32(const unsigned char* at) {
  const uint32_t bits = load_u32<kOrder>(at);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A 32-bit word in a byte order known only when running (record markers, the station map).
inline uint32_t get_u32(const unsigned char* at, ByteOrder order) {
  return order == ByteOrder::kBig ? load_u32<ByteOrder::kBig>(at)
                                  : load_u32<ByteOrder::kLittle>(at);
}

// Reads the data files through a buffer of its own: a report is a few dozen bytes, and a
// library call for each would cost more than everything else.
class DataReader {
 public:
  explicit DataReader(const StationDataSet& data);
  ~DataReader();
  DataReader(const DataReader&) = delete;
  DataReader& operator=(const DataReader&) = delete;

  // Opens the file of group g when it changes; false where a template file is missing.
  bool open_for(int64_t g, int64_t& files_missing);

  // `count` bytes of group g, within a sequential record when the data set is so; valid until
  // the next call. Inline where the bytes are in the buffer: this runs twice a report.
  const unsigned char* read(std::size_t count, int64_t g, const char* what) {
    if (!sequential_ && end_ - begin_ >= count) [[likely]] {
      const unsigned char* at = buffer_.data() + begin_;
      begin_ += count;
      position_ += static_cast<int64_t>(count);
      return at;
    }
    return read_edge(count, g, what);
  }

  int64_t position() const { return position_; }

  FatalError error(int64_t g, int64_t at, const std::string& what) const;

 private:
  const unsigned char* read_edge(std::size_t count, int64_t g, const char* what);
  const unsigned char* raw(std::size_t count, int64_t g, const char* what);
  void fill(std::size_t count);
  void record_edge(std::size_t count, int64_t g, const char* what);

  const StationDataSet& data_;
  const bool sequential_;
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
    int32_t station;
    if (place < previous_.size() &&
        std::memcmp(raw_keys_.data() + 16 * static_cast<std::size_t>(previous_[place]), header,
                    16) == 0) {
      station = previous_[place];
    } else {
      station = look_up(header, lat, lon, out);
    }
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
  int32_t look_up(const unsigned char* header, float lat, float lon, ScanSummary& out);

  std::unordered_map<std::string, int32_t> known_;
  std::vector<unsigned char> raw_keys_;  // the header bytes 0-15 of each station's first report
  std::vector<int32_t> previous_, current_;
};

// Notes in `notes` where the data set's station map does not describe what was read.
void check_map(const StationDataSet& data, const std::vector<int64_t>& offsets,
               const std::vector<int32_t>& counts, std::vector<std::string>& notes);

inline constexpr int32_t kMostLevels = 10000;  // as stnmap checks

template <ByteOrder kOrder, class Visitor>
ScanSummary scan(const StationDataSet& data, Visitor& visitor) {
  ScanSummary out;
  DataReader reader(data);
  StationNumbers numbers;
  StationOrder order;
  const std::size_t level_vars = data.vars.size() - data.surface_vars;
  std::vector<int64_t> offsets;
  std::vector<int32_t> counts;
  std::vector<float> values(data.surface_vars);
  for (int64_t g = 0; g < data.ntime; ++g) {
    const auto group = static_cast<int32_t>(g);
    visitor.group_begins(group);
    if (!reader.open_for(g, out.files_missing)) {
      offsets.push_back(0);
      counts.push_back(0);
      visitor.group_ends(group);
      continue;
    }
    offsets.push_back(reader.position());
    int32_t reports = 0;
    int32_t previous = -1;  // the station of the report before in this group
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
      if (nlev < 0 || nlev > kMostLevels) [[unlikely]] {
        throw reader.error(g, at, fmt::format("a report of {} levels", nlev));
      }
      if (flag != 0 && flag != 1) [[unlikely]] {
        throw reader.error(g, at, fmt::format("a report whose surface flag is {}", flag));
      }
      if (!(std::fabs(t) <= 2)) [[unlikely]] {
        throw reader.error(g, at, fmt::format("a report whose time offset is {}", t));
      }
      const int32_t levels = nlev - flag;
      if (flag == 1 && data.surface_vars == 0 && levels >= 0) [[unlikely]] {
        throw reader.error(g, at, "a surface group, but the control file has no surface variables");
      }
      if (levels > 0 && level_vars == 0) [[unlikely]] {
        throw reader.error(g, at, "level groups, but the control file has no level variables");
      }
      const int32_t station =
          numbers.number(header, lat, lon, static_cast<std::size_t>(reports), out);
      if (previous >= 0 && previous != station) order.follows(previous, station);
      previous = station;
      const std::size_t skipped = flag ? 0 : data.surface_vars;
      const std::size_t floats =
          (flag ? data.surface_vars : 0) + static_cast<std::size_t>(levels) * (1 + level_vars);
      if (values.size() < skipped + floats) values.resize(skipped + floats);
      std::fill_n(values.data(), skipped, data.undef);
      if (floats > 0) {
        const unsigned char* raw = reader.read(floats * 4, g, "a report's values");
        float* to = values.data() + skipped;
        for (std::size_t v = 0; v < floats; ++v) to[v] = load_f32<kOrder>(raw + 4 * v);
      }
      visitor.report(Report{group, station, t, levels, values.data()});
      ++reports;
    }
    numbers.end_group();
    visitor.group_ends(group);
    out.reports += reports;
    counts.push_back(reports);
  }
  check_map(data, offsets, counts, out.notes);
  out.place = order.places(out.ids.size());
  return out;
}

}  // namespace scanning

// Reads every report, in file order, and shows each to `visitor`, which has
//   void group_begins(int32_t group);   // each time group, empty ones too
//   void report(const Report& report);  // each report of the group, in file order
//   void group_ends(int32_t group);
// A data file cut short, a report with an impossible level count or flag, or a template file
// that is short ends the run naming the file, the time group and the byte.
template <class Visitor>
ScanSummary scan_each(const StationDataSet& data, Visitor& visitor) {
  return data.order == ByteOrder::kBig ? scanning::scan<ByteOrder::kBig>(data, visitor)
                                       : scanning::scan<ByteOrder::kLittle>(data, visitor);
}

}  // namespace d2g::gradsin
