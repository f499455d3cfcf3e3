#include "common/stations.h"

#include <fmt/format.h>

#include <algorithm>
#include <string>

namespace d2g {

std::vector<StationLabel> make_station_labels(int32_t nstn) {
  std::vector<StationLabel> labels(nstn > 0 ? static_cast<std::size_t>(nstn) : 0);
  for (std::size_t i = 0; i < labels.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    const std::string digits = number <= 999 ? fmt::format("{:03d}", number) : "***";
    const std::string label = fixed_width("Station_" + digits, kStationLabelWidth);
    std::copy(label.begin(), label.end(), labels[i].begin());
  }
  return labels;
}

}  // namespace d2g
