// The reference for grads2cf is GrADS itself: every report GrADS prints of a station data set,
// with its time, identifier, level and value, is in the CF file grads2cf makes of it, read here
// through the netCDF library alone, and nothing else is.
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <sstream>

#include "cf2grads/cf_fixtures.h"

namespace d2g {
namespace {

using testing::ExpectedReport;
using testing::TempDir;

class NcFile {
 public:
  explicit NcFile(const std::string& path) {
    if (nc_open(path.c_str(), NC_NOWRITE, &id_) != NC_NOERR) id_ = -1;
  }
  ~NcFile() {
    if (id_ >= 0) nc_close(id_);
  }
  NcFile(const NcFile&) = delete;
  NcFile& operator=(const NcFile&) = delete;

  bool ok() const { return id_ >= 0; }
  bool has(const std::string& var) const {
    int varid;
    return nc_inq_varid(id_, var.c_str(), &varid) == NC_NOERR;
  }
  template <typename T>
  std::vector<T> values(const std::string& var) const {
    const int varid = var_id(var);
    int ndims = 0;
    nc_inq_varndims(id_, varid, &ndims);
    std::vector<int> dims(static_cast<std::size_t>(ndims));
    nc_inq_vardimid(id_, varid, dims.data());
    std::size_t size = 1;
    for (int d : dims) {
      std::size_t n = 0;
      nc_inq_dimlen(id_, d, &n);
      size *= n;
    }
    std::vector<T> out(size);
    if constexpr (std::is_same_v<T, double>) {
      nc_get_var_double(id_, varid, out.data());
    } else if constexpr (std::is_same_v<T, float>) {
      nc_get_var_float(id_, varid, out.data());
    } else {
      nc_get_var_int(id_, varid, out.data());
    }
    return out;
  }
  std::vector<std::string> strings(const std::string& var) const {
    std::vector<char*> texts(values<int>(var).size());
    nc_get_var_string(id_, var_id(var), texts.data());
    std::vector<std::string> out(texts.begin(), texts.end());
    nc_free_string(texts.size(), texts.data());
    return out;
  }
  std::string text(const std::string& var, const char* name) const {
    std::size_t length = 0;
    std::string out;
    if (nc_inq_attlen(id_, var_id(var), name, &length) == NC_NOERR) {
      out.resize(length);
      nc_get_att_text(id_, var_id(var), name, out.data());
    }
    return out;
  }
  float fill(const std::string& var) const {
    float out = NC_FILL_FLOAT;
    nc_get_att_float(id_, var_id(var), "_FillValue", &out);
    return out;
  }

 private:
  int var_id(const std::string& var) const {
    int varid = NC_GLOBAL;
    nc_inq_varid(id_, var.c_str(), &varid);
    return varid;
  }
  int id_ = -1;
};

// A date as GrADS prints it ("06Z02JAN2000"), from minutes since a proleptic Gregorian origin.
std::string grads_time(int year, int month, int day, int hour, int64_t minutes) {
  // Days from 1970-01-01 and back (H. Hinnant's algorithms): independent of the program's own.
  const auto days_from_civil = [](int64_t y, int64_t m, int64_t d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    return era * 146097 + (yoe * 365 + yoe / 4 - yoe / 100 + doy) - 719468;
  };
  const int64_t total = days_from_civil(year, month, day) * 1440 + hour * 60 + minutes;
  int64_t z = (total >= 0 ? total : total - 1439) / 1440;
  const int64_t hh = (total - z * 1440) / 60;
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp + (mp < 10 ? 3 : -9);
  static const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                        "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
  return fmt::format("{:02d}Z{:02d}{}{:04d}", hh, d, kMonths[m - 1], yoe + era * 400 + (m <= 2));
}

// The reports a CF file of grads2cf holds, in the form grads_printed_reports gives GrADS's:
// each observation at the time of its time group (the nearest multiple of `step` minutes, or
// its own time where `step` is 0), a missing value printed as GrADS prints its own.
std::vector<std::string> cf_reports(const std::string& path, const std::vector<std::string>& vars,
                                    std::size_t surface, const std::vector<int>& levels,
                                    int64_t step) {
  std::vector<std::string> out;
  const NcFile nc(path);
  EXPECT_TRUE(nc.ok()) << path;
  if (!nc.ok()) return out;
  const std::vector<std::string> ids = nc.strings("station_id");
  const std::vector<double> time = nc.values<double>("time");
  char unit[16];
  int year, month, day, hour;
  EXPECT_EQ(std::sscanf(nc.text("time", "units").c_str(), "%15s since %d-%d-%d %d", unit, &year,
                        &month, &day, &hour),
            5);
  const double minutes = std::string(unit) == "days" ? 1440 : 1;
  const auto when = [&](std::size_t at) {
    const double since = time[at] * minutes;
    return grads_time(year, month, day, hour,
                      step > 0 ? std::llround(since / step) * step : std::llround(since));
  };
  const auto shown = [&](const std::string& var, float value) {
    return value == nc.fill(var) ? std::string("-9.99e+08") : fmt::format("{:g}", value);
  };
  // Each observation's station and time, by layout.
  std::vector<std::size_t> station, at_time;
  std::vector<int> profile_levels;
  const bool profiles = nc.has("station_index");
  if (profiles) {
    const std::vector<int> index = nc.values<int>("station_index");
    profile_levels = nc.values<int>("row_size");
    for (std::size_t p = 0; p < index.size(); ++p) {
      station.push_back(static_cast<std::size_t>(index[p]));
      at_time.push_back(p);
    }
  } else if (nc.has("row_size")) {
    const std::vector<int> rows = nc.values<int>("row_size");
    for (std::size_t s = 0, obs = 0; s < rows.size(); ++s) {
      for (int k = 0; k < rows[s]; ++k, ++obs) {
        station.push_back(s);
        at_time.push_back(obs);
      }
    }
  } else {
    for (std::size_t s = 0; s < ids.size(); ++s) {
      for (std::size_t t = 0; t < time.size(); ++t) {
        station.push_back(s);
        at_time.push_back(t);
      }
    }
  }
  for (std::size_t v = 0; v < vars.size(); ++v) {
    const std::vector<float> values = nc.values<float>(vars[v]);
    if (v < surface) {
      for (std::size_t r = 0; r < station.size(); ++r) {
        // A profile without a surface group is no surface report.
        if (profiles && values[r] == nc.fill(vars[v])) continue;
        out.push_back(fmt::format("{} {} {} sfc {}", when(at_time[r]), vars[v], ids[station[r]],
                                  shown(vars[v], values[r])));
      }
      continue;
    }
    const std::vector<float> lev = nc.values<float>("lev");
    for (std::size_t p = 0, obs = 0; p < station.size(); ++p) {
      for (int k = 0; k < profile_levels[p]; ++k, ++obs) {
        if (std::find(levels.begin(), levels.end(), lev[obs]) == levels.end()) continue;
        out.push_back(fmt::format("{} {} {} {:g} {}", when(at_time[p]), vars[v], ids[station[p]],
                                  lev[obs], shown(vars[v], values[obs])));
      }
    }
  }
  return out;
}

// The variables of a control file, and its number of time groups.
struct Declared {
  int ntime = 0;
  std::vector<std::string> vars;
  std::size_t surface = 0;
};

Declared declared(const std::string& ctl) {
  Declared out;
  std::istringstream in(testing::read_file(ctl));
  std::string line;
  int left = 0;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string first;
    words >> first;
    std::transform(first.begin(), first.end(), first.begin(), ::tolower);
    if (left > 0) {
      int levels = 0;
      words >> levels;
      out.vars.push_back(first);
      if (levels == 0) ++out.surface;
      --left;
    } else if (first == "tdef") {
      words >> out.ntime;
    } else if (first == "vars") {
      words >> left;
    }
  }
  return out;
}

// The lines in order, without the surface reports whose every value is missing: in the
// orthogonal layout such a report and no report at all are the same cells.
std::vector<std::string> comparable(std::vector<std::string> lines) {
  std::map<std::string, bool> any_value;  // by "TIME ID"
  const auto key = [](const std::string& line) {
    std::istringstream words(line);
    std::string time, var, id, level, value;
    words >> time >> var >> id >> level >> value;
    return std::make_pair(level == "sfc" ? time + " " + id : std::string(), value != "-9.99e+08");
  };
  for (const std::string& line : lines) {
    const auto [report, has_value] = key(line);
    if (!report.empty()) any_value[report] = any_value[report] || has_value;
  }
  lines.erase(std::remove_if(lines.begin(), lines.end(),
                             [&](const std::string& line) {
                               const std::string report = key(line).first;
                               return !report.empty() && !any_value[report];
                             }),
              lines.end());
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST(Grads2cfAgainstGrads, EveryReportGradsPrintsIsInTheCfFileAndNothingElse) {
  TempDir dir;
  // drought2grads products: monthly and 18-combination axes, missing values as NaN and markers.
  testing::generate_sample(dir.path(), 9, 4, 3);
  ASSERT_EQ(testing::run_converter(dir.path(), "-q --stations SPI_Stn.nc").status, 0);
  // cf2grads products: several variables, a report off its group's time, profiles.
  for (const std::string fixture : {"contiguous", "profile_ragged"}) {
    ASSERT_EQ(testing::convert_cdl(dir, fixture, testing::cdl_fixture(fixture)).status, 0);
  }
  // Written by hand, as a Fortran program writes it: big-endian, a station twice in a time
  // group (six hours on), an empty group, a missing value; GrADS reads it through stnmap's map.
  const auto report = [](const char* id, float lat, float lon, float t, float ps, float ts) {
    return ExpectedReport{id, lat, lon, t, {ps, ts}, {}};
  };
  testing::write_file(
      dir.file("hand.dat"),
      testing::pack_groups({{report("KSEA", 47.45f, -122.31f, 0, 1012.5f, 281.25f),
                             report("KSEA", 47.45f, -122.31f, 0.25f, 1011, 282),
                             report("KBOI", 43.56f, -116.22f, 0, 1020, -999)},
                            {},
                            {report("KBOI", 43.56f, -116.22f, 0, 1019.75f, 279.5f)}},
                           true));
  testing::write_file(dir.file("hand.ctl"),
                      "dset ^hand.dat\ndtype station\nstnmap ^hand.map\nundef -999\n"
                      "options big_endian\ntitle by hand\ntdef 3 linear 00z30dec1999 1dy\n"
                      "vars 2\nps 0 99 pressure\nts 0 99 temperature\nendvars\n");
  ASSERT_EQ(
      testing::run_command("cd " + testing::shell_quote(dir.path()) + " && stnmap -q -i hand.ctl"),
      0);

  struct Case {
    std::string ctl;
    int64_t step;  // minutes between time groups where reports may be off their group's time
    std::vector<int> levels;
  };
  const std::vector<Case> cases = {
      {"Num_Dr_Mon.ctl", 0, {}},
      {"Sensl.ctl", 0, {}},
      {"Mag_03.ctl", 0, {}},
      {"out/contiguous.ctl", 720, {}},
      {"out/profile_ragged.ctl", 360, {1000, 850, 500}},
      {"hand.ctl", 1440, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ctl);
    const Declared d = declared(dir.file(c.ctl));
    const std::string folder = dir.file(c.ctl.substr(0, c.ctl.rfind('/') + 1));
    const std::string name = c.ctl.substr(c.ctl.rfind('/') + 1);
    const std::vector<std::string> printed = comparable(
        testing::grads_printed_reports(folder, name, d.ntime, d.vars, d.surface, c.levels));
    ASSERT_FALSE(printed.empty());
    for (const char* layout : {"auto", "ragged"}) {
      SCOPED_TRACE(layout);
      const auto run = testing::run_program(testing::grads2cf(), dir.path(),
                                            "-q " + c.ctl + " -o cf.nc --layout " + layout);
      ASSERT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(comparable(cf_reports(dir.file("cf.nc"), d.vars, d.surface, c.levels, c.step)),
                printed);
    }
  }
}

}  // namespace
}  // namespace d2g
