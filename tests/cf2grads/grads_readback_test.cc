// The real client: GrADS opens cf2grads products through the maps cf2grads writes (no stnmap)
// and prints, time step by time step, the values, times and levels that the CF files hold.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cf2grads/cf_fixtures.h"

namespace d2g {
namespace {

using testing::TempDir;

TEST(Cf2gradsReadback, EveryRepresentationReadsBackInGradsAsTheCfFilesHoldIt) {
  // The timeSeries fixtures' data as GrADS must print them.
  const std::vector<std::string> ragged = {
      "00Z01JAN2000 temperature MADRID sfc 1.5",   "00Z01JAN2000 temperature BARCA sfc 10",
      "00Z01JAN2000 humidity MADRID sfc 50",       "00Z01JAN2000 humidity BARCA sfc 60",
      "00Z02JAN2000 temperature MADRID sfc 2.5",   "00Z02JAN2000 temperature SYDNEY sfc 21",
      "00Z02JAN2000 humidity MADRID sfc 51",       "00Z02JAN2000 humidity SYDNEY sfc 71",
      "00Z03JAN2000 temperature MADRID sfc 3.5",   "00Z03JAN2000 temperature BARCA sfc 12",
      "00Z03JAN2000 humidity MADRID sfc 52",       "00Z03JAN2000 humidity BARCA sfc 62",
      "12Z03JAN2000 temperature SYDNEY sfc 22",    "12Z03JAN2000 humidity SYDNEY sfc 72",
      "00Z04JAN2000 temperature SYDNEY sfc 23.25", "00Z04JAN2000 humidity SYDNEY sfc 73"};
  const std::vector<std::string> orthogonal = {
      "00Z01JAN2000 temperature MADRID sfc 1.5",   "00Z01JAN2000 temperature BARCA sfc 10",
      "00Z01JAN2000 humidity MADRID sfc 50",       "00Z01JAN2000 humidity BARCA sfc 60",
      "00Z02JAN2000 temperature MADRID sfc 2.5",   "00Z02JAN2000 temperature SYDNEY sfc 21",
      "00Z02JAN2000 humidity MADRID sfc 51",       "00Z02JAN2000 humidity SYDNEY sfc 71",
      "00Z03JAN2000 temperature MADRID sfc 3.5",   "00Z03JAN2000 temperature BARCA sfc 12",
      "00Z03JAN2000 humidity MADRID sfc 52",       "00Z03JAN2000 humidity BARCA sfc 62",
      "00Z04JAN2000 temperature SYDNEY sfc 23.25", "00Z04JAN2000 humidity SYDNEY sfc 73"};
  const std::vector<std::string> profiles = {
      "00Z01JUL2010 ps ALPHA sfc 1012.5",        "00Z01JUL2010 ps BETA sfc 1009",
      "00Z01JUL2010 temperature ALPHA 1000 300", "00Z01JUL2010 temperature BETA 1000 295",
      "00Z01JUL2010 temperature ALPHA 850 290",  "00Z01JUL2010 temperature BETA 850 285",
      "00Z01JUL2010 temperature ALPHA 500 260",  "00Z01JUL2010 temperature BETA 500 255",
      "06Z01JUL2010 ps ALPHA sfc 1011",          "06Z01JUL2010 temperature ALPHA 1000 301",
      "06Z01JUL2010 temperature ALPHA 850 291",  "12Z01JUL2010 ps BETA sfc 1008.25",
      "12Z01JUL2010 temperature BETA 1000 296",  "12Z01JUL2010 temperature BETA 500 256"};
  const std::vector<std::string> drifting = {
      "00Z01JAN1970 humidity MOORING sfc 1",         "00Z01JAN1970 temp MOORING sfc 10",
      "00Z02JAN1970 humidity MOORING sfc 2",         "00Z02JAN1970 temp MOORING sfc 11",
      "00Z03JAN1970 humidity MOORING sfc -9.99e+08", "00Z03JAN1970 temp MOORING sfc 12",
      "00Z04JAN1970 humidity MOORING sfc 4",         "00Z04JAN1970 temp MOORING sfc 13"};
  struct Case {
    std::string fixture;
    int ntime;
    std::vector<std::string> vars;
    const std::vector<std::string>* expected;
    std::size_t surface = 99;
  };
  const std::vector<Case> cases = {
      {"orthogonal", 4, {"temperature", "humidity"}, &orthogonal},
      {"time_station", 4, {"temperature", "humidity"}, &orthogonal},
      {"incomplete", 7, {"temperature", "humidity"}, &ragged},
      {"contiguous", 7, {"temperature", "humidity"}, &ragged},
      {"indexed", 7, {"temperature", "humidity"}, &ragged},
      {"profile_multi", 3, {"ps", "temperature"}, &profiles, 1},
      {"profile_ragged", 3, {"ps", "temperature"}, &profiles, 1},
      {"drifting", 4, {"humidity", "temp"}, &drifting},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fixture);
    TempDir dir;
    const auto run = testing::convert_cdl(dir, c.fixture, testing::cdl_fixture(c.fixture));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(testing::grads_printed_reports(dir.file("out"), c.fixture + ".ctl", c.ntime, c.vars,
                                             c.surface, {1000, 850, 500}),
              *c.expected);
  }
}

TEST(Cf2gradsReadback, OurMapsAreTheMapsStnmapWrites) {
  for (const std::string fixture : {"contiguous", "orthogonal", "profile_ragged"}) {
    SCOPED_TRACE(fixture);
    TempDir dir;
    ASSERT_EQ(testing::convert_cdl(dir, fixture, testing::cdl_fixture(fixture)).status, 0);
    const std::string map = dir.file("out/" + fixture + ".dat.map");
    const std::string ours = testing::read_file(map);
    ASSERT_EQ(testing::run_command("cd " + testing::shell_quote(dir.file("out")) +
                                   " && stnmap -q -i " + fixture + ".ctl"),
              0);
    EXPECT_EQ(testing::read_file(map), ours);
  }
}

TEST(Cf2gradsReadback, ANoLeapCalendarOpensInGradsWithoutStnmap) {
  // stnmap 2.2.1 refuses 365-day station data; our own map lets GrADS open it.
  TempDir dir;
  ASSERT_EQ(testing::convert_cdl(dir, "single", testing::cdl_fixture("single")).status, 0);
  EXPECT_EQ(
      testing::grads_printed_reports(dir.file("out"), "single.ctl", 4, {"temperature"}),
      (std::vector<std::string>{
          "00Z27FEB2000 temperature MADRID sfc 1.5", "00Z28FEB2000 temperature MADRID sfc 2.5",
          "00Z01MAR2000 temperature MADRID sfc 3.5", "00Z02MAR2000 temperature MADRID sfc 4.5"}));
}

}  // namespace
}  // namespace d2g
