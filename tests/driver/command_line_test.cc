// The command line: options, usage errors, quiet runs, the marker and its warning.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "support/test_support.h"

namespace d2g {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using testing::TempDir;

struct Result {
  int status;
  std::string out;
  std::string err;
};

Result convert(const std::string& cwd, const std::string& arguments) {
  const std::string err_file = cwd + "/.stderr";
  Result result;
  result.status = testing::run_command("cd " + testing::shell_quote(cwd) + " && " +
                                           testing::shell_quote(testing::converter()) + " " +
                                           arguments + " 2>" + testing::shell_quote(err_file),
                                       &result.out, false);
  result.err = testing::read_file(err_file);
  std::remove(err_file.c_str());
  return result;
}

TEST(CommandLine, HelpVersionAndBadOptions) {
  TempDir dir;
  const Result help = convert(dir.path(), "--help");
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--stations", "--input-dir", "--output-dir", "--undef", "--quiet"}) {
    EXPECT_THAT(help.out, HasSubstr(option));
  }
  const Result version = convert(dir.path(), "--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_THAT(version.out, StartsWith("drought2grads "));

  for (const char* bad : {"--no-such-option", "--undef abc", "extra", "--stations"}) {
    SCOPED_TRACE(bad);
    const Result result = convert(dir.path(), bad);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err, "");
    EXPECT_TRUE(testing::list_dir(dir.path()).empty());
  }
}

TEST(CommandLine, DirectoriesQuietRunsAndTheMarker) {
  TempDir dir;
  std::filesystem::create_directories(dir.file("in"));
  std::filesystem::create_directories(dir.file("out"));
  testing::generate_sample(dir.file("in"), 3, 2, 2);

  const Result quiet = convert(dir.path(),
                               "-q --input-dir in --output-dir out --stations in/SPI_Stn.nc "
                               "--undef 123456789");
  EXPECT_EQ(quiet.status, 0);
  EXPECT_EQ(quiet.out, "");
  // The generated inputs declare _FillValue = -999: GrADS would show those cells as data.
  EXPECT_THAT(quiet.err,
              HasSubstr("drought2grads: warning: in/Num_Drou_Mon_Stn.nc: variable \"N_Drou_mon\" "
                        "declares _FillValue = -999"));
  EXPECT_THAT(quiet.err, HasSubstr("(use --undef -999)"));
  // One warning for each of the 43 variables that make products; the station list's
  // coordinates are not product values.
  EXPECT_EQ(std::count(quiet.err.begin(), quiet.err.end(), '\n'), 43);
  EXPECT_THAT(quiet.err, ::testing::Not(HasSubstr("SPI_Stn.nc")));
  EXPECT_EQ(testing::list_dir(dir.file("out")).size(), 93u);
  const std::string control = testing::read_file(dir.file("out/Fre_01.ctl"));
  EXPECT_THAT(control, StartsWith("dset  ^Fre_01.dat\n"));
  EXPECT_THAT(control, HasSubstr("\nundef   123456792.0\n"));

  // With inputs given by directory, the log names the files as they were given.
  const Result logged =
      convert(dir.path(), "--input-dir in/ --output-dir out --stations in/SPI_Stn.nc");
  EXPECT_EQ(logged.status, 0);
  EXPECT_THAT(logged.out, StartsWith("    Reading netCDF file: in/Num_Drou_Mon_Stn.nc...\n"));
  EXPECT_THAT(logged.out, HasSubstr("    Reading netCDF file: in/SPI_Stn.nc...\n"));
  EXPECT_EQ(logged.err, "");
}

}  // namespace
}  // namespace d2g
