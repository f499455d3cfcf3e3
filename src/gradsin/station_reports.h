// The reports of a GrADS station data set, read from its data files from the start, as GrADS
// reads them (the station map is not needed; where there is one, it is checked against what
// was read).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "gradsin/station_control.h"

namespace d2g::gradsin {

struct StationReports {
  // Stations, one per identifier at one position, in order of first appearance.
  std::vector<std::string> ids;
  std::vector<float> lat, lon;
  // Per report, in file order.
  std::vector<int32_t> station;
  std::vector<int32_t> group;
  std::vector<float> offset;
  std::vector<int32_t> nlevels;      // level groups, the surface group not counted
  std::vector<int64_t> first_value;  // where its values start in `values`
  // Per report: the surface values (the marker where the report has none), then per level the
  // level and the level-dependent values.
  std::vector<float> values;
  int64_t files_missing = 0;  // template files not there: empty time groups, as in GrADS
  std::vector<std::string> notes;
};

// One report as the scanner meets it. Valid only during the visit.
struct ScannedReport {
  int32_t station = 0;  // numbered in order of first appearance
  int32_t group = 0;
  float offset = 0;
  int32_t levels = 0;    // level groups, the surface group not counted
  bool surface = false;  // a surface group comes first
  // The report's values as stored (byte order of the data set): the surface group's values,
  // then per level the level and the level-dependent values.
  const unsigned char* raw = nullptr;
  std::size_t floats = 0;
};

// What a scan learns besides the reports: the stations, and what the reader noticed.
struct ScanSummary {
  std::vector<std::string> ids;
  std::vector<float> lat, lon;
  int64_t reports = 0;
  int64_t files_missing = 0;
  std::vector<std::string> notes;
};

// Reads every report, in file order, and shows each to `visit`; the same checks and errors as
// read_reports. Holds no more than one report at a time.
ScanSummary scan_reports(const StationDataSet& data,
                         const std::function<void(const ScannedReport&)>& visit);

// Value `index` of a scanned report, decoded.
float raw_value(const ScannedReport& report, std::size_t index, ByteOrder order);

// Whether a value is missing as GrADS sees it: within |undef| / 1e5 of the marker, or not a
// finite number.
bool is_missing(float value, float undef);

// Reads every report; a data file cut short, a report with an impossible level count or flag,
// or a template file that is short ends the run naming the file, the time group and the byte.
StationReports read_reports(const StationDataSet& data);

}  // namespace d2g::gradsin
