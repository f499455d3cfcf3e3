#include "gradsout/station_data.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "gradsout/write_grads_stn.h"
#include "support/test_support.h"

namespace d2g {
namespace {

using testing::TempDir;

Field2D field(int32_t nstn, int32_t ntime, const std::vector<float>& values) {
  Field2D table(nstn, ntime);
  std::copy(values.begin(), values.end(), table.data());
  return table;
}

TEST(StationData, TwoStationsThreeStepsMatchTheLayoutBitForBit) {
  TempDir dir;
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> values = {1.5f, -999.0f, nan, inf, -inf, 0.0f};
  const std::vector<float> lon = {-8.25f, 2.5f};
  const std::vector<float> lat = {42.0f, 39.75f};
  const std::vector<StationLabel> labels = make_station_labels(2);
  StationWriterContext context{labels, -999.0f};

  write_grads_stn(field(2, 3, values), lon, lat, 2, 3, "Prob", dir.path() + "/", "Prob", context);

  const std::string bytes = testing::read_file(dir.file("Prob.dat"));
  ASSERT_EQ(bytes.size(), 276u);
  EXPECT_EQ(bytes, testing::pack_station_data(values, lon, lat, 2, 3, {"Station_", "Station_"}));
  // The NaN's own bits, not just any NaN.
  uint32_t nan_bits, written_bits;
  std::memcpy(&nan_bits, &nan, 4);
  std::memcpy(&written_bits, bytes.data() + 92 + 28, 4);
  EXPECT_EQ(written_bits, nan_bits);
  EXPECT_EQ(std::string(context.stid.data(), 8), "Station_");
}

TEST(StationData, LargeProductsSpanSeveralWriteBuffersWithAShorterLastOne) {
  TempDir dir;
  // 0.96 MB per time group: the 18 groups go out four at a time, then the last two.
  const int32_t nstn = 30000;
  const int32_t ntime = 18;
  std::vector<float> values(static_cast<std::size_t>(nstn) * ntime);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<float>(i) * 0.5f;
  std::vector<float> lon(nstn), lat(nstn);
  for (int32_t j = 0; j < nstn; ++j) {
    lon[j] = -9.0f + j * 1e-4f;
    lat[j] = 36.0f + j * 1e-4f;
  }
  const std::vector<StationLabel> labels = make_station_labels(nstn);
  StationWriterContext context{labels, -999.0f};
  write_grads_stn(field(nstn, ntime, values), lon, lat, nstn, ntime, "Big", dir.path() + "/", "Big",
                  context);
  EXPECT_EQ(testing::read_file(dir.file("Big.dat")),
            testing::pack_station_data(values, lon, lat, nstn, ntime,
                                       std::vector<std::string>(nstn, "Station_")));
}

TEST(StationData, WithoutStationsEachGroupIsATerminatorCarryingTheLastIdentifier) {
  TempDir dir;
  const std::vector<StationLabel> labels = make_station_labels(0);
  StationWriterContext context{labels, -999.0f};
  write_grads_stn(Field2D(0, 2), {}, {}, 0, 2, "Empty", dir.path() + "/", "E", context);
  // Nothing written yet in this run: the identifier is eight zero bytes.
  std::string terminator(8, '\0');
  terminator += std::string(12, '\0') + std::string("\0\0\0\0\1\0\0\0", 8);
  EXPECT_EQ(testing::read_file(dir.file("Empty.dat")), terminator + terminator);

  context.stid = {'S', 't', 'a', 't', 'i', 'o', 'n', '_'};
  write_grads_stn(Field2D(0, 1), {}, {}, 0, 1, "Empty", dir.path() + "/", "E", context);
  EXPECT_EQ(testing::read_file(dir.file("Empty.dat")),
            testing::pack_station_data({}, {}, {}, 0, 1));
}

TEST(StationData, NoTimeStepsKeepsAnExistingDataFileAndDropsItsMap) {
  TempDir dir;
  const std::vector<StationLabel> labels = make_station_labels(1);
  StationWriterContext context{labels, -999.0f};
  write_grads_stn(field(1, 1, {7.0f}), {1.0f}, {2.0f}, 1, 1, "P", dir.path() + "/", "P", context);
  const std::string old_data = testing::read_file(dir.file("P.dat"));
  ASSERT_TRUE(testing::file_exists(dir.file("P.dat.map")));

  write_grads_stn(Field2D(1, 0), {1.0f}, {2.0f}, 1, 0, "P", dir.path() + "/", "P", context);
  EXPECT_EQ(testing::read_file(dir.file("P.dat")), old_data);
  EXPECT_FALSE(testing::file_exists(dir.file("P.dat.map")));
  EXPECT_EQ(testing::list_dir(dir.path()), (std::vector<std::string>{"P.ctl", "P.dat"}));

  // A new product without time steps is an empty data file.
  write_grads_stn(Field2D(1, 0), {1.0f}, {2.0f}, 1, 0, "Q", dir.path() + "/", "Q", context);
  EXPECT_EQ(testing::read_file(dir.file("Q.dat")), "");
}

}  // namespace
}  // namespace d2g
