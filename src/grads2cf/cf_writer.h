// Writing GrADS station reports as a CF discrete-sampling-geometry netCDF-4 file: orthogonal
// (station x time) where every station reports at most once per time group at its group's time,
// else the contiguous ragged timeSeries layout, or for level-dependent data the ragged
// timeSeriesProfile layout of the CF conventions (stations indexed, profiles contiguous).
#pragma once

#include <string>

#include "gradsin/station_control.h"
#include "gradsin/station_reports.h"

namespace d2g::grads2cf {

enum class Layout { kAuto, kOrthogonal, kRagged };

struct CfPlan {
  bool orthogonal = false;
  bool profiles = false;
  std::string time_units;
  std::string calendar;
};

// How `reports` will be written; `asked` kOrthogonal where it cannot fit ends the run.
CfPlan plan_cf(const gradsin::StationDataSet& data, const gradsin::StationReports& reports,
               Layout asked);

// Writes the file at `path` (a new file: the caller swaps it in).
void write_cf(const std::string& path, const gradsin::StationDataSet& data,
              const gradsin::StationReports& reports, const CfPlan& plan,
              const std::string& history);

}  // namespace d2g::grads2cf
