// Station vectors and station labels.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "common/fixed_width.h"

namespace d2g {

// A station label: "Station_" and the station number in three digits, blank-padded to 21
// characters. Numbers from 1000 on do not fit the three digits and show as "***".
using StationLabel = std::array<char, kStationLabelWidth>;

// Labels for stations 1 ... nstn.
std::vector<StationLabel> make_station_labels(int32_t nstn);

}  // namespace d2g
