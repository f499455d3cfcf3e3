// Inputs from a producer we did not write: NCO packs a generated sample into shorts and turns
// its variables into (station, second axis) order; the products must hold what NCO itself
// unpacks, to within one unit in the last place, and the marker where NCO finds fill values.
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <netcdf.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "support/test_support.h"

namespace d2g {
namespace {

using testing::TempDir;

constexpr int kStations = 20;

void run_ok(const std::string& command) {
  std::string output;
  ASSERT_EQ(testing::run_command(command, &output), 0) << command << "\n" << output;
}

// NCO unpacks in the precision of the scale_factor attribute; widen the attributes exactly to
// double so that its unpacking is the double-precision rule the converter follows.
void widen_packing_attributes(const std::string& path) {
  int ncid = -1;
  ASSERT_EQ(nc_open(path.c_str(), NC_WRITE, &ncid), NC_NOERR);
  ASSERT_EQ(nc_redef(ncid), NC_NOERR);
  int nvars = 0;
  nc_inq_nvars(ncid, &nvars);
  for (int varid = 0; varid < nvars; ++varid) {
    for (const char* attribute : {"scale_factor", "add_offset"}) {
      nc_type type = NC_NAT;
      if (nc_inq_atttype(ncid, varid, attribute, &type) != NC_NOERR || type != NC_FLOAT) continue;
      float value = 0;
      nc_get_att_float(ncid, varid, attribute, &value);
      const double wide = value;
      nc_del_att(ncid, varid, attribute);
      ASSERT_EQ(nc_put_att_double(ncid, varid, attribute, NC_DOUBLE, 1, &wide), NC_NOERR);
    }
  }
  ASSERT_EQ(nc_close(ncid), NC_NOERR);
}

// Value (station j, time step t) of a product's data file.
float product_value(const std::string& data, int nstn, int j, int t) {
  float value;
  std::memcpy(&value, data.data() + static_cast<std::size_t>(t) * (32 * nstn + 28) + 32 * j + 28,
              4);
  return value;
}

bool within_one_ulp(float got, float expected) {
  return got == expected || std::nextafter(expected, got) == got;
}

TEST(NcoInputs, PackedAndPermutedFilesConvertToWhatNcoUnpacks) {
  TempDir work;
  for (const char* dir : {"in", "packed", "widened", "unpacked"}) {
    std::filesystem::create_directory(work.file(dir));
  }
  testing::generate_sample(work.file("in"), kStations, 4, 3);
  std::filesystem::copy_file(work.file("in/SPI_Stn.nc"), work.file("packed/SPI_Stn.nc"));
  const struct {
    const char* file;
    const char* second_axis;
  } files[] = {{"Num_Drou_Mon_Stn.nc", "comb"},
               {"Sen_Prob_idx_Stn.nc", "idx"},
               {"Spell_Time_Arr_Stn.nc", "comb"},
               {"Fre_Mag_Stn.nc", "month"}};
  for (const auto& f : files) {
    const std::string in = work.file(std::string("in/") + f.file);
    const std::string packed = work.file(std::string("packed/") + f.file);
    run_ok(fmt::format("ncpdq -O -P all_new {} {}.tmp && ncpdq -O -a stn,{} {}.tmp {} && rm {}.tmp",
                       in, packed, f.second_axis, packed, packed, packed));
    const std::string widened = work.file(std::string("widened/") + f.file);
    std::filesystem::copy_file(packed, widened);
    widen_packing_attributes(widened);
    run_ok(fmt::format("ncpdq -O -U {} {}", widened, work.file(std::string("unpacked/") + f.file)));
  }
  // NCO did pack and permute.
  std::string header;
  run_ok("ncdump -h " + work.file("packed/Fre_Mag_Stn.nc") + " > " + work.file("header.txt"));
  header = testing::read_file(work.file("header.txt"));
  ASSERT_NE(header.find("short Fre_spi03_sev(stn, month) ;"), std::string::npos) << header;
  ASSERT_NE(header.find("Fre_spi03_sev:scale_factor"), std::string::npos) << header;

  const testing::ConverterRun run =
      testing::run_converter(work.path(), "-q --input-dir packed --stations packed/SPI_Stn.nc");
  ASSERT_EQ(run.status, 0) << run.err;

  // Every product against the variable it comes from.
  const std::pair<const char*, const char*> direct[] = {
      {"Num_Dr_Mon", "N_Drou_mon"},    {"Sensl", "SenSL"},         {"Prob", "Prob"},
      {"Spell_Ave", "Spell_Ave"},      {"Spell_Max", "Spell_Max"}, {"Time_Arr_Ave", "Time_Arr_Ave"},
      {"Time_Arr_Max", "Time_Arr_Max"}};
  int compared = 0, marked = 0;
  auto compare = [&](const std::string& product, int t, const std::string& file,
                     const std::string& variable, int second) {
    const testing::NcValues unpacked = testing::read_nc(work.file("unpacked/" + file), variable);
    ASSERT_EQ(unpacked.shape.size(), 2u);
    ASSERT_EQ(unpacked.shape[0], static_cast<std::size_t>(kStations));  // (stn, second)
    const std::size_t nsecond = unpacked.shape[1];
    const std::string data = testing::read_file(work.file(product + ".dat"));
    for (int j = 0; j < kStations; ++j) {
      const float expected = unpacked.values[static_cast<std::size_t>(j) * nsecond + second];
      const float got = product_value(data, kStations, j, t);
      if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(got)) << product << " t=" << t << " j=" << j;
      } else {
        EXPECT_TRUE(within_one_ulp(got, expected))
            << product << " t=" << t << " j=" << j << ": " << got << " vs " << expected;
      }
      marked += got == -999.0f;
      ++compared;
    }
  };
  for (const auto& [product, variable] : direct) {
    const std::string file = std::string(product) == "Num_Dr_Mon" ? "Num_Drou_Mon_Stn.nc"
                             : std::string(product) == "Sensl" || std::string(product) == "Prob"
                                 ? "Sen_Prob_idx_Stn.nc"
                                 : "Spell_Time_Arr_Stn.nc";
    const int ntime = std::string(product) == "Num_Dr_Mon"                                ? 4
                      : std::string(product) == "Sensl" || std::string(product) == "Prob" ? 3
                                                                                          : 18;
    for (int t = 0; t < ntime; ++t) compare(product, t, file, variable, t);
  }
  const char* indices[] = {"pdsi", "scpdsi", "spi01", "spi03", "spi06", "spi12"};
  const char* severities[] = {"mod", "sev", "ext"};
  for (int month = 1; month <= 12; ++month) {
    for (const char* kind : {"Fre", "Mag"}) {
      for (int k = 0; k < 18; ++k) {
        compare(fmt::format("{}_{:02d}", kind, month), k, "Fre_Mag_Stn.nc",
                fmt::format("{}_{}_{}", kind, indices[k % 6], severities[k / 6]), month - 1);
      }
    }
  }
  EXPECT_EQ(compared, kStations * (4 + 3 + 3 + 4 * 18 + 24 * 18));
  EXPECT_GT(marked, 0);  // the fill cells became the marker
}

}  // namespace
}  // namespace d2g
