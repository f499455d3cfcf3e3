// The command line: help, version, usage errors, directories, quiet runs and the marker.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "driver/options.h"
#include "support/test_support.h"

namespace d2g {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using testing::TempDir;

TEST(CommandLine, HelpAndVersion) {
  TempDir dir;
  const testing::ConverterRun help = testing::run_converter(dir.path(), "--help");
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--stations", "--input-dir", "--output-dir", "--undef", "--quiet"}) {
    EXPECT_THAT(help.out, HasSubstr(option));
  }
  const testing::ConverterRun version = testing::run_converter(dir.path(), "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_THAT(version.out, ::testing::MatchesRegex("drought2grads [0-9]+\\.[0-9]+\\.[0-9]+\n"
                                                   "netCDF library [0-9][0-9.]*\n"));
  EXPECT_TRUE(testing::list_dir(dir.path()).empty());
}

TEST(CommandLine, UsageErrorsNameTheOptionPointAtHelpAndWriteNothing) {
  TempDir dir;
  testing::generate_sample(dir.path(), 2, 1, 1);
  const auto inputs = testing::list_dir(dir.path());
  struct Case {
    const char* arguments;
    const char* first_line;  // after "drought2grads: error: "
  };
  const Case cases[] = {
      {"--no-such-option", "unknown option: --no-such-option"},
      {"--stations SPI_Stn.nc extra", "unexpected argument: extra"},
      {"--stations", "--stations"},
      {"--stations ''", "--stations: must not be empty"},
      {"--stations SPI_Stn.nc --input-dir ''", "--input-dir: must not be empty"},
      {"--stations SPI_Stn.nc --output-dir ''", "--output-dir: must not be empty"},
      {"--stations SPI_Stn.nc --undef ''", "--undef: must not be empty"},
      {"--stations SPI_Stn.nc --undef abc", "--undef: abc is not a finite single-precision"},
      {"--stations SPI_Stn.nc --undef 1e40", "--undef: 1e40 is not a finite single-precision"},
      {"--stations SPI_Stn.nc --undef inf", "--undef: inf is not a finite single-precision"},
      {"--stations SPI_Stn.nc --undef -999x", "--undef: -999x is not a finite single-precision"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const testing::ConverterRun run = testing::run_converter(dir.path(), c.arguments);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_THAT(run.err, StartsWith(std::string("drought2grads: error: ") + c.first_line));
    EXPECT_THAT(run.err,
                ::testing::EndsWith("\nTry 'drought2grads --help' for more information.\n"));
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 2);
    EXPECT_EQ(testing::list_dir(dir.path()), inputs);
  }
}

TEST(CommandLine, DirectoriesQuietRunsAndTheMarker) {
  TempDir dir;
  std::filesystem::create_directories(dir.file("in"));
  std::filesystem::create_directories(dir.file("out"));
  testing::generate_sample(dir.file("in"), 3, 2, 2);

  const testing::ConverterRun quiet = testing::run_converter(
      dir.path(), "-q --input-dir in --output-dir out --stations in/SPI_Stn.nc --undef 123456789");
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out, "");
  EXPECT_EQ(testing::snapshot(dir.file("out")).size(), 93u);
  const std::string control = testing::read_file(dir.file("out/Fre_01.ctl"));
  EXPECT_THAT(control, StartsWith("dset  ^Fre_01.dat\n"));
  EXPECT_THAT(control, HasSubstr("\nundef   123456792.0\n"));

  // With inputs given by directory, the log names the files as they were given.
  const testing::ConverterRun logged = testing::run_converter(
      dir.path(), "--input-dir in/ --output-dir out --stations in/SPI_Stn.nc");
  EXPECT_EQ(logged.status, 0);
  EXPECT_THAT(logged.out, StartsWith("    Reading netCDF file: in/Num_Drou_Mon_Stn.nc...\n"));
  EXPECT_THAT(logged.out, HasSubstr("    Reading netCDF file: in/SPI_Stn.nc...\n"));
  EXPECT_EQ(logged.err, "");
}

TEST(CommandLine, ALogThatCannotBeWrittenFailsTheRun) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full on this machine";
  TempDir dir;
  testing::generate_sample(dir.path(), 3, 2, 2);
  const testing::ConverterRun run =
      testing::run_converter(dir.path(), "--stations SPI_Stn.nc >/dev/full");
  EXPECT_EQ(run.status, 74);
  EXPECT_EQ(run.err,
            "drought2grads: error: cannot write the progress log to standard output: No space "
            "left on device; the products were written\n");
  // The products themselves are complete.
  EXPECT_EQ(testing::read_file(dir.file("Mag_12.ctl")).substr(0, 18), "dset  ^Mag_12.dat\n");
}

TEST(CommandLine, MarkersFromText) {
  for (const char* text : {"nan", "NaN", "NAN"}) {
    SCOPED_TRACE(text);
    const std::optional<float> marker = parse_undef(text);
    ASSERT_TRUE(marker.has_value());
    EXPECT_TRUE(std::isnan(*marker));
  }
  EXPECT_EQ(parse_undef("-99.99"), -99.99f);
  EXPECT_EQ(parse_undef("1e-5"), 1e-5f);
  for (const char* text : {"", "inf", "-Infinity", "1e40", "nanx", "--1"}) {
    EXPECT_FALSE(parse_undef(text).has_value()) << text;
  }
}

}  // namespace
}  // namespace d2g
