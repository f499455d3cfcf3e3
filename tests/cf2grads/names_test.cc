// Names GrADS accepts: variable names and station identifiers.
#include <gtest/gtest.h>

#include "gradsout/grads_names.h"

namespace d2g {
namespace {

TEST(GradsNames, VariableNamesAreMadeValidAndKeptApart) {
  const std::vector<std::string> cf = {
      "Tas", "air.temperature",           "2m_temp",
      "lat", "surface_air_pressure_mean", "surface_air_pressure_max",
      "tas"};
  const std::vector<std::string> expected = {
      "tas", "air_temperature", "v2m_temp", "lat_", "surface_air_pre", "surface_air_p_2", "tas_2"};
  EXPECT_EQ(grads_variable_names(cf), expected);
}

TEST(GradsNames, StationIdentifiersThatBreakGradsAreFound) {
  for (const char* good : {"MADRID", "8221", "A_1-x.y", "ABCDEFGH"}) {
    EXPECT_EQ(unusable_station_id(good), "") << good;
  }
  for (const char* bad :
       {"", "ABCDEFGHI", "New York", "a,b", "f(x)", "a;b", "it's", "\"q\"", "tab\there"}) {
    EXPECT_NE(unusable_station_id(bad), "") << bad;
  }
}

}  // namespace
}  // namespace d2g
