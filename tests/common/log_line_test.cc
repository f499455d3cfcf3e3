#include "common/log_line.h"

#include <gtest/gtest.h>

#include <sstream>

#include "common/fixed_width.h"

namespace d2g {
namespace {

TEST(LogLine, TextItemsAtFullWidthAndIntegersRightAlignedInTwelve) {
  std::ostringstream out;
  out << LogLine()
             .text("      - Longitude's name = ")
             .text(fixed_width("stn", kDimNameWidth))
             .text("; length = ")
             .integer(150);
  EXPECT_EQ(out.str(), "       - Longitude's name = stn            ; length =          150\n");
}

TEST(LogLine, IntegerWiderThanTwelveIsNotCut) {
  EXPECT_EQ(LogLine().integer(-12345678901).str(), " -12345678901");
  EXPECT_EQ(LogLine().integer(0).str(), "            0");
}

TEST(FixedWidth, CutsPadsAndTrims) {
  EXPECT_EQ(fixed_width("station_dimension_name", 15), "station_dimensi");
  EXPECT_EQ(fixed_width("idx", 6), "idx   ");
  EXPECT_EQ(trim_right("Fre_01   "), "Fre_01");
  EXPECT_EQ(trim_right("   "), "");
}

}  // namespace
}  // namespace d2g
