// cf2grads products, byte for byte: every CF representation of the same data gives the same
// product, which holds the reports the GrADS documentation lays out.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cf2grads/cf_fixtures.h"

namespace d2g {
namespace {

using testing::convert_cdl;
using testing::ExpectedReport;
using testing::pack_groups;
using testing::read_file;
using testing::TempDir;

// The three stations of the timeSeries fixtures at whole and half days (from 2000-01-01).
std::vector<std::vector<ExpectedReport>> ragged_groups() {
  const ExpectedReport m{"MADRID", 40.5f, -3.5f, 0, {}, {}};
  const ExpectedReport b{"BARCA", 41.25f, 2.0f, 0, {}, {}};
  const ExpectedReport s{"SYDNEY", -33.75f, 151.25f, 0, {}, {}};
  auto with = [](ExpectedReport r, float t, float h) {
    r.surface = {t, h};
    return r;
  };
  return {{with(m, 1.5f, 50), with(b, 10, 60)},
          {},
          {with(m, 2.5f, 51), with(s, 21, 71)},
          {},
          {with(m, 3.5f, 52), with(b, 12, 62)},
          {with(s, 22, 72)},
          {with(s, 23.25f, 73)}};
}

TEST(Cf2grads, EveryRepresentationOfTheSameDataGivesTheSameProduct) {
  struct Family {
    std::vector<std::string> fixtures;
    std::string expected;  // the data file every one of them must give; empty: only equal
  };
  const ExpectedReport a{"ALPHA", 10, 20, 0, {}, {}};
  const ExpectedReport b{"BETA", -5.25f, 100.5f, 0, {}, {}};
  auto profile = [](ExpectedReport r, float ps, std::vector<std::vector<float>> levels) {
    r.surface = {ps};
    r.levels = std::move(levels);
    return r;
  };
  const std::string profiles =
      pack_groups({{profile(a, 1012.5f, {{1000, 300, 2}, {850, 290, 5}, {500, 260, 20}}),
                    profile(b, 1009, {{1000, 295, 1}, {850, 285, 4}, {500, 255, 15}})},
                   {profile(a, 1011, {{1000, 301, 3}, {850, 291, 6}})},
                   {profile(b, 1008.25f, {{1000, 296, 1.5f}, {500, 256, 16}})}});
  const std::vector<Family> families = {
      {{"contiguous", "incomplete", "indexed"}, pack_groups(ragged_groups())},
      {{"orthogonal", "time_station", "orthogonal_plain"}, ""},
      {{"profile_multi", "profile_ragged"}, profiles},
  };
  for (const Family& family : families) {
    std::string data, map;
    for (const std::string& fixture : family.fixtures) {
      TempDir dir;
      const auto run = convert_cdl(dir, fixture, testing::cdl_fixture(fixture));
      ASSERT_EQ(run.status, 0) << fixture << ": " << run.err;
      const std::string got = read_file(dir.file("out/" + fixture + ".dat"));
      const std::string got_map = read_file(dir.file("out/" + fixture + ".dat.map"));
      if (!family.expected.empty()) {
        EXPECT_EQ(got, family.expected) << fixture;
      }
      if (data.empty()) {
        data = got;
        map = got_map;
      }
      EXPECT_EQ(got, data) << fixture << " differs from " << family.fixtures.front();
      EXPECT_EQ(got_map, map) << fixture;
    }
  }
}

TEST(Cf2grads, ProfilesNotCalledSoAndDimensionsOfOneConvertAsTheirData) {
  // The CF conventions' orthogonal time series of profiles has no featureType; a mooring's
  // sensors at fixed depths are often called a timeSeries; a height of one is no further
  // dimension.
  const auto variant = [](const std::string& fixture, const std::string& from,
                          const std::string& to) {
    std::string cdl = testing::cdl_fixture(fixture);
    for (std::size_t at; (at = cdl.find(from)) != std::string::npos;)
      cdl.replace(at, from.size(), to);
    return cdl;
  };
  const auto product = [](const std::string& name, const std::string& cdl) {
    TempDir dir;
    const auto run = convert_cdl(dir, name, cdl, "");
    EXPECT_EQ(run.status, 0) << name << ": " << run.err;
    return std::make_pair(read_file(dir.file("out/" + name + ".dat")), run.out);
  };
  const std::string profiles = product("p", testing::cdl_fixture("profile_orthogonal")).first;
  ASSERT_FALSE(profiles.empty());
  const auto unnamed =
      product("p", variant("profile_orthogonal", "  :featureType = \"timeSeriesProfile\" ;\n", ""));
  EXPECT_EQ(unnamed.first, profiles);
  EXPECT_THAT(unnamed.second, ::testing::HasSubstr("featureType missing, but the data vary along "
                                                   "the vertical coordinate \"pressure\""));
  const auto called_series =
      product("p", variant("profile_orthogonal", "\"timeSeriesProfile\"", "\"timeSeries\""));
  EXPECT_EQ(called_series.first, profiles);

  const std::string series = product("o", testing::cdl_fixture("orthogonal")).first;
  std::string one_height = variant("orthogonal", "(station, time)", "(station, time, height)");
  one_height.replace(one_height.find("  time = 4 ;"), 12, "  time = 4 ;\n  height = 1 ;");
  EXPECT_EQ(product("o", one_height).first, series);
}

TEST(Cf2grads, TheControlFileDescribesTheDataForGrads) {
  TempDir dir;
  ASSERT_EQ(convert_cdl(dir, "contiguous", testing::cdl_fixture("contiguous")).status, 0);
  EXPECT_EQ(read_file(dir.file("out/contiguous.ctl")),
            "dset   ^contiguous.dat\n"
            "dtype  station\n"
            "stnmap ^contiguous.dat.map\n"
            "undef    -999.0\n"
            "title  contiguous\n"
            "options little_endian\n"
            "tdef   7 linear 00Z01jan2000 12hr\n"
            "vars   2\n"
            "temperature 0 99 Air Temperature\n"
            "humidity 0 99 relative_humidity\n"
            "endvars\n"
            "@ temperature String units Celsius\n"
            "@ temperature String long_name Air Temperature\n"
            "@ humidity String units percent\n"
            "@ humidity String standard_name relative_humidity\n");
}

TEST(Cf2grads, BigEndianDataAreTheSameReportsInTheOtherOrder) {
  TempDir dir;
  ASSERT_EQ(convert_cdl(dir, "indexed", testing::cdl_fixture("indexed"),
                        "-q --byte-order big --undef -99.5")
                .status,
            0);
  EXPECT_EQ(read_file(dir.file("out/indexed.dat")), pack_groups(ragged_groups(), true));
  EXPECT_THAT(read_file(dir.file("out/indexed.ctl")),
              ::testing::AllOf(::testing::HasSubstr("options big_endian\n"),
                               ::testing::HasSubstr("undef     -99.5\n")));
}

// One station at 00, 03, 06, 09 and 24 hours, and one whose every value is missing.
std::string irregular_cdl(const std::string& times) {
  return "netcdf irregular {\n"
         "dimensions: station = 2 ; obs = 6 ;\n"
         "variables:\n"
         "  float lat(station) ; lat:units = \"degrees_north\" ;\n"
         "  float lon(station) ; lon:units = \"degrees_east\" ;\n"
         "  int id(station) ; id:cf_role = \"timeseries_id\" ;\n"
         "  int count(station) ; count:sample_dimension = \"obs\" ;\n"
         "  double time(obs) ; time:units = \"hours since 2001-03-01\" ;\n"
         "  float x(obs) ; x:_FillValue = -1.f ;\n"
         "  :featureType = \"timeSeries\" ;\n"
         "data:\n"
         "  lat = 1, 2 ; lon = 3, 4 ; id = 7, 8 ; count = 5, 1 ;\n"
         "  time = " +
         times +
         " ;\n"
         "  x = 10, 11, 12, 13, 14, _ ;\n"
         "}\n";
}

TEST(Cf2grads, IrregularTimesGoToTheirNearestGroupWithTheirOffsets) {
  auto r = [](float t, float x) { return ExpectedReport{"7", 1, 3, t, {x}, {}}; };
  struct Case {
    std::string arguments;
    std::string tdef;
    std::vector<std::vector<ExpectedReport>> groups;
  };
  const std::vector<Case> cases = {
      // A tie at half a step goes to the earlier group.
      {"--step 12hr",
       "tdef   3 linear 00Z01mar2001 12hr\n",
       {{r(0, 10), r(0.25f, 11), r(0.5f, 12)}, {r(-0.25f, 13)}, {r(0, 14)}}},
      // Without a step, the times' greatest common step: every observation in its own group.
      {"",
       "tdef   9 linear 00Z01mar2001 3hr\n",
       {{r(0, 10)}, {r(0, 11)}, {r(0, 12)}, {r(0, 13)}, {}, {}, {}, {}, {r(0, 14)}}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const auto run = convert_cdl(dir, "irregular", irregular_cdl("0, 3, 6, 9, 24, 1"), c.arguments);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(read_file(dir.file("out/irregular.dat")), pack_groups(c.groups)) << c.arguments;
    EXPECT_THAT(read_file(dir.file("out/irregular.ctl")), ::testing::HasSubstr(c.tdef));
    EXPECT_THAT(run.out, ::testing::HasSubstr("1 with every value missing"));
  }
}

TEST(Cf2grads, TimesOffWholeMinutesAreTheMinutesAFloatStandsForOrOffsetsOfAStepGiven) {
  // Hourly times as float days since 2000: 2024-01-01 01:00 is stored 28 s late, which a float
  // there cannot tell apart; in double precision the same 28 s are a step finer than a minute.
  const std::string times = "8766, 8766.0416666667, 8766.0833333333, 8766.125";
  const auto cdl = [&](const char* type) {
    return std::string("netcdf hourly {\ndimensions: time = 4 ;\nvariables:\n  ") + type +
           " time(time) ; time:units = \"days since 2000-01-01\" ;\n"
           "  float lat ; lat:units = \"degrees_north\" ;\n"
           "  float lon ; lon:units = \"degrees_east\" ;\n"
           "  float x(time) ;\n  :featureType = \"timeSeries\" ;\n"
           "data:\n  time = " +
           times + " ;\n  lat = 1 ; lon = 3 ; x = 10, 11, 12, 13 ;\n}\n";
  };
  TempDir dir;
  const auto run = convert_cdl(dir, "hourly", cdl("float"));
  ASSERT_EQ(run.status, 0) << run.err;
  auto r = [](float x) { return ExpectedReport{"1", 1, 3, 0, {x}, {}}; };
  EXPECT_EQ(read_file(dir.file("out/hourly.dat")),
            pack_groups({{r(10)}, {r(11)}, {r(12)}, {r(13)}}));
  EXPECT_THAT(read_file(dir.file("out/hourly.ctl")),
              ::testing::HasSubstr("tdef   4 linear 00Z01jan2024 1hr"));
  TempDir twice;
  std::string doubled = cdl("double");
  doubled.replace(doubled.find("8766.0416666667"), 15, "8766.0419921875");
  const auto refused = convert_cdl(twice, "hourly", doubled);
  EXPECT_EQ(refused.status, 1);
  EXPECT_THAT(refused.err, ::testing::HasSubstr("not a whole number of minutes"));
  EXPECT_THAT(refused.err, ::testing::HasSubstr("--step"));
  // With the step given, that time is an offset from its group: 28.125 s of an hour.
  TempDir stepped;
  const auto grouped = convert_cdl(stepped, "hourly", doubled, "-q --step 1hr");
  ASSERT_EQ(grouped.status, 0) << grouped.err;
  auto late = r(11);
  late.t = 28.125f / 3600;
  EXPECT_EQ(read_file(stepped.file("out/hourly.dat")),
            pack_groups({{r(10)}, {late}, {r(12)}, {r(13)}}));
}

TEST(Cf2grads, IdentifiersGradsCannotUseBecomeNumbersMappedInATable) {
  TempDir dir;
  std::string cdl = testing::cdl_fixture("contiguous");
  const std::string ids = "\"MADRID\", \"BARCA\", \"SYDNEY\"";
  cdl.replace(cdl.find(ids), ids.size(), "\"Madrid, Retiro\", \"barca\", \"Sydney \\\"AU\\\"\"");
  const auto run = convert_cdl(dir, "contiguous", cdl, "");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(read_file(dir.file("out/contiguous.stations.csv")),
            "grads_id,station_id,lat,lon\r\n"
            "1,\"Madrid, Retiro\",40.5,-3.5\r\n"
            "2,barca,41.25,2\r\n"
            "3,\"Sydney \"\"AU\"\"\",-33.75,151.25\r\n");
  EXPECT_THAT(run.out, ::testing::HasSubstr("numbered 1 ... 3"));
  std::string data = read_file(dir.file("out/contiguous.dat"));
  EXPECT_EQ(data.substr(0, 8), "1       ");
  // Ids that differ only in case are one to GrADS.
  TempDir again;
  cdl = testing::cdl_fixture("contiguous");
  cdl.replace(cdl.find(ids), ids.size(), "\"abc\", \"ABC\", \"x\"");
  const auto twin = convert_cdl(again, "contiguous", cdl, "");
  ASSERT_EQ(twin.status, 0) << twin.err;
  EXPECT_THAT(twin.out, ::testing::HasSubstr("\"abc\" and \"ABC\""));
  EXPECT_TRUE(testing::file_exists(again.file("out/contiguous.stations.csv")));
  // Numbers on request, the identifiers kept in the table.
  TempDir numbered;
  const auto asked = convert_cdl(numbered, "contiguous", testing::cdl_fixture("contiguous"),
                                 "--station-ids number");
  ASSERT_EQ(asked.status, 0) << asked.err;
  EXPECT_THAT(read_file(numbered.file("out/contiguous.stations.csv")),
              ::testing::HasSubstr("\r\n3,SYDNEY,-33.75,151.25\r\n"));
  // Usable ids need no table, and a table left by an earlier run goes.
  ASSERT_EQ(convert_cdl(again, "contiguous", testing::cdl_fixture("contiguous")).status, 0);
  EXPECT_FALSE(testing::file_exists(again.file("out/contiguous.stations.csv")));
}

// Two stations, monthly from January 2000 for two years, in one contiguous ragged file.
std::string monthly_cdl() {
  std::string times, values;
  for (int station = 0; station < 2; ++station) {
    for (int m = 0; m < 24; ++m) {
      // Days from 2000-01-01 to the first of each month.
      static const int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31,
                                  31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
      int day = 0;
      for (int i = 0; i < m; ++i) day += kDays[i];
      times += (times.empty() ? "" : ", ") + std::to_string(day);
      values += (values.empty() ? "" : ", ") + std::to_string(station * 100 + m);
    }
  }
  return "netcdf monthly {\n"
         "dimensions: station = 2 ; obs = 48 ;\n"
         "variables:\n"
         "  float lat(station) ; lat:units = \"degrees_north\" ;\n"
         "  float lon(station) ; lon:units = \"degrees_east\" ;\n"
         "  string id(station) ; id:cf_role = \"timeseries_id\" ;\n"
         "  int count(station) ; count:sample_dimension = \"obs\" ;\n"
         "  double time(obs) ; time:units = \"days since 2000-01-01\" ;\n"
         "  float pr(obs) ; pr:units = \"mm\" ;\n"
         "  :featureType = \"timeSeries\" ;\n"
         "data:\n"
         "  lat = 1, 2 ; lon = 3, 4 ; id = \"A\", \"B\" ; count = 24, 24 ;\n"
         "  time = " +
         times + " ;\n  pr = " + values + " ;\n}\n";
}

TEST(Cf2grads, SplitProductsHoldOneFilePerPeriodAndOneMapThatStnmapWouldWrite) {
  TempDir dir;
  auto run = convert_cdl(dir, "monthly", monthly_cdl(), "-q --split year");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string ctl = read_file(dir.file("out/monthly.ctl"));
  EXPECT_THAT(ctl, ::testing::HasSubstr("dset   ^monthly_%y4.dat\n"));
  EXPECT_THAT(ctl, ::testing::HasSubstr("options little_endian template\n"));
  EXPECT_THAT(ctl, ::testing::HasSubstr("tdef   24 linear 00Z01jan2000 1mo\n"));
  EXPECT_THAT(testing::list_dir(dir.file("out")),
              ::testing::ElementsAre("monthly.ctl", "monthly.dat.map", "monthly_2000.dat",
                                     "monthly_2001.dat"));
  // Each year's file holds its twelve groups; the map's offsets start again in each.
  auto r = [](const char* id, float lat, float lon, float v) {
    return ExpectedReport{id, lat, lon, 0, {v}, {}};
  };
  std::vector<std::vector<ExpectedReport>> year2001;
  for (int m = 12; m < 24; ++m) year2001.push_back({r("A", 1, 3, m), r("B", 2, 4, 100 + m)});
  EXPECT_EQ(read_file(dir.file("out/monthly_2001.dat")), pack_groups(year2001));
  const std::string ours = read_file(dir.file("out/monthly.dat.map"));
  ASSERT_EQ(testing::run_command("cd " + testing::shell_quote(dir.file("out")) +
                                 " && stnmap -q -i monthly.ctl"),
            0);
  EXPECT_EQ(read_file(dir.file("out/monthly.dat.map")), ours);
  // A run without --split replaces the yearly files by one.
  ASSERT_EQ(convert_cdl(dir, "monthly", monthly_cdl()).status, 0);
  EXPECT_THAT(testing::list_dir(dir.file("out")),
              ::testing::ElementsAre("monthly.ctl", "monthly.dat", "monthly.dat.map"));
}

TEST(Cf2grads, ASingleStationBesideAScalarBaseTimeKeepsOnlyItsData) {
  // As ARM writes its station files: a scalar base_time, time_offset and time along the time
  // dimension, units with an offset without a sign, no identifier.
  const std::string cdl =
      "netcdf arm {\n"
      "dimensions: time = 3 ;\n"
      "variables:\n"
      "  int base_time ; base_time:units = \"seconds since 1970-1-1 0:00:00 0:00\" ;\n"
      "  double time_offset(time) ; time_offset:units = \"seconds since 2020-01-01 00:00:00 0:00\" "
      ";\n"
      "  double time(time) ; time:units = \"seconds since 2020-01-01 00:00:00 0:00\" ;\n"
      "  float temp_mean(time) ; temp_mean:units = \"degC\" ;\n"
      "  float lat ; lat:standard_name = \"latitude\" ; lat:units = \"degree_N\" ;\n"
      "  float lon ; lon:standard_name = \"longitude\" ; lon:units = \"degree_E\" ;\n"
      "data:\n"
      "  base_time = 1577836800 ; time_offset = 0, 60, 180 ; time = 0, 60, 180 ;\n"
      "  temp_mean = 1, 2, 3 ; lat = 36.5 ; lon = -97.5 ;\n"
      "}\n";
  TempDir dir;
  const auto run = convert_cdl(dir, "arm", cdl);
  ASSERT_EQ(run.status, 0) << run.err;
  auto r = [](float v) { return ExpectedReport{"1", 36.5f, -97.5f, 0, {v}, {}}; };
  EXPECT_EQ(read_file(dir.file("out/arm.dat")), pack_groups({{r(1)}, {r(2)}, {}, {r(3)}}));
  EXPECT_THAT(read_file(dir.file("out/arm.ctl")),
              ::testing::HasSubstr("tdef   4 linear 00Z01jan2020 1mn\nvars   1\n"));
}

TEST(Cf2grads, VariablesGradsCannotHoldAreLeftOutWithANote) {
  // A spectrum along a further dimension and present-weather texts, beside the usual data.
  std::string cdl = testing::cdl_fixture("orthogonal");
  const auto insert_before = [&](const std::string& at, const std::string& text) {
    cdl.insert(cdl.find(at), text);
  };
  insert_before("  name_strlen = 8 ;", "  band = 2 ;\n");
  insert_before("  double time(time) ;",
                "  float spectrum(station, time, band) ;\n  string weather(station, time) ;\n");
  TempDir dir;
  const auto run = convert_cdl(dir, "orthogonal", cdl, "");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, ::testing::HasSubstr("variable \"spectrum\" has dimensions (station, time, "
                                            "band), beyond the station feature's: left out"));
  EXPECT_THAT(run.out, ::testing::HasSubstr("variable \"weather\" holds text, which GrADS "
                                            "station data cannot: left out"));
  EXPECT_THAT(read_file(dir.file("out/orthogonal.ctl")),
              ::testing::HasSubstr("vars   2\ntemperature 0 99 Air Temperature\nhumidity 0 99"));
}

TEST(Cf2grads, ADriftingMooringKeepsItsNominalPosition) {
  // Positions along the observations beside the station's own: the station is reported where
  // it stands, so that it stays one station in GrADS.
  TempDir dir;
  const auto run = convert_cdl(dir, "drifting", testing::cdl_fixture("drifting"));
  ASSERT_EQ(run.status, 0) << run.err;
  auto r = [](float humidity, float temp) {
    return ExpectedReport{"MOORING", 45, -30, 0, {humidity, temp}, {}};
  };
  EXPECT_EQ(read_file(dir.file("out/drifting.dat")),
            pack_groups({{r(1, 10)}, {r(2, 11)}, {r(-999, 12)}, {r(4, 13)}}));
}

TEST(Cf2grads, CheckReadsAndPlansEverythingAndWritesNothing) {
  TempDir dir;
  const auto run =
      convert_cdl(dir, "profile_ragged", testing::cdl_fixture("profile_ragged"), "--check");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(testing::list_dir(dir.file("out")).empty());
  EXPECT_THAT(run.out, ::testing::HasSubstr("temperature 1 99 Air Temperature"));
  EXPECT_THAT(run.out, ::testing::HasSubstr("nothing written"));
}

TEST(Cf2grads, SeveralFilesOfTheSameStationsAreOneDataSet) {
  // The contiguous fixture's first two days in one file and the rest in another.
  TempDir dir;
  std::string early = testing::cdl_fixture("contiguous");
  std::string late = early;
  auto set = [](std::string& cdl, const std::string& from, const std::string& to) {
    cdl.replace(cdl.find(from), from.size(), to);
  };
  set(early, "obs = 8", "obs = 5");
  set(early, "row_size = 3, 2, 3", "row_size = 2, 1, 2");
  set(early, "time = 0, 86400, 172800, 0, 172800, 86400, 216000, 259200",
      "time = 0, 86400, 0, 86400, 216000");
  set(early, "temperature = 1.5, 2.5, 3.5, 10, 12, 21, 22, 23.25",
      "temperature = 1.5, 2.5, 10, 21, 22");
  set(early, "humidity = 50, 51, 52, 60, 62, 71, 72, 73", "humidity = 50, 51, 60, 71, 72");
  set(late, "obs = 8", "obs = 3");
  set(late, "row_size = 3, 2, 3", "row_size = 1, 1, 1");
  set(late, "time = 0, 86400, 172800, 0, 172800, 86400, 216000, 259200",
      "time = 172800, 172800, 259200");
  set(late, "temperature = 1.5, 2.5, 3.5, 10, 12, 21, 22, 23.25", "temperature = 3.5, 12, 23.25");
  set(late, "humidity = 50, 51, 52, 60, 62, 71, 72, 73", "humidity = 52, 62, 73");
  testing::ncgen(early, dir.file("early.nc"), "nc4");
  testing::ncgen(late, dir.file("late.nc"), "nc4");
  testing::run_command("mkdir " + testing::shell_quote(dir.file("out")));
  const auto run = testing::run_program(testing::cf2grads(), dir.path(),
                                        "-q early.nc late.nc -o out --name both");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(read_file(dir.file("out/both.dat")), pack_groups(ragged_groups()));
}

}  // namespace
}  // namespace d2g
