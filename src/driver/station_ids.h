// Station identifiers: what the 8-byte identifier of every report says. GrADS tells stations
// apart by it (set gxout print, set stid on, var(stid=...), station time series), comparing up to
// the first blank and without regard to case.
//
// By default station i (1-based, in station-list order) is "i"; --station-ids VAR takes them from
// a char, string or integer variable of the station list, and without the option a variable with
// cf_role = "timeseries_id" is used when there is one. "number" forces numbers; "legacy" writes
// "Station_" everywhere, as earlier versions did.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "common/stations.h"
#include "driver/options.h"

namespace d2g {

inline constexpr char kNumberedIds[] = "number";
inline constexpr char kLegacyIds[] = "legacy";

// The station labels (identifier first, blank-padded) for `nstn` stations as `options` asks.
// Identifiers from a variable are trimmed of blanks and must be 1 to 8 printable characters
// without blanks, commas, parentheses, semicolons or double quotes, unique without regard to
// case; otherwise the run stops (status 1) naming the stations and saying how to go on. `diag`
// gets one warning when some have 8 characters. `station_dim` is the station list's station
// dimension.
std::vector<StationLabel> station_labels(const Options& options, const std::string& station_dim,
                                         int32_t nstn, int32_t& status, std::ostream& diag);

// The problem GrADS would have with identifier `id`, or an empty text.
std::string identifier_problem(const std::string& id);

}  // namespace d2g
