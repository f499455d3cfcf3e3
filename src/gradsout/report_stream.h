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

#include "gradsout/background_writer.h"
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
  // Reports may be packed for `groups` coming time groups at once (slots 0 ... groups - 1), as
  // a reader that walks the data station by station finds them; end_group() then takes the
  // slots in order. One slot by default.
  void stage(int32_t groups);
  // One report into `slot`. `surface` holds the surface values (none: flag 0); `levels` holds
  // `nlevels` groups of 1 + `level_values` floats each, the level first.
  void report(int32_t slot, const char* id8, float lat, float lon, float offset,
              const float* surface, int32_t nsurface, const float* levels, int32_t nlevels,
              int32_t level_values);
  // Writes the reports of `slot` as the next time group, and its terminator.
  void end_group(int32_t slot = 0);
  // Writes what is still buffered to the current file, and waits until it is written.
  void flush();

  const GroupIndex& index() const { return index_; }
  // Bytes written (or counted) into the current file.
  int64_t file_bytes() const { return file_bytes_; }
  int64_t total_reports() const { return total_reports_; }

 private:
  // The reports of one time group waiting to be written.
  struct Slot {
    WriteBuffer bytes;  // bytes[0, used) hold the reports
    std::size_t used = 0;
    int32_t reports = 0;
    int32_t most_values = 0;
    char last_id[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    float last_lat = 0;
    float last_lon = 0;
  };

  void append(const char* bytes, std::size_t count);

  // Hands the full buffer to the writer and goes on in the other one.
  void hand_over();

  ByteOrder order_;
  WriteBuffer& buffer_;
  WriteBuffer spare_;  // the buffer being written while buffer_ fills
  BackgroundWriter writer_;
  std::size_t used_ = 0;
  PendingFile* out_ = nullptr;
  int64_t file_bytes_ = 0;
  int64_t total_reports_ = 0;
  std::vector<Slot> slots_;
  // The last report written, which a terminator repeats.
  char last_id_[8] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
  float last_lat_ = 0;
  float last_lon_ = 0;
  GroupIndex index_;
};

}  // namespace d2g
