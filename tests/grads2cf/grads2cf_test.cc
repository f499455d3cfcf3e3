// grads2cf: GrADS station data sets written here by hand, converted and read back value by value
// through the netCDF library; the refusals; and the round trips through cf2grads and from
// drought2grads's products.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netcdf.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>

#include "cf2grads/cf_fixtures.h"

namespace d2g {
namespace {

using testing::ExpectedReport;
using testing::pack_groups;
using testing::read_file;
using testing::TempDir;
using testing::write_file;

std::string text_attribute(const std::string& path, const std::string& var, const char* name) {
  int ncid, varid = NC_GLOBAL;
  if (nc_open(path.c_str(), NC_NOWRITE, &ncid) != NC_NOERR) return "?";
  if (!var.empty()) nc_inq_varid(ncid, var.c_str(), &varid);
  std::size_t length = 0;
  std::string text;
  if (nc_inq_attlen(ncid, varid, name, &length) == NC_NOERR) {
    text.resize(length);
    nc_get_att_text(ncid, varid, name, text.data());
  }
  nc_close(ncid);
  return text;
}

std::vector<std::string> strings(const std::string& path, const std::string& var) {
  int ncid, varid, dim;
  std::size_t n = 0;
  std::vector<std::string> out;
  if (nc_open(path.c_str(), NC_NOWRITE, &ncid) != NC_NOERR) return out;
  nc_inq_varid(ncid, var.c_str(), &varid);
  nc_inq_vardimid(ncid, varid, &dim);
  nc_inq_dimlen(ncid, dim, &n);
  std::vector<char*> texts(n);
  nc_get_var_string(ncid, varid, texts.data());
  for (char* t : texts) out.emplace_back(t);
  nc_free_string(n, texts.data());
  nc_close(ncid);
  return out;
}

std::vector<double> doubles(const std::string& path, const std::string& var) {
  int ncid, varid;
  std::vector<double> out;
  if (nc_open(path.c_str(), NC_NOWRITE, &ncid) != NC_NOERR) return out;
  nc_inq_varid(ncid, var.c_str(), &varid);
  int ndims;
  nc_inq_varndims(ncid, varid, &ndims);
  std::vector<int> dims(static_cast<std::size_t>(ndims));
  nc_inq_vardimid(ncid, varid, dims.data());
  std::size_t size = 1;
  for (int d : dims) {
    std::size_t n;
    nc_inq_dimlen(ncid, d, &n);
    size *= n;
  }
  out.resize(size);
  nc_get_var_double(ncid, varid, out.data());
  nc_close(ncid);
  return out;
}

std::string control(const std::string& dset, const std::string& options, int ntime,
                    const std::string& tdef_rest, const std::string& vars) {
  return "* written by hand\ndset ^" + dset + "\ndtype station\nstnmap ^x.map\nundef -999.0\n" +
         (options.empty() ? "" : "options " + options + "\n") + "title hand made\ntdef " +
         std::to_string(ntime) + " linear " + tdef_rest + "\n" + vars + "endvars\n";
}

const std::string kTwoSurface = "vars 2\nps 0 99 surface pressure\nts 0 99 temperature\n";
const std::string kAttributes = "@ ps String units hPa\n@ ts String units K\n";

ExpectedReport report(const char* id, float lat, float lon, float t, std::vector<float> surface,
                      std::vector<std::vector<float>> levels = {}) {
  return ExpectedReport{id, lat, lon, t, std::move(surface), std::move(levels)};
}

// Converts x.ctl in `dir` into x.nc in `layout`; false, the failure reported, where it fails.
bool convert_in_layout(const TempDir& dir, const char* layout) {
  const auto run = testing::run_program(testing::grads2cf(), dir.path(),
                                        std::string("-q x.ctl --layout ") + layout);
  EXPECT_EQ(run.status, 0) << run.err;
  return run.status == 0;
}

// The same station data as a Fortran program writes it unformatted: each header and each
// report's values one record, framed by its length.
std::string sequential(const std::vector<std::vector<ExpectedReport>>& groups, bool big) {
  std::string out;
  auto record = [&](const std::string& bytes) {
    std::string marker;
    testing::put32(marker, static_cast<uint32_t>(bytes.size()), big);
    out += marker + bytes + marker;
  };
  for (const auto& group : groups) {
    std::string packed = pack_groups({group}, big);
    std::size_t at = 0;
    for (const ExpectedReport& r : group) {
      const std::size_t values =
          r.surface.size() + r.levels.size() * (r.levels.empty() ? 0 : r.levels[0].size());
      record(packed.substr(at, 28));
      record(packed.substr(at + 28, 4 * values));
      at += 28 + 4 * values;
    }
    record(packed.substr(at, 28));
  }
  return out;
}

TEST(Grads2cf, StationDataSetsConvertValueByValue) {
  const auto a = [](float ps, float ts, float t = 0) { return report("A", 10, 20, t, {ps, ts}); };
  const auto b = [](float ps, float ts) { return report("B", -5, 100, 0, {ps, ts}); };
  // Three groups, the second empty; station B's first temperature missing (and a near-marker
  // value GrADS takes as missing too).
  const std::vector<std::vector<ExpectedReport>> groups = {
      {a(1000, 280), b(990, -999.0f)}, {}, {a(1001, 281), b(991, -999.001f)}};
  struct Case {
    std::string what;
    std::string options;
    std::string data;
  };
  const std::vector<Case> cases = {
      {"little-endian stream", "", pack_groups(groups)},
      {"big-endian stream", "big_endian", pack_groups(groups, true)},
      {"big-endian sequential", "big_endian sequential", sequential(groups, true)},
      {"little-endian sequential", "sequential", sequential(groups, false)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    write_file(dir.file("x.dat"), c.data);
    write_file(dir.file("x.ctl"),
               control("x.dat", c.options, 3, "00Z01jan2000 1dy", kTwoSurface) + kAttributes);
    const auto run = testing::run_program(testing::grads2cf(), dir.path(), "-q x.ctl");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string nc = dir.file("x.nc");
    EXPECT_EQ(text_attribute(nc, "", "featureType"), "timeSeries");
    EXPECT_EQ(strings(nc, "station_id"), (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(doubles(nc, "lat"), (std::vector<double>{10, -5}));
    EXPECT_EQ(doubles(nc, "time"), (std::vector<double>{0, 1, 2}));
    EXPECT_EQ(text_attribute(nc, "time", "units"), "days since 2000-01-01 00:00:00");
    EXPECT_EQ(doubles(nc, "ps"), (std::vector<double>{1000, -999, 1001, 990, -999, 991}));
    EXPECT_EQ(doubles(nc, "ts"), (std::vector<double>{280, -999, 281, -999, -999, -999}));
    EXPECT_EQ(text_attribute(nc, "ts", "units"), "K");
    EXPECT_EQ(text_attribute(nc, "ts", "long_name"), "temperature");
  }
}

TEST(Grads2cf, StationsGoInTheOrderTheGroupsListThem) {
  // B reports first, A joins later but is listed before B; C is listed after A and before B
  // once. Where groups disagree (D and E swap), first appearance decides.
  const auto r = [](const char* id, float value) { return report(id, 0, 0, 0, {value, 0}); };
  const std::vector<std::vector<ExpectedReport>> groups = {
      {r("B", 1), r("D", 2), r("E", 3)},
      {r("A", 4), r("B", 5), r("E", 6), r("D", 7)},
      {r("A", 8), r("C", 9), r("B", 10)}};
  TempDir dir;
  write_file(dir.file("x.dat"), pack_groups(groups));
  write_file(dir.file("x.ctl"), control("x.dat", "", 3, "00Z01jan2000 1dy", kTwoSurface));
  for (const char* layout : {"orthogonal", "ragged"}) {
    SCOPED_TRACE(layout);
    ASSERT_TRUE(convert_in_layout(dir, layout));
    const std::string nc = dir.file("x.nc");
    EXPECT_EQ(strings(nc, "station_id"), (std::vector<std::string>{"A", "C", "B", "D", "E"}));
    const std::vector<double> ps = doubles(nc, "ps");
    if (std::string(layout) == "orthogonal") {
      EXPECT_EQ(ps,
                (std::vector<double>{-999, 4, 8, -999, -999, 9, 1, 5, 10, 2, 7, -999, 3, 6, -999}));
    } else {
      EXPECT_EQ(doubles(nc, "row_size"), (std::vector<double>{2, 1, 3, 2, 2}));
      EXPECT_EQ(ps, (std::vector<double>{4, 8, 9, 1, 5, 10, 2, 7, 3, 6}));
    }
  }
}

TEST(Grads2cf, AutoTakesTheRaggedLayoutWhereAStationTimeTableWouldBeMostlyEmpty) {
  // 70,000 stations, each reporting once, 70 a group: a 70,000 x 1,000 table (280 MB) would be
  // 0.1% full. Asked for, the orthogonal layout is still what it would write.
  constexpr int kGroups = 1000, kPerGroup = 70;
  std::vector<std::vector<ExpectedReport>> groups(kGroups);
  for (int g = 0; g < kGroups; ++g) {
    for (int i = 0; i < kPerGroup; ++i) {
      const int s = g * kPerGroup + i;
      groups[g].push_back(
          report(std::to_string(s).c_str(), float(s % 90), float(s / 90 % 360), 0, {float(s)}));
    }
  }
  TempDir dir;
  write_file(dir.file("x.dat"), pack_groups(groups));
  write_file(dir.file("x.ctl"),
             control("x.dat", "", kGroups, "00Z01jan2000 1hr", "vars 1\nps 0 99 p\n"));
  auto run = testing::run_program(testing::grads2cf(), dir.path(), "x.ctl --check");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, ::testing::HasSubstr("contiguous ragged, as a station x time table"));
  run = testing::run_program(testing::grads2cf(), dir.path(), "x.ctl");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, ::testing::HasSubstr("% full"));
  const std::string nc = dir.file("x.nc");
  EXPECT_EQ(doubles(nc, "row_size"), std::vector<double>(kGroups * kPerGroup, 1));
  EXPECT_EQ(doubles(nc, "ps")[69999], 69999);
  EXPECT_EQ(doubles(nc, "time")[69999], 999 * 60);
  EXPECT_EQ(testing::snapshot(dir.path()).size(), 3u);  // no temporary left behind
  run = testing::run_program(testing::grads2cf(), dir.path(), "x.ctl --layout orthogonal --check");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, ::testing::HasSubstr("dimensions: station = 70000, time = 1000"));
}

TEST(Grads2cf, DataFilesOfManyBuffersConvertWhole) {
  // 400 stations x 200 groups x 3 values, about 3.3 MB: reports straddle the reader's buffer,
  // blocks of groups and tiles of stations. Odd groups list the stations backwards.
  constexpr int kStations = 400, kGroups = 200;
  std::vector<std::vector<ExpectedReport>> groups(kGroups);
  for (int g = 0; g < kGroups; ++g) {
    for (int i = 0; i < kStations; ++i) {
      const int s = g % 2 ? kStations - 1 - i : i;
      groups[g].push_back(report(("S" + std::to_string(s)).c_str(), float(s) / 8, 10, 0,
                                 {float(s * 1000 + g), float(-g), float(s)}));
    }
  }
  const std::string vars = "vars 3\nps 0 99 p\nts 0 99 t\nrh 0 99 h\n";
  for (const bool sequential_records : {false, true}) {
    SCOPED_TRACE(sequential_records ? "sequential" : "stream");
    TempDir dir;
    write_file(dir.file("x.dat"),
               sequential_records ? sequential(groups, true) : pack_groups(groups, true));
    write_file(dir.file("x.ctl"),
               control("x.dat", sequential_records ? "big_endian sequential" : "big_endian",
                       kGroups, "00Z01jan2000 1dy", vars));
    for (const char* layout : {"orthogonal", "ragged"}) {
      SCOPED_TRACE(layout);
      ASSERT_TRUE(convert_in_layout(dir, layout));
      // Station s's series is row s in both layouts: every station reports in every group.
      const std::string nc = dir.file("x.nc");
      const std::vector<double> ps = doubles(nc, "ps"), ts = doubles(nc, "ts");
      ASSERT_EQ(ps.size(), std::size_t{kStations} * kGroups);
      ASSERT_EQ(ts.size(), ps.size());
      int wrong = 0;
      for (int s = 0; s < kStations; ++s) {
        for (int g = 0; g < kGroups; ++g) {
          const std::size_t at = std::size_t(s) * kGroups + std::size_t(g);
          wrong += ps[at] != s * 1000 + g || ts[at] != -g;
        }
      }
      EXPECT_EQ(wrong, 0);
      EXPECT_EQ(doubles(nc, "rh")[std::size_t{399} * kGroups + 7], 399);
      EXPECT_EQ(doubles(nc, "lat")[399], 399.0 / 8);
    }
  }
}

TEST(Grads2cf, SeveralReportsPerGroupAndLevelsTakeTheRaggedLayouts) {
  TempDir dir;
  // Station A twice in the first group (at its time and six hours on), B once, then A again.
  write_file(dir.file("x.dat"),
             pack_groups({{report("A", 10, 20, 0, {1, 2}), report("A", 10, 20, 0.25f, {3, 4}),
                           report("B", -5, 100, 0, {5, 6})},
                          {report("A", 10, 20, -0.5f, {7, 8})}}));
  write_file(dir.file("x.ctl"), control("x.dat", "", 2, "00Z01jan2000 1dy", kTwoSurface));
  auto run = testing::run_program(testing::grads2cf(), dir.path(), "-q x.ctl");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string nc = dir.file("x.nc");
  EXPECT_EQ(doubles(nc, "row_size"), (std::vector<double>{3, 1}));
  EXPECT_EQ(doubles(nc, "time"), (std::vector<double>{0, 0.25, 0.5, 0}));
  EXPECT_EQ(doubles(nc, "ts"), (std::vector<double>{2, 4, 8, 6}));
  EXPECT_EQ(text_attribute(nc, "row_size", "sample_dimension"), "obs");
  // --check says what a run would write, and writes nothing.
  TempDir checked;
  write_file(checked.file("x.dat"), read_file(dir.file("x.dat")));
  write_file(checked.file("x.ctl"), read_file(dir.file("x.ctl")));
  run = testing::run_program(testing::grads2cf(), checked.path(), "x.ctl --check");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.out, ::testing::HasSubstr("dimensions: station = 2, obs = 4"));
  EXPECT_THAT(run.out, ::testing::HasSubstr("variables: station_id lat lon time ps ts"));
  EXPECT_FALSE(testing::file_exists(checked.file("x.nc")));
  // Asked for the orthogonal layout, which cannot hold them.
  run = testing::run_program(testing::grads2cf(), dir.path(), "-q x.ctl --layout orthogonal");
  EXPECT_EQ(run.status, 1);
  EXPECT_THAT(run.err, ::testing::HasSubstr("--layout ragged"));

  // Level-dependent data: stations indexed, profiles contiguous; a profile without surface.
  TempDir levels;
  write_file(levels.file("p.dat"),
             pack_groups({{report("A", 10, 20, 0, {1012}, {{1000, 300}, {850, 290}}),
                           report("B", -5, 100, 0, {}, {{500, 255}})},
                          {report("A", 10, 20, 0, {1011}, {})}}));
  write_file(levels.file("p.ctl"), control("p.dat", "", 2, "00Z01jul2010 6hr",
                                           "vars 2\nps 0 99 surface pressure\nt 1 99 temp\n"));
  run = testing::run_program(testing::grads2cf(), levels.path(), "-q p.ctl");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string pnc = levels.file("p.nc");
  EXPECT_EQ(text_attribute(pnc, "", "featureType"), "timeSeriesProfile");
  EXPECT_EQ(doubles(pnc, "station_index"), (std::vector<double>{0, 1, 0}));
  EXPECT_EQ(doubles(pnc, "row_size"), (std::vector<double>{2, 1, 0}));
  EXPECT_EQ(doubles(pnc, "time"), (std::vector<double>{0, 0, 360}));
  EXPECT_EQ(doubles(pnc, "lev"), (std::vector<double>{1000, 850, 500}));
  EXPECT_EQ(doubles(pnc, "t"), (std::vector<double>{300, 290, 255}));
  EXPECT_EQ(doubles(pnc, "ps"), (std::vector<double>{1012, -999, 1011}));
}

TEST(Grads2cf, StationsMetLateAndRepeatsFoundLateStillConvertWhole) {
  // Seventy daily groups, more than the program holds at once: A every day, C from day 67 on;
  // in the second data set A reports twice on day 69, which only the ragged layout holds.
  std::vector<std::vector<ExpectedReport>> groups(70);
  for (int g = 0; g < 70; ++g) {
    groups[g].push_back(report("A", 10, 20, 0, {float(g), 1}));
    if (g >= 66) groups[g].push_back(report("C", 30, 40, 0, {float(100 + g), 2}));
  }
  std::vector<std::vector<ExpectedReport>> repeated = groups;
  repeated[68].push_back(report("A", 10, 20, 0.5f, {-1, -1}));
  TempDir dir;
  write_file(dir.file("late.dat"), pack_groups(groups));
  write_file(dir.file("late.ctl"), control("late.dat", "", 70, "00Z01jan2000 1dy", kTwoSurface));
  write_file(dir.file("twice.dat"), pack_groups(repeated));
  write_file(dir.file("twice.ctl"), control("twice.dat", "", 70, "00Z01jan2000 1dy", kTwoSurface));

  auto run = testing::run_program(testing::grads2cf(), dir.path(), "-q late.ctl");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string nc = dir.file("late.nc");
  EXPECT_EQ(strings(nc, "station_id"), (std::vector<std::string>{"A", "C"}));
  const std::vector<double> ps = doubles(nc, "ps");
  ASSERT_EQ(ps.size(), 140u);
  for (int g = 0; g < 70; ++g) {
    EXPECT_EQ(ps[g], g) << g;
    EXPECT_EQ(ps[70 + g], g >= 66 ? 100 + g : -999) << g;
  }

  // The file it replaces keeps its permission bits, though the orthogonal try is given up and
  // the file written anew.
  const std::string rnc = dir.file("twice.nc");
  write_file(rnc, "an older conversion");
  ASSERT_EQ(::chmod(rnc.c_str(), 0640), 0);
  run = testing::run_program(testing::grads2cf(), dir.path(), "-q twice.ctl");
  ASSERT_EQ(run.status, 0) << run.err;
  struct stat replaced {};
  ASSERT_EQ(::stat(rnc.c_str(), &replaced), 0);
  EXPECT_EQ(replaced.st_mode & 07777, 0640u);
  EXPECT_EQ(doubles(rnc, "row_size"), (std::vector<double>{71, 4}));
  const std::vector<double> time = doubles(rnc, "time");
  ASSERT_EQ(time.size(), 75u);
  EXPECT_EQ(time[68], 68);
  EXPECT_EQ(time[69], 68.5);
  EXPECT_EQ(doubles(rnc, "ps")[69], -1);
  // Refused once the repeat is met, with the earlier result left as it was.
  const testing::DirSnapshot before = testing::snapshot(dir.path());
  run = testing::run_program(testing::grads2cf(), dir.path(), "-q twice.ctl --layout orthogonal");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(testing::snapshot(dir.path()), before);
}

TEST(Grads2cf, TemplatesAndTheNoLeapCalendarKeepTheirTimes) {
  TempDir dir;
  // Half-yearly groups in yearly files, the second year's file missing: its groups are empty.
  write_file(dir.file("m_2001.dat"),
             pack_groups({{report("A", 1, 2, 0, {1, 2})}, {report("A", 1, 2, 0, {3, 4})}}));
  write_file(dir.file("x.ctl"),
             control("m_%y4.dat", "template 365_day_calendar", 4, "00Z01jan2001 6mo", kTwoSurface));
  const auto run = testing::run_program(testing::grads2cf(), dir.path(), "x.ctl");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string nc = dir.file("x.nc");
  EXPECT_EQ(text_attribute(nc, "time", "calendar"), "noleap");
  // Days of 365-day years: July 1st is day 181.
  EXPECT_EQ(doubles(nc, "time"), (std::vector<double>{0, 181, 365, 546}));
  EXPECT_EQ(doubles(nc, "ps"), (std::vector<double>{1, 3, -999, -999}));
  EXPECT_THAT(run.out,
              ::testing::HasSubstr(
                  "read      2 reports of 1 station (1 template file missing: empty groups)"));
}

TEST(Grads2cf, WhatCannotBeReadIsRefusedNamingTheFileTheGroupAndTheByte) {
  const std::string good =
      pack_groups({{report("A", 1, 2, 0, {1, 2})}, {report("A", 1, 2, 0, {3, 4})}});
  std::string bad_levels = good;
  bad_levels[20] = 7;  // 7 levels of variables there are not
  std::string bad_flag = good;
  bad_flag[24] = 2;
  struct Case {
    std::string what;
    std::string data;
    std::string ctl;
    std::vector<std::string> message;
  };
  const std::string ctl = control("x.dat", "", 2, "00Z01jan2000 1dy", kTwoSurface);
  const std::vector<Case> cases = {
      {"cut short",
       good.substr(0, good.size() - 10),
       ctl,
       {"x.dat", "time group 2", "byte 100", "ends inside a report header (18 of 28 bytes)"}},
      {"impossible level count", bad_levels, ctl, {"x.dat", "time group 1", "byte 0"}},
      {"impossible flag", bad_flag, ctl, {"x.dat", "time group 1", "surface flag is 2"}},
      {"no linear tdef",
       good,
       control("x.dat", "", 2, "00Z01jan2000 1dy", kTwoSurface)
           .replace(ctl.find("linear"), 6, "levels"),
       {"x.ctl", "line 7", "linear"}},
      {"a fractional step",
       good,
       control("x.dat", "", 2, "00Z01jan2000 0.5dy", kTwoSurface),
       {"x.ctl", "tdef"}},
      {"not station data",
       good,
       "dset ^x.dat\ndtype grib\nundef -9\ntdef 1 linear jan2000 1mo\nvars 1\na 0 99 a\nendvars\n",
       {"x.ctl", "not a station data set"}},
      {"a short template file",
       "",
       control("t_%y4.dat", "template", 3, "00Z29dec2001 1dy", kTwoSurface),
       {"t_2001.dat", "time group 3", "byte 128"}},
      {"a missing data file",
       "",
       ctl.substr(0, 0) + control("y.dat", "", 2, "00Z01jan2000 1dy", kTwoSurface),
       {"y.dat", "cannot be opened"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    if (!c.data.empty()) write_file(dir.file("x.dat"), c.data);
    write_file(dir.file("t_2001.dat"), good);
    write_file(dir.file("x.ctl"), c.ctl);
    const auto run = testing::run_program(testing::grads2cf(), dir.path(), "-q x.ctl");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_THAT(run.err, ::testing::StartsWith("grads2cf: error: "));
    for (const std::string& part : c.message) EXPECT_THAT(run.err, ::testing::HasSubstr(part));
    EXPECT_FALSE(testing::file_exists(dir.file("x.nc")));
  }
}

// Stations that start reporting late but come first in the file: groups list them before
// stations that appeared earlier.
const char* const kLateFirst = R"(netcdf late_first {
dimensions:
  station = 3 ;
  time = 4 ;
variables:
  float lon(station) ;
    lon:units = "degrees_east" ;
  float lat(station) ;
    lat:units = "degrees_north" ;
  string station_id(station) ;
    station_id:cf_role = "timeseries_id" ;
  double time(time) ;
    time:units = "days since 2000-01-01" ;
  float t(station, time) ;
    t:_FillValue = -999.f ;
    t:coordinates = "time lat lon station_id" ;
// global attributes:
  :featureType = "timeSeries" ;
data:
  lon = 1, 2, 3 ;
  lat = 10, 20, 30 ;
  station_id = "LATE", "MIDDLE", "EARLY" ;
  time = 0, 1, 2, 3 ;
  t = _, _, 1, 2,   _, 3, _, 4,   5, 6, 7, 8 ;
}
)";

TEST(Grads2cf, Cf2gradsProductsComeBackAndGoAgainToTheSameBytes) {
  for (const std::string fixture :
       {"contiguous", "orthogonal", "profile_ragged", "single", "late_first"}) {
    SCOPED_TRACE(fixture);
    TempDir dir;
    const std::string cdl = fixture == "late_first" ? kLateFirst : testing::cdl_fixture(fixture);
    ASSERT_EQ(testing::convert_cdl(dir, fixture, cdl).status, 0);
    for (const char* layout : {"auto", "ragged"}) {
      const auto back = testing::run_program(
          testing::grads2cf(), dir.path(),
          std::string("-q out/") + fixture + ".ctl -o back.nc --layout " + layout);
      ASSERT_EQ(back.status, 0) << back.err;
      if (fixture == "late_first") {
        EXPECT_EQ(strings(dir.file("back.nc"), "station_id"),
                  (std::vector<std::string>{"LATE", "MIDDLE", "EARLY"}));
      }
      testing::run_command("mkdir -p " + testing::shell_quote(dir.file("again")));
      const auto again = testing::run_program(testing::cf2grads(), dir.path(),
                                              "-q back.nc -o again --name " + fixture);
      ASSERT_EQ(again.status, 0) << again.err;
      EXPECT_EQ(read_file(dir.file("again/" + fixture + ".dat")),
                read_file(dir.file("out/" + fixture + ".dat")))
          << layout;
    }
  }
}

TEST(Grads2cf, Drought2gradsProductsComeBackAsTheirInputs) {
  TempDir dir;
  constexpr int kStations = 7;
  testing::generate_sample(dir.path(), kStations, 4, 3);
  ASSERT_EQ(testing::run_converter(dir.path(), "-q --stations SPI_Stn.nc").status, 0);
  const auto run = testing::run_program(testing::grads2cf(), dir.path(), "-q Num_Dr_Mon.ctl");
  ASSERT_EQ(run.status, 0) << run.err;
  const testing::NcValues input = testing::read_nc(dir.file("Num_Drou_Mon_Stn.nc"), "N_Drou_mon");
  const std::vector<double> back = doubles(dir.file("Num_Dr_Mon.nc"), "dr_mon");
  ASSERT_EQ(back.size(), input.values.size());
  const bool station_first = input.shape[0] == kStations;
  const std::size_t ntime = input.values.size() / kStations;
  for (std::size_t s = 0; s < kStations; ++s) {
    for (std::size_t k = 0; k < ntime; ++k) {
      const float in = input.values[station_first ? s * ntime + k : k * kStations + s];
      const float out = static_cast<float>(back[s * ntime + k]);
      if (std::isnan(in) || in == -999.0f) {
        EXPECT_EQ(out, -999.0f) << s << " " << k;
      } else {
        uint32_t a, b;
        std::memcpy(&a, &in, 4);
        std::memcpy(&b, &out, 4);
        EXPECT_EQ(a, b) << s << " " << k;
      }
    }
  }
}

}  // namespace
}  // namespace d2g
