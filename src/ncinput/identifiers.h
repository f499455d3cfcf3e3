// Station identifiers from the station list: a char variable (station, string length), a string
// variable (station), as the CF conventions hold a time series' identifiers, or an integer
// variable (station), as station numbers (WMO numbers, ...) are most often kept.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace d2g {

// The variable whose attribute cf_role is "timeseries_id", if the file has one.
std::optional<std::string> find_timeseries_id(const std::string& fname, int32_t& status);

// The texts of `varname`, one per station: a char variable's rows up to their first NUL byte, or
// an integer variable's values in decimal. A char variable may be declared (station, length) or
// (length, station): the station dimension is the one named `station_dim`, else the one of
// `nstn` values where only one has that many, else (as CF has it) the first. Anything else ends
// the run with a message naming the file and the variable.
std::vector<std::string> read_identifiers(const std::string& fname, const std::string& varname,
                                          const std::string& station_dim, int32_t nstn,
                                          int32_t& status);

}  // namespace d2g
