#include "common/stations.h"

#include <gtest/gtest.h>

#include <string>

namespace d2g {
namespace {

std::string label(const std::vector<StationLabel>& labels, std::size_t i) {
  return std::string(labels[i].begin(), labels[i].end());
}

TEST(StationLabels, ThreeDigitNumbersThenAsterisksFromStationThousand) {
  const std::vector<StationLabel> labels = make_station_labels(1001);
  ASSERT_EQ(labels.size(), 1001u);
  EXPECT_EQ(label(labels, 0), "Station_001          ");
  EXPECT_EQ(label(labels, 998), "Station_999          ");
  EXPECT_EQ(label(labels, 999), "Station_***          ");
  EXPECT_EQ(label(labels, 1000), "Station_***          ");
}

TEST(StationLabels, NoStationsNoLabels) {
  EXPECT_TRUE(make_station_labels(0).empty());
  EXPECT_TRUE(make_station_labels(-3).empty());
}

}  // namespace
}  // namespace d2g
