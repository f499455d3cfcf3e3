// --check: reads and checks everything, prints the plan, writes nothing, and exits as the run
// would have for the same faults.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>

#include "support/test_support.h"

namespace d2g {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

TEST(CheckMode, PrintsThePlanWithTheSizesARunThenWrites) {
  TempDir work;
  testing::generate_sample(work.path(), 5, 4, 3);
  std::filesystem::create_directory(work.file("out"));
  const auto inputs = testing::snapshot(work.path());

  const testing::ConverterRun check =
      testing::run_converter(work.path(), "--check --stations SPI_Stn.nc --output-dir out");
  ASSERT_EQ(check.status, 0) << check.err;
  EXPECT_EQ(check.err, "");
  EXPECT_TRUE(testing::snapshot(work.file("out")).empty());
  EXPECT_EQ(testing::snapshot(work.path()), inputs);
  EXPECT_THAT(check.out, ::testing::StartsWith(
                             "drought2grads --check: nothing was written; a run would write "
                             "these products\n"
                             "stations:         5 (station list SPI_Stn.nc)\n"
                             "output directory: " +
                             work.file("out/") +
                             "\n"
                             "missing marker:   -999.0 (undef line \"undef     -999.0\")\n"));
  EXPECT_THAT(check.out, HasSubstr("\nNum_Dr_Mon              4             977\n"));
  EXPECT_THAT(check.out, HasSubstr("\nFre_03                 18            3710\n"));
  // The sample marks station 2 of each variable's first step with its fill value.
  EXPECT_THAT(check.out, HasSubstr("\n  N_Drou_mon                 1  Num_Drou_Mon_Stn.nc\n"));
  EXPECT_THAT(check.out, HasSubstr("\n  reg                        0  SPI_Stn.nc\n"));

  // The total is what the run then writes.
  std::smatch total;
  ASSERT_TRUE(std::regex_search(check.out, total, std::regex("\ntotal +93 files +([0-9]+)\n")));
  ASSERT_EQ(testing::run_converter(work.path(), "-q --stations SPI_Stn.nc --output-dir out").status,
            0);
  std::uintmax_t written = 0;
  for (const auto& [name, content] : testing::snapshot(work.file("out"))) {
    written += std::filesystem::file_size(work.file("out/" + name));
  }
  EXPECT_EQ(std::to_string(written), total[1].str());
}

TEST(CheckMode, ExitsAsTheRunWouldAndWritesNothing) {
  TempDir work;
  testing::sample_with_products(work.path(), 5, 4, 3);
  ::chmod(work.file("out/Mag_12.ctl").c_str(), 0444);
  const bool root = ::geteuid() == 0;

  struct Case {
    const char* what;
    std::string arguments;
    int status;
    std::string message;  // the start of standard error
  };
  const std::vector<Case> cases = {
      {"missing output directory", "--output-dir absent", 29,
       "drought2grads: severe (29): file not found, unit 10, file " +
           work.file("absent/Num_Dr_Mon.dat")},
      {"a missing input", "--output-dir out --input-dir nowhere", 1,
       "drought2grads: error: nowhere/Num_Drou_Mon_Stn.nc: No such file or directory"},
      {"a read-only product", "--output-dir out", root ? 0 : 47,
       root ? "" : "drought2grads: severe (47): write to READONLY file, unit 2001"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto before = testing::snapshot(work.file("out"));
    const testing::ConverterRun run =
        testing::run_converter(work.path(), "--check --stations SPI_Stn.nc " + c.arguments);
    EXPECT_EQ(run.status, c.status);
    EXPECT_THAT(run.err, ::testing::StartsWith(c.message));
    EXPECT_EQ(testing::snapshot(work.file("out")), before);
    // The run itself stops the same way.
    if (c.status != 0) {
      EXPECT_EQ(
          testing::run_converter(work.path(), "-q --stations SPI_Stn.nc " + c.arguments).status,
          c.status);
    }
  }
}

}  // namespace
}  // namespace d2g
