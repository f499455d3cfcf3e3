// Station identifiers from the station list: a char variable (station, string length) or a
// string variable (station), as the CF conventions hold a time series' identifiers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace d2g {

// The variable whose attribute cf_role is "timeseries_id", if the file has one.
std::optional<std::string> find_timeseries_id(const std::string& fname, int32_t& status);

// The texts of `varname`, one per station, each up to its first NUL byte. Anything but a char
// variable over (station, length) or a string variable over (station) ends the run with a
// message naming the file and the variable.
std::vector<std::string> read_identifiers(const std::string& fname, const std::string& varname,
                                          int32_t& status);

}  // namespace d2g
