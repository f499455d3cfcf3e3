// What GrADS accepts as names: variable names of at most 15 characters, a letter first, then
// letters, digits or underscores, in lower case (GrADS lower-cases them as it reads them, and
// keeps "@" attribute lines only under the lower-case name); and station identifiers of one
// word of at most 8 characters, matched ignoring case.
#pragma once

#include <string>
#include <vector>

namespace d2g {

inline constexpr std::size_t kLongestVariableName = 15;

// Valid, distinct GrADS variable names for `names`, in their order: lower case, other characters
// turned into "_", a "v" before a leading digit or underscore, cut to 15 characters, "lat",
// "lon" and "lev" (which GrADS keeps for station coordinates) given a trailing "_", and names
// that then collide numbered ("tas_2").
std::vector<std::string> grads_variable_names(const std::vector<std::string>& names);

// Why `id` cannot stand as a GrADS station identifier as it is, or "" when it can: empty, longer
// than 8 characters, blanks or control characters, or one of , ( ) ; ' " (which break stid=
// selections and GrADS's expressions).
std::string unusable_station_id(const std::string& id);

}  // namespace d2g
