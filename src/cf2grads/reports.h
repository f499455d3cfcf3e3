// The reports of a data set, time group by time group: in each group the stations in their
// order, each station's observations in time order, so that equal data in different CF
// representations give the same bytes.
#pragma once

#include <cstdint>
#include <functional>

#include "cf2grads/data_set.h"
#include "gradsout/report_stream.h"

namespace d2g::cf2grads {

struct ReportTally {
  int64_t reports = 0;
  // Observations along a shared time axis left out for want of a position or a value.
  int64_t no_time = 0;
  int64_t no_position = 0;
  int64_t no_value = 0;
  int64_t empty_groups = 0;
};

// Writes every report into `stream`; `before_group(g)` runs before time group g begins.
ReportTally write_reports(const DataSet& data, float undef, ReportStream& stream,
                          const std::function<void(int64_t group)>& before_group);

}  // namespace d2g::cf2grads
