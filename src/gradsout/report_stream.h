// ReportStream: writes GrADS station reports of any shape (several surface variables, level
// groups of several level-dependent variables, time offsets) time group by time group, and
// records what the station map needs: where each time group starts, how many reports it holds
// and the longest report.
//
// A report is the 28-byte header (report_encoding.h), then the surface values when the flag is
// 1, then one group per level: the level, then the level-dependent values. A time group ends
// with a header of 0 levels, which repeats the last report's id and position.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "gradsout/report_encoding.h"
#include "gradsout/station_data.h"

namespace d2g {

class PendingFile;

// What the station map of a data set says: one entry per time group.
struct GroupIndex {
  std::vector<int64_t> offsets;  // byte offset of the group's first report in its data file
  std::vector<int32_t> reports;  // reports in the group, its terminator not counted
  int32_t most_values = 0;       // floats in the longest report, level values included
};

class ReportStream {
 public:
  // `buffer` is packing scratch that the caller may keep across products.
  ReportStream(ByteOrder order, WriteBuffer& buffer);
  ReportStream(const ReportStream&) = delete;
  ReportStream& operator=(const ReportStream&) = delete;

  // Later reports go to `out` (nullptr: they are only counted), whose offsets start at 0.
  void start_file(PendingFile* out);
  // One report. `surface` holds the surface values (none: flag 0); `levels` holds `nlevels`
  // groups of 1 + `level_values` floats each, the level first.
  void report(const char* id8, float lat, float lon, float offset, const float* surface,
              int32_t nsurface, const float* levels, int32_t nlevels, int32_t level_values);
  // Ends the current time group with its terminator.
  void end_group();
  // Writes what is still buffered to the current file.
  void flush();

  const GroupIndex& index() const { return index_; }
  // Bytes written (or counted) into the current file.
  int64_t file_bytes() const { return file_bytes_; }
  int64_t total_reports() const { return total_reports_; }

 private:
  char* reserve(std::size_t bytes);

  ByteOrder order_;
  WriteBuffer& buffer_;
  std::size_t used_ = 0;
  PendingFile* out_ = nullptr;
  int64_t file_bytes_ = 0;
  int64_t total_reports_ = 0;
  int32_t group_reports_ = 0;
  bool group_open_ = false;
  char last_id_[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  float last_lat_ = 0;
  float last_lon_ = 0;
  GroupIndex index_;
};

}  // namespace d2g
