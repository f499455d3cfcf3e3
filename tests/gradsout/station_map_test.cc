#include "gradsout/station_map.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "gradsout/write_grads_stn.h"
#include "support/test_support.h"

namespace d2g {
namespace {

using testing::TempDir;

// GrADS's own stnmap tool must build the same map from our data and control files.
TEST(StationMap, MatchesWhatStnmapWritesForTheSameProduct) {
  struct Shape {
    int32_t nstn;
    int32_t ntime;
  };
  const Shape shapes[] = {{0, 1}, {1, 1}, {1, 18}, {3, 1}, {7, 18}, {1200, 18}};
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(std::to_string(shape.nstn) + " stations x " + std::to_string(shape.ntime));
    TempDir ours, theirs;
    Field2D data(shape.nstn, shape.ntime);
    std::vector<float> lon(shape.nstn), lat(shape.nstn);
    for (int32_t j = 0; j < shape.nstn; ++j) {
      lon[j] = -9.0f + 0.01f * j;
      lat[j] = 36.0f + 0.005f * j;
      for (int32_t t = 0; t < shape.ntime; ++t) data.at(j, t) = static_cast<float>(j + t);
    }
    const std::vector<StationLabel> labels = make_station_labels(shape.nstn);
    StationWriterContext context{labels, -999.0f};
    write_grads_stn(data, lon, lat, shape.nstn, shape.ntime, "P", ours.path() + "/", "P", context);

    for (const char* name : {"P.dat", "P.ctl"}) {
      std::filesystem::copy_file(ours.file(name), theirs.file(name));
    }
    std::string output;
    ASSERT_EQ(
        testing::run_command("stnmap -q -i " + testing::shell_quote(theirs.file("P.ctl")), &output),
        0)
        << output;
    EXPECT_EQ(testing::read_file(ours.file("P.dat.map")),
              testing::read_file(theirs.file("P.dat.map")));
  }
}

TEST(StationMap, OffsetsMustFitASigned32BitInteger) {
  // Group size 32 * nstn + 28; the last group starts at (ntime - 1) * group size.
  EXPECT_TRUE(station_map_addressable(1, 1));
  EXPECT_TRUE(station_map_addressable(100000, 18));
  EXPECT_TRUE(station_map_addressable(67108863, 1));   // one group, starting at 0
  EXPECT_TRUE(station_map_addressable(67108863, 2));   // second group at 2147483644
  EXPECT_FALSE(station_map_addressable(67108864, 2));  // second group at 2147483676
  EXPECT_FALSE(station_map_addressable(4000000, 18));
  EXPECT_TRUE(station_map_addressable(5, 0));
}

}  // namespace
}  // namespace d2g
