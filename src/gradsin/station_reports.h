// The reports of a GrADS station data set, read from its data files from the start, as GrADS
// reads them (the station map is not needed; where there is one, it is checked against what
// was read).
#pragma once

#include <cmath>
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
  std::vector<int32_t> place;  // as in ScanSummary
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

// One report as the scanner hands it on, valid while it is visited.
struct Report {
  int32_t group;
  int32_t station;  // numbered in order of first appearance
  float offset;
  int32_t nlevels;  // level groups, the surface group not counted
  // The surface values (the marker where the report has none), then per level the level and
  // the level-dependent values.
  const float* values;
};

// The reports of one time group, decoded, as scan_reports hands them on.
struct GroupReports {
  int32_t group = 0;
  std::vector<int32_t> station;  // numbered in order of first appearance
  std::vector<float> offset;
  std::vector<int32_t> nlevels;      // level groups, the surface group not counted
  std::vector<int64_t> first_value;  // where its values start in `values`
  // As in StationReports: the surface values (the marker where the report has none), then per
  // level the level and the level-dependent values.
  std::vector<float> values;

  std::size_t size() const { return station.size(); }
};

// What a scan learns besides the reports: the stations, and what the reader noticed.
struct ScanSummary {
  std::vector<std::string> ids;
  std::vector<float> lat, lon;
  // Where not empty, each station's place in the order that keeps the order of every time
  // group's reports (see StationOrder); else that is the order of first appearance.
  std::vector<int32_t> place;
  int64_t reports = 0;
  int64_t files_missing = 0;
  std::vector<std::string> notes;
};

// Reads every report, in file order, and shows them to `visit` a time group at a time (empty
// groups too); the same checks and errors as read_reports. Holds one time group at a time.
ScanSummary scan_reports(const StationDataSet& data,
                         const std::function<void(const GroupReports&)>& visit);

// Whether a value is missing as GrADS sees it: within |undef| / 1e5 of the marker, or not a
// finite number. The tolerance is worked out once: this runs for every value.
class MissingTest {
 public:
  explicit MissingTest(float undef) : undef_(undef), tolerance_(std::fabs(undef / 1e5f)) {}
  bool operator()(float value) const {
    return !std::isfinite(value) || std::fabs(value - undef_) <= tolerance_;
  }

 private:
  float undef_, tolerance_;
};

inline bool is_missing(float value, float undef) { return MissingTest(undef)(value); }

// Reads every report; a data file cut short, a report with an impossible level count or flag,
// or a template file that is short ends the run naming the file, the time group and the byte.
StationReports read_reports(const StationDataSet& data);

}  // namespace d2g::gradsin
