// The real client: GrADS opens our products (through the station maps we write, without running
// stnmap) and reads back, station by station, the values that the netCDF inputs hold.
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "support/test_support.h"

namespace d2g {
namespace {

using testing::TempDir;

constexpr int kStations = 12;
constexpr int kProbe = 4;  // the station whose time series is read by its identifier

struct Report {
  std::string id;
  float lon;
  float lat;
  bool missing;
  double value;
};

// Parses the output of one `d VAR` under `set gxout print`: a header line with the undef value,
// then for each report a line "ID LON LAT UNDEF" and a line with the value.
std::vector<Report> parse_reports(std::istringstream& in) {
  std::vector<Report> reports;
  std::string line;
  double undef = 0;
  int count = 0;
  while (std::getline(in, line)) {
    if (std::sscanf(line.c_str(), "Printing Stations -- %d Reports -- Undef = %lf", &count,
                    &undef) == 2) {
      break;
    }
  }
  for (int i = 0; i < count && std::getline(in, line); ++i) {
    Report report{};
    char id[16];
    if (std::sscanf(line.c_str(), "%15s %f %f", id, &report.lon, &report.lat) != 3) break;
    report.id = id;
    std::getline(in, line);
    report.value = std::stod(line);
    report.missing = report.value == undef;
    reports.push_back(report);
  }
  return reports;
}

TEST(GradsReadback, DirectAndMonthlyProductsReadBackAsTheInputs) {
  TempDir dir;
  testing::generate_sample(dir.path(), kStations, 4, 3);
  ASSERT_EQ(testing::run_converter(dir.path(), "-q --stations SPI_Stn.nc").status, 0);
  const std::vector<float> lon = testing::read_nc(dir.file("SPI_Stn.nc"), "lon").values;
  const std::vector<float> lat = testing::read_nc(dir.file("SPI_Stn.nc"), "lat").values;

  struct Probe {
    const char* product;
    const char* var;
    int t;  // 1-based time step
    std::string file;
    std::string variable;  // the netCDF variable that time step t comes from
    int second_index;      // its second-axis position (0-based)
  };
  const std::vector<Probe> probes = {
      {"Num_Dr_Mon", "Dr_Mon", 1, "Num_Drou_Mon_Stn.nc", "N_Drou_mon", 0},
      {"Num_Dr_Mon", "Dr_Mon", 4, "Num_Drou_Mon_Stn.nc", "N_Drou_mon", 3},
      {"Prob", "Prob", 3, "Sen_Prob_idx_Stn.nc", "Prob", 2},
      {"Time_Arr_Max", "Time_Arr_Max", 18, "Spell_Time_Arr_Stn.nc", "Time_Arr_Max", 17},
      // Monthly products: time step k is combination k, severity slowest.
      {"Fre_03", "Fre", 8, "Fre_Mag_Stn.nc", "Fre_scpdsi_sev", 2},
      {"Fre_03", "Fre", 1, "Fre_Mag_Stn.nc", "Fre_pdsi_mod", 2},
      {"Mag_12", "Mag", 18, "Fre_Mag_Stn.nc", "Mag_spi12_ext", 11},
  };

  std::string script;
  for (const Probe& p : probes) {
    script += fmt::format(
        "'reinit'\n'open {0}.ctl'\n'set gxout print'\n'set prnopts %.9g 1 1'\n"
        "'set lon -180 360'\n'set lat -90 90'\n'set t {1}'\n'd {2}'\nsay result\n",
        dir.file(p.product), p.t, p.var);
  }
  // One station's time series, picked by its identifier. The latitude is given after stid=
  // because GrADS 2.2.1's parser, when it stores stid=, writes past an array and nudges the
  // latitude range (then "Varying dimension 1 decreases"); a later lat= sets it again.
  script += fmt::format(
      "'reinit'\n'open {0}'\n'set gxout print'\n'set prnopts %.9g 1 1'\n'set lon {1}'\n"
      "'set lat {2}'\n'set t 1 18'\n'd Fre(stid={3},lat={2})'\nsay result\n",
      dir.file("Fre_03.ctl"), lon[kProbe], lat[kProbe], kProbe + 1);
  script += "'quit'\n";
  testing::write_file(dir.file("readback.gs"), script);
  std::string output;
  ASSERT_EQ(
      testing::run_command(
          "cd " + testing::shell_quote(dir.path()) + " && grads -blc 'run readback.gs'", &output),
      0)
      << output;

  std::istringstream in(output);
  int zeros = 0;
  int missing = 0;
  for (const Probe& p : probes) {
    SCOPED_TRACE(fmt::format("{} t={}", p.product, p.t));
    const std::vector<Report> reports = parse_reports(in);
    ASSERT_EQ(reports.size(), static_cast<std::size_t>(kStations)) << output;
    const std::vector<float> values = testing::read_nc(dir.file(p.file), p.variable).values;
    for (int j = 0; j < kStations; ++j) {
      const Report& report = reports[j];
      // Every station carries its own number; GrADS prints coordinates to four digits.
      EXPECT_EQ(report.id, std::to_string(j + 1));
      EXPECT_NEAR(report.lon, lon[j], 0.01);
      EXPECT_NEAR(report.lat, lat[j], 0.01);
      const float expected = values[static_cast<std::size_t>(p.second_index) * kStations + j];
      if (expected == -999.0f || std::isnan(expected)) {
        EXPECT_TRUE(report.missing) << "station " << j + 1;
        ++missing;
      } else {
        EXPECT_FALSE(report.missing) << "station " << j + 1 << " expected " << expected;
        EXPECT_NEAR(report.value, expected, std::fabs(expected) * 1e-6) << "station " << j + 1;
        if (expected == 0.0f) ++zeros;
      }
    }
  }
  {
    SCOPED_TRACE("Fre(stid=...) over the 18 combinations");
    const std::vector<Report> series = parse_reports(in);
    ASSERT_EQ(series.size(), 18u) << output;
    for (int k = 0; k < 18; ++k) {
      EXPECT_EQ(series[k].id, std::to_string(kProbe + 1));
      const char* indices[] = {"pdsi", "scpdsi", "spi01", "spi03", "spi06", "spi12"};
      const char* severities[] = {"mod", "sev", "ext"};
      const std::vector<float> values =
          testing::read_nc(dir.file("Fre_Mag_Stn.nc"),
                           fmt::format("Fre_{}_{}", indices[k % 6], severities[k / 6]))
              .values;
      const float expected = values[2 * kStations + kProbe];  // March
      if (expected == -999.0f || std::isnan(expected)) {
        EXPECT_TRUE(series[k].missing) << "k=" << k + 1;
      } else {
        EXPECT_NEAR(series[k].value, expected, std::fabs(expected) * 1e-6) << "k=" << k + 1;
      }
    }
  }
  // The sample holds genuine zeros and marked cells; both must have been compared.
  EXPECT_GT(zeros, 0);
  EXPECT_GT(missing, 0);
}

// With --time-axis cf, --describe and --seasonal: a real daily time axis, the inputs' words in
// q file and q attr, and one station's seasonal cycle in one d command.
TEST(GradsReadback, RealTimeAxesDescriptionsAndSeasonalProductsMeanWhatTheInputsSay) {
  TempDir dir;
  testing::generate_sample(dir.path(), kStations, 30, 3);
  // N_Drou_mon's second axis "comb" (values 1 ... 30) as CF days since the start of 1991.
  ASSERT_EQ(testing::run_command(
                "cd " + testing::shell_quote(dir.path()) +
                " && ncatted -h -a units,comb,o,c,'days since 1991-01-01 00:00:00' -a "
                "calendar,comb,o,c,standard -a long_name,N_Drou_mon,o,c,'Drought months per "
                "day' -a units,N_Drou_mon,o,c,months -a title,global,o,c,'Test statistics' "
                "Num_Drou_Mon_Stn.nc"),
            0);
  const testing::ConverterRun run = testing::run_converter(
      dir.path(), "-q --stations SPI_Stn.nc --time-axis cf --describe --seasonal");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(testing::list_dir(dir.path()).size(), 5u + 3 * 67);  // the inputs and 67 products
  EXPECT_EQ(testing::read_file(dir.file("Num_Dr_Mon.ctl")),
            "dset  ^Num_Dr_Mon.dat\ndtype station\nstnmap ^Num_Dr_Mon.dat.map\n"
            "undef     -999.0\ntitle   Test statistics\ntdef   30 linear 00Z02jan1991 1dy\n"
            "vars   1\nDr_Mon 0 99 Drought months per day\nendvars\n"
            "@ dr_mon String units months\n@ dr_mon String long_name Drought months per day\n");

  // Every one of the 67 control files opens in GrADS.
  std::string opens;
  for (const std::string& name : testing::list_dir(dir.path())) {
    if (name.size() > 4 && name.substr(name.size() - 4) == ".ctl") {
      opens += "'open " + name + "'\nsay 'opened ' rc\n'close 1'\n";
    }
  }
  testing::write_file(dir.file("opens.gs"), opens + "'quit'\n");
  std::string opened;
  ASSERT_EQ(
      testing::run_command(
          "cd " + testing::shell_quote(dir.path()) + " && grads -blc 'run opens.gs'", &opened),
      0);
  std::size_t good = 0;
  for (std::size_t at = 0; (at = opened.find("opened 0", at)) != std::string::npos; ++at) ++good;
  EXPECT_EQ(good, 67u) << opened;

  const std::vector<float> lon = testing::read_nc(dir.file("SPI_Stn.nc"), "lon").values;
  const std::vector<float> lat = testing::read_nc(dir.file("SPI_Stn.nc"), "lat").values;
  const std::string script = fmt::format(
      "'open Num_Dr_Mon.ctl'\n'q attr'\nsay result\n'set t 1'\n'q time'\nsay result\n"
      "'set t 30'\n'q time'\nsay result\n'reinit'\n'open Fre_scpdsi_sev.ctl'\n'q file'\n"
      "say result\n'set gxout print'\n'set prnopts %.9g 1 1'\n'set lon {0}'\n'set lat {1}'\n"
      "'set t 1 12'\n'd Fre(stid={2},lat={1})'\nsay result\n'quit'\n",
      lon[kProbe], lat[kProbe], kProbe + 1);
  testing::write_file(dir.file("meaning.gs"), script);
  std::string output;
  ASSERT_EQ(
      testing::run_command(
          "cd " + testing::shell_quote(dir.path()) + " && grads -blc 'run meaning.gs'", &output),
      0);
  EXPECT_THAT(output, ::testing::HasSubstr("dr_mon String units months"));
  EXPECT_THAT(output, ::testing::HasSubstr("dr_mon String long_name Drought months per day"));
  EXPECT_THAT(output, ::testing::HasSubstr("Time = 00Z02JAN1991 to 00Z02JAN1991"));
  EXPECT_THAT(output, ::testing::HasSubstr("Time = 00Z31JAN1991 to 00Z31JAN1991"));
  EXPECT_THAT(output, ::testing::HasSubstr("fre  0  99  Drought frequency by month, scpdsi sev"));

  // The seasonal cycle: the 12 months of scpdsi, sev at the probe station.
  std::istringstream in(output.substr(output.find("Tsize = 12")));
  const std::vector<Report> cycle = parse_reports(in);
  ASSERT_EQ(cycle.size(), 12u) << output;
  const std::vector<float> values =
      testing::read_nc(dir.file("Fre_Mag_Stn.nc"), "Fre_scpdsi_sev").values;  // (month, stn)
  for (int month = 0; month < 12; ++month) {
    SCOPED_TRACE(month + 1);
    EXPECT_EQ(cycle[month].id, std::to_string(kProbe + 1));
    const float expected = values[month * kStations + kProbe];
    if (expected == -999.0f || std::isnan(expected)) {
      EXPECT_TRUE(cycle[month].missing);
    } else {
      EXPECT_NEAR(cycle[month].value, expected, std::fabs(expected) * 1e-6);
    }
  }
}

}  // namespace
}  // namespace d2g
