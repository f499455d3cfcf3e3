// The reports of a GrADS station data set, read from its data files from the start, as GrADS
// reads them (the station map is not needed; where there is one, it is checked against what
// was read).
#pragma once

#include <cstdint>
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

// Whether a value is missing as GrADS sees it: within |undef| / 1e5 of the marker, or not a
// finite number.
bool is_missing(float value, float undef);

// Reads every report; a data file cut short, a report with an impossible level count or flag,
// or a template file that is short ends the run naming the file, the time group and the byte.
StationReports read_reports(const StationDataSet& data);

}  // namespace d2g::gradsin
