// The values a picture shows: one variable (at one level) of a station product, per time group
// and station, read through the same reader as grads2cf, with every missing value as NaN.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "gradsin/station_control.h"
#include "gradsin/station_reports.h"

namespace d2g::plot {

struct PlotField {
  std::string var;  // as GrADS names it
  std::string description;
  std::optional<float> level;
  std::vector<std::string> ids;
  std::vector<float> lat, lon;
  int64_t ntime = 0;
  // values[t * ids.size() + station]; NaN where the station has no value in group t (its first
  // report of the group counts when it has several).
  std::vector<float> values;

  float at(int64_t t, std::size_t station) const {
    return values[static_cast<std::size_t>(t) * ids.size() + station];
  }
};

// The variable the picture draws: `name` (any case), or the first one when empty. A
// level-dependent variable needs `level`, a surface one refuses it; both errors list what there is.
const gradsin::VarDecl& choose_variable(const gradsin::StationDataSet& data,
                                        const std::string& name, std::optional<float> level);

PlotField plot_field(const gradsin::StationDataSet& data, const gradsin::StationReports& reports,
                     const gradsin::VarDecl& var, std::optional<float> level);

// The station whose identifier is `id` (compared without regard to case, as GrADS does);
// refused with a list of identifiers when there is none.
std::size_t find_station(const PlotField& field, const std::string& control, const std::string& id);

}  // namespace d2g::plot
