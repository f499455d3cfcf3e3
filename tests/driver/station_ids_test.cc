// Station identifiers in the products: numbers by default, a cf_role variable when the station
// list has one, a named char or string variable, or the legacy "Station_"; identifiers GrADS
// cannot tell apart stop the run before anything is written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace d2g {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

// A station list of three stations with the given extra declarations and data.
std::string station_list(const std::string& declarations, const std::string& data) {
  return "netcdf s {\ndimensions:\n  stn = 3 ;\n  len = 10 ;\n  len3 = 3 ;\nvariables:\n"
         "  float lon(stn) ;\n"
         "  float lat(stn) ;\n" +
         declarations + "data:\n  lon = -8, -4, 1 ;\n  lat = 42, 40, 38 ;\n" + data + "}\n";
}

// The identifiers of the reports of the first time group of Prob.dat, and its terminator's.
std::vector<std::string> identifiers(const std::string& dir) {
  const std::string data = testing::read_file(dir + "/Prob.dat");
  std::vector<std::string> ids;
  for (int j = 0; j <= 3; ++j) ids.push_back(data.substr(32 * j, 8));
  return ids;
}

class StationIdsTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::generate_sample(dir_.path(), 3, 2, 2); }

  testing::ConverterRun convert(const std::string& cdl, const std::string& options) {
    testing::ncgen(cdl, dir_.file("ids.nc"), "nc4");
    return testing::run_converter(dir_.path(), "-q --stations ids.nc " + options);
  }

  TempDir dir_;
};

TEST_F(StationIdsTest, ProductsCarryTheChosenIdentifiers) {
  const std::string variables =
      "  char name(stn, len) ;\n  string code(stn) ;\n  char site(stn, len) ;\n"
      "    site:cf_role = \"timeseries_id\" ;\n  int wmo(stn) ;\n"
      "  ushort small(stn) ;\n  char across(len3, stn) ;\n  string seven(stn) ;\n";
  const std::string data =
      "  name = \"  Avila \", \"Burgos\", \"Cadiz\" ;\n  code = \"E1\", \"e2\", \"x-3\" ;\n"
      "  site = \"S01\", \"S02\", \"S03\" ;\n  wmo = 8001, 8045, 60010 ;\n"
      "  small = 1, 2, 65535 ;\n"
      // (length, station), both of 3: station j is column j.
      "  across = \"ADG\", \"BEH\", \"CFI\" ;\n"
      "  seven = \"ABCDEFG\", \"b\", \"c\" ;\n";
  struct Case {
    const char* what;
    std::string cdl;
    std::string options;
    std::vector<std::string> ids;  // three reports, then the terminator
  };
  const std::vector<Case> cases = {
      {"numbers by default",
       station_list("", ""),
       "",
       {"1       ", "2       ", "3       ", "3       "}},
      {"the cf_role variable",
       station_list(variables, data),
       "",
       {"S01     ", "S02     ", "S03     ", "S03     "}},
      {"a char variable, trimmed",
       station_list(variables, data),
       "--station-ids name",
       {"Avila   ", "Burgos  ", "Cadiz   ", "Cadiz   "}},
      {"a string variable",
       station_list(variables, data),
       "--station-ids code",
       {"E1      ", "e2      ", "x-3     ", "x-3     "}},
      {"numbers forced over cf_role",
       station_list(variables, data),
       "--station-ids number",
       {"1       ", "2       ", "3       ", "3       "}},
      {"legacy",
       station_list(variables, data),
       "--station-ids legacy",
       {"Station_", "Station_", "Station_", "Station_"}},
      {"an int variable, in decimal",
       station_list(variables, data),
       "--station-ids wmo",
       {"8001    ", "8045    ", "60010   ", "60010   "}},
      {"an unsigned short variable",
       station_list(variables, data),
       "--station-ids small",
       {"1       ", "2       ", "65535   ", "65535   "}},
      {"a char variable declared (length, station)",
       station_list(variables, data),
       "--station-ids across",
       {"ABC     ", "DEF     ", "GHI     ", "GHI     "}},
      {"seven characters, no warning",
       station_list(variables, data),
       "--station-ids seven",
       {"ABCDEFG ", "b       ", "c       ", "c       "}},
      {"an integer cf_role variable",
       station_list("  int wmo(stn) ;\n    wmo:cf_role = \"timeseries_id\" ;\n",
                    "  wmo = 8001, 8045, 60010 ;\n"),
       "",
       {"8001    ", "8045    ", "60010   ", "60010   "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const testing::ConverterRun run = convert(c.cdl, c.options);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(identifiers(dir_.path()), c.ids);
    // Every product, byte for byte, carries them.
    const std::vector<float> values =
        testing::read_nc(dir_.file("Sen_Prob_idx_Stn.nc"), "Prob").values;
    std::vector<std::string> ids(c.ids.begin(), c.ids.begin() + 3);
    EXPECT_EQ(testing::read_file(dir_.file("Prob.dat")),
              testing::pack_station_data(values, {-8, -4, 1}, {42, 40, 38}, 3, 2, ids));
  }
}

TEST_F(StationIdsTest, IdentifiersGradsCannotUseStopTheRunNamingTheStations) {
  struct Case {
    const char* what;
    std::string data;
    std::string message;  // after "drought2grads: error: ids.nc: variable "id": "
  };
  const std::vector<Case> cases = {
      {"the same but for case", "\"Abc\", \"x\", \"aBC\"",
       "identifiers GrADS cannot use: stations 1 and 3 \"Abc\" and \"aBC\" (the same to GrADS, "
       "which ignores case)"},
      {"nine characters", "\"a\", \"ninechars\", \"c\"",
       "identifiers GrADS cannot use: station 2 \"ninechars\" (more than 8 characters)"},
      {"a blank inside, a comma, empty", "\"a b\", \"c,d\", \"  \"",
       "identifiers GrADS cannot use: station 1 \"a b\" (a blank inside); station 2 \"c,d\" (a "
       "comma); station 3 \"\" (empty)"},
      // GrADS ends a command at ";", and a script's string at a double quote.
      {"a semicolon, a double quote", "\"a;b\", \"c\\\"d\", \"e\"",
       "identifiers GrADS cannot use: station 1 \"a;b\" (a semicolon); station 2 \"c\"d\" (a "
       "double quote)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto before = testing::snapshot(dir_.path());
    const testing::ConverterRun run = convert(
        station_list("  string id(stn) ;\n", "  id = " + c.data + " ;\n"), "--station-ids id");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "drought2grads: error: ids.nc: variable \"id\": " + c.message +
                           ". Give --station-ids number to number the stations 1, 2, ... instead, "
                           "or --station-ids VAR to take them from another variable\n");
    auto after = testing::snapshot(dir_.path());
    after.erase("ids.nc");
    auto expected = before;
    expected.erase("ids.nc");
    EXPECT_EQ(after, expected);
  }

  const testing::ConverterRun missing = convert(station_list("", ""), "--station-ids nothing");
  EXPECT_EQ(missing.status, 1);
  EXPECT_THAT(missing.err, HasSubstr("variable \"nothing\": NetCDF: Variable not found"));
}

TEST_F(StationIdsTest, EightCharacterIdentifiersWorkWithOneWarning) {
  const testing::ConverterRun run =
      convert(station_list("  string id(stn) ;\n", "  id = \"ABCDEFGH\", \"b\", \"12345678\" ;\n"),
              "--station-ids id");
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.err,
            "drought2grads: warning: ids.nc: variable \"id\": 2 station identifiers have 8 "
            "characters; some GrADS displays show only 7\n");
  EXPECT_EQ(identifiers(dir_.path())[0], "ABCDEFGH");
}

TEST(StationIds, NumbersPastNineHundredNinetyNineStayDistinct) {
  TempDir dir;
  testing::generate_sample(dir.path(), 1200, 1, 1);
  ASSERT_EQ(testing::run_converter(dir.path(), "-q --stations SPI_Stn.nc").status, 0);
  const std::string data = testing::read_file(dir.file("Sensl.dat"));
  ASSERT_EQ(data.size(), 32u * 1200 + 28);
  EXPECT_EQ(data.substr(32 * 998, 8), "999     ");
  EXPECT_EQ(data.substr(32 * 999, 8), "1000    ");
  EXPECT_EQ(data.substr(32 * 1199, 8), "1200    ");
  EXPECT_EQ(data.substr(32 * 1200, 8), "1200    ");  // the terminator repeats the last
}

}  // namespace
}  // namespace d2g
