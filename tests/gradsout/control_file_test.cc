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

// What a described product says: its title, description, real time axis, 365-day calendar and
// attribute lines (the variable in lower case, as GrADS needs), each on one line of bounded
// length.
TEST(ControlFile, DescribedProductsSayWhatTheInputsSay) {
  ControlDescription description;
  description.title = "Great Plains\ndrought\tstatistics  ";
  description.description = std::string(200, 'd');
  description.tdef_start = "00Z01jan1991";
  description.tdef_step = "1yr";
  description.calendar_365_day = true;
  description.attributes = {
      {"units", "months"}, {"long_name", "Months\r\nin drought"}, {"empty", " \n "}};
  EXPECT_EQ(control_file_text("Num_Dr_Mon", "Dr_Mon", 30, -999.0f, description),
            "dset  ^Num_Dr_Mon.dat\n"
            "dtype station\n"
            "stnmap ^Num_Dr_Mon.dat.map\n"
            "undef     -999.0\n"
            "title   Great Plains drought statistics\n"
            "options 365_day_calendar\n"
            "tdef   30 linear 00Z01jan1991 1yr\n"
            "vars   1\n"
            "Dr_Mon 0 99 " +
                std::string(150, 'd') +
                "\n"
                "endvars\n"
                "@ dr_mon String units months\n"
                "@ dr_mon String long_name Months in drought\n");
  // Every line stays below GrADS's 512 characters, whatever the inputs say.
  description.title = std::string(2000, 't');
  description.attributes = {{"long_name", std::string(2000, 'l')}};
  const std::string text = control_file_text("P", "P", 1, -999.0f, description);
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    EXPECT_LT(end - start, 512u);
  }
  // Nothing asked for: the fixed nine lines.
  EXPECT_EQ(control_file_text("P", "P", 3, -999.0f, ControlDescription{}),
            control_file_text("P", "P", 3, -999.0f));
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
