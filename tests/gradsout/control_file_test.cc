#include "gradsout/control_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace d2g {
namespace {

TEST(ControlFile, NineLinesWithTrimmedNames) {
  EXPECT_EQ(control_file_text("Sensl                         ", "Sensl  ", 6, -999.0f),
            "dset  ^Sensl.dat\n"
            "dtype station\n"
            "stnmap ^Sensl.dat.map\n"
            "undef     -999.0\n"
            "title   Factor Analysis\n"
            "tdef    6 linear jan1980 1mo\n"
            "vars   1\n"
            "Sensl 0 99 Factor\n"
            "endvars\n");
  EXPECT_EQ(control_file_text("Fre_03", "Fre", 18, -999.0f),
            "dset  ^Fre_03.dat\n"
            "dtype station\n"
            "stnmap ^Fre_03.dat.map\n"
            "undef     -999.0\n"
            "title   Factor Analysis\n"
            "tdef   18 linear jan1980 1mo\n"
            "vars   1\n"
            "Fre 0 99 Factor\n"
            "endvars\n");
}

TEST(ControlFile, MarkerAndTimeCountFields) {
  const float inf = std::numeric_limits<float>::infinity();
  struct Marker {
    float value;
    const char* field;
  };
  const Marker markers[] = {
      {-999.0f, "  -999.0"},
      {-9999.0f, " -9999.0"},
      // As many decimals as it takes for the text to read back as the marker.
      {0.25f, "    0.25"},
      {-99.99f, "  -99.99"},
      {0.05f, "    0.05"},
      {1e-5f, " 0.00001"},
      {-0.04f, "   -0.04"},
      {0.1f, "     0.1"},
      {0.0f, "     0.0"},
      {-0.0f, "     0.0"},  // an exact zero of either sign is unsigned
      {0.5f, "     0.5"},
      {999999.9f, "999999.9"},
      {-99999.9f, "-99999.9"},
      {std::nanf(""), "     NaN"},
      {inf, "Infinity"},
      {-inf, "    -Inf"},
      {123456789.0f, "123456792.0"},  // widened rather than asterisks; single precision
      {-1.0e7f, "-10000000.0"},
  };
  for (const Marker& m : markers) {
    SCOPED_TRACE(m.field);
    EXPECT_EQ(undef_field(m.value), m.field);
  }
  struct Count {
    int32_t ntime;
    const char* field;
  };
  const Count counts[] = {{5, "  5"}, {18, " 18"}, {999, "999"}, {1200, "1200"}, {-5, " -5"}};
  for (const Count& c : counts) {
    SCOPED_TRACE(c.field);
    EXPECT_EQ(time_count_field(c.ntime), c.field);
  }
}

}  // namespace
}  // namespace d2g
