// End to end: the converter binary on a generated input set, its log compared byte for byte with
// a golden log and its 93 product files with values read straight from the netCDF inputs.
#include <fmt/format.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "support/test_support.h"

namespace d2g {
namespace {

using testing::TempDir;

constexpr int kStations = 5;
constexpr int kNumDrLength = 4;
constexpr int kSenLength = 3;

const char* const kIndices[] = {"pdsi", "scpdsi", "spi01", "spi03", "spi06", "spi12"};
const char* const kSeverities[] = {"mod", "sev", "ext"};

std::string expected_control(const std::string& name, const std::string& var, int ntime) {
  return fmt::format(
      "dset  ^{0}.dat\ndtype station\nstnmap ^{0}.dat.map\nundef     -999.0\n"
      "title   Factor Analysis\ntdef  {1:3d} linear jan1980 1mo\nvars   1\n{2} 0 99 Factor\n"
      "endvars\n",
      name, ntime, var);
}

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::generate_sample(dir_.path(), kStations, kNumDrLength, kSenLength);
    lon_ = testing::read_nc(dir_.file("SPI_Stn.nc"), "lon").values;
    lat_ = testing::read_nc(dir_.file("SPI_Stn.nc"), "lat").values;
  }

  // Checks NAME.dat, NAME.ctl and NAME.dat.map of one product whose values are `values`,
  // indexed [t * nstn + j].
  void expect_product(const std::string& name, const std::string& var,
                      const std::vector<float>& values, int ntime) {
    SCOPED_TRACE(name);
    EXPECT_EQ(testing::read_file(dir_.file(name + ".dat")),
              testing::pack_station_data(values, lon_, lat_, kStations, ntime));
    EXPECT_EQ(testing::read_file(dir_.file(name + ".ctl")), expected_control(name, var, ntime));
    EXPECT_EQ(testing::read_file(dir_.file(name + ".dat.map")).size(), 24u + 8u * ntime);
  }

  TempDir dir_;
  std::vector<float> lon_, lat_;
};

TEST_F(RunTest, WritesTheExactLogAndAllThirtyOneProducts) {
  const testing::ConverterRun run = testing::run_converter(dir_.path(), "--stations SPI_Stn.nc");
  ASSERT_EQ(run.status, 0);
  EXPECT_EQ(run.out, testing::read_file(testing::source_dir() + "/driver/golden/run.log"));
  EXPECT_EQ(run.err, "");

  struct Direct {
    const char* name;
    const char* var;
    const char* file;
    const char* variable;
    int ntime;
  };
  const Direct direct[] = {
      {"Num_Dr_Mon", "Dr_Mon", "Num_Drou_Mon_Stn.nc", "N_Drou_mon", kNumDrLength},
      {"Sensl", "Sensl", "Sen_Prob_idx_Stn.nc", "SenSL", kSenLength},
      {"Prob", "Prob", "Sen_Prob_idx_Stn.nc", "Prob", kSenLength},
      {"Spell_Ave", "Spell_Ave", "Spell_Time_Arr_Stn.nc", "Spell_Ave", 18},
      {"Spell_Max", "Spell_Max", "Spell_Time_Arr_Stn.nc", "Spell_Max", 18},
      {"Time_Arr_Ave", "Time_Arr_Ave", "Spell_Time_Arr_Stn.nc", "Time_Arr_Ave", 18},
      {"Time_Arr_Max", "Time_Arr_Max", "Spell_Time_Arr_Stn.nc", "Time_Arr_Max", 18},
  };
  for (const Direct& p : direct) {
    // Stored (second axis, station): already in the product's order.
    expect_product(p.name, p.var, testing::read_nc(dir_.file(p.file), p.variable).values, p.ntime);
  }

  for (int month = 1; month <= 12; ++month) {
    for (const char* kind : {"Fre", "Mag"}) {
      // Time step k carries combination k: severity slowest, index fastest.
      std::vector<float> values;
      for (const char* severity : kSeverities) {
        for (const char* index : kIndices) {
          const std::string variable = fmt::format("{}_{}_{}", kind, index, severity);
          const std::vector<float> all =
              testing::read_nc(dir_.file("Fre_Mag_Stn.nc"), variable).values;
          values.insert(values.end(), all.begin() + (month - 1) * kStations,
                        all.begin() + month * kStations);
        }
      }
      expect_product(fmt::format("{}_{:02d}", kind, month), kind, values, 18);
    }
  }

  std::size_t products = 0;
  for (const std::string& name : testing::list_dir(dir_.path())) {
    if (name.size() > 4 &&
        (name.substr(name.size() - 4) == ".dat" || name.substr(name.size() - 4) == ".ctl" ||
         name.substr(name.size() - 4) == ".map")) {
      ++products;
    }
  }
  EXPECT_EQ(products, 93u);
}

// A station list as other tools write it: no "reg" (no product uses it), and the longitudes
// under another name, found by their standard_name. The run reads one variable fewer and writes
// the same products.
TEST_F(RunTest, AStationListWithoutRegAndWithCfCoordinatesGivesTheSameProducts) {
  std::filesystem::create_directory(dir_.file("out"));
  ASSERT_EQ(testing::run_converter(dir_.path(), "-q --stations SPI_Stn.nc --output-dir out").status,
            0);
  std::string output;
  ASSERT_EQ(testing::run_command("cd " + testing::shell_quote(dir_.path()) +
                                     " && ncks -O -x -v reg SPI_Stn.nc cf.nc && ncrename -O -v "
                                     "lon,x cf.nc && ncatted -O -a standard_name,x,o,c,longitude "
                                     "cf.nc",
                                 &output),
            0)
      << output;
  const testing::ConverterRun run = testing::run_converter(dir_.path(), "--stations cf.nc");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  // The golden log less the three lines of the "reg" read, with the other station-list name.
  std::string expected = testing::read_file(testing::source_dir() + "/driver/golden/run.log");
  const std::string reg_read =
      "    Reading netCDF file: SPI_Stn.nc...\n"
      "       - Longitude's name = stn            ; length =            5\n"
      "    Completed reading file SPI_Stn.nc\n";
  const std::size_t last = expected.rfind(reg_read);
  ASSERT_NE(last, std::string::npos);
  expected.erase(last, reg_read.size());
  for (std::size_t at; (at = expected.find("SPI_Stn.nc")) != std::string::npos;) {
    expected.replace(at, 10, "cf.nc");
  }
  EXPECT_EQ(run.out, expected);
  testing::DirSnapshot products = testing::snapshot(dir_.path());
  for (const auto& [name, content] : testing::snapshot(dir_.file("out"))) {
    EXPECT_EQ(products.at(name), content) << name;
  }
}

}  // namespace
}  // namespace d2g
