// What cf2grads cannot convert: each refused with status 1 and a message that names the file
// and the variable, and the output directory left as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cf2grads/cf_fixtures.h"

namespace d2g {
namespace {

using testing::TempDir;

TEST(Cf2gradsRefusals, WhatCannotBeConvertedIsRefusedNamingTheFileAndTheVariable) {
  struct Case {
    std::string what;
    std::string fixture;
    std::string from, to;  // the fixture's text changed so
    std::string arguments;
    std::vector<std::string> message;
  };
  const std::vector<Case> cases = {
      {"another feature type",
       "contiguous",
       ":featureType = \"timeSeries\"",
       ":featureType = \"trajectory\"",
       "",
       {"contiguous.nc", "\"trajectory\""}},
      {"no time coordinate",
       "orthogonal",
       "time:standard_name = \"time\" ;\n    time:units = \"days since 2000-01-01\"",
       "time:long_name = \"time\" ;\n    time:units = \"days\"",
       "",
       {"orthogonal.nc", "no time coordinate"}},
      {"time units without an epoch",
       "orthogonal",
       "time:units = \"days since 2000-01-01\"",
       "time:units = \"days\"",
       "",
       {"orthogonal.nc", "variable \"time\"", "UNIT since DATE"}},
      {"months",
       "orthogonal",
       "time:units = \"days since 2000-01-01\"",
       "time:units = \"months since 2000-01-01\"",
       "",
       {"orthogonal.nc", "variable \"time\"", "months"}},
      {"a calendar GrADS has not",
       "contiguous",
       "time:calendar = \"proleptic_gregorian\"",
       "time:calendar = \"360_day\"",
       "",
       {"contiguous.nc", "variable \"time\"", "360_day"}},
      {"a step finer than a minute",
       "contiguous",
       "0, 86400, 172800, 0,",
       "0, 86430, 172800, 0,",
       "",
       {"contiguous.nc", "variable \"time\"", "minute"}},
      {"counts beyond the observations",
       "contiguous",
       "row_size = 3, 2, 3",
       "row_size = 3, 2, 4",
       "",
       {"contiguous.nc", "variable \"row_size\"", "add up to 9"}},
      {"a variable not in the file",
       "orthogonal",
       "",
       "",
       "--vars temperature,wind",
       {"orthogonal.nc", "variable \"wind\"", "not in the file"}},
      {"a coordinate asked for as data",
       "orthogonal",
       "",
       "",
       "--vars lat",
       {"orthogonal.nc", "variable \"lat\"", "not data"}},
      {"a variable on a further dimension",
       "orthogonal",
       "float humidity(station, time) ;",
       "float humidity(station, time, name_strlen) ;",
       "--vars humidity",
       {"orthogonal.nc", "variable \"humidity\"", "(station, time, name_strlen)"}},
      {"an unknown identifier variable",
       "orthogonal",
       "",
       "",
       "--station-ids code",
       {"orthogonal.nc", "variable \"code\""}},
      {"a duplicate identifier",
       "contiguous",
       "\"MADRID\", \"BARCA\", \"SYDNEY\"",
       "\"MADRID\", \"BARCA\", \"MADRID\"",
       "",
       {"contiguous.nc", "\"MADRID\" names two stations"}},
      {"a step GrADS cannot write", "contiguous", "", "", "--step 1wk", {"--step", "1wk"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    std::string cdl = testing::cdl_fixture(c.fixture);
    if (!c.from.empty()) {
      ASSERT_NE(cdl.find(c.from), std::string::npos) << c.from;
      cdl.replace(cdl.find(c.from), c.from.size(), c.to);
    }
    testing::run_command("mkdir " + testing::shell_quote(dir.file("out")));
    testing::write_file(dir.file("out/keep.txt"), "a file of the user's");
    const auto before = testing::snapshot(dir.file("out"));
    const auto run = testing::convert_cdl(dir, c.fixture, cdl, "-q " + c.arguments);
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_THAT(run.err, ::testing::StartsWith("cf2grads: error: "));
    for (const std::string& part : c.message) EXPECT_THAT(run.err, ::testing::HasSubstr(part));
    EXPECT_EQ(testing::snapshot(dir.file("out")), before);
  }
}

TEST(Cf2gradsRefusals, AProductFileThatCannotBeReplacedLeavesTheOldProductWhole) {
  TempDir dir;
  ASSERT_EQ(testing::convert_cdl(dir, "indexed", testing::cdl_fixture("indexed")).status, 0);
  const auto before = testing::snapshot(dir.file("out"));
  // The station table's place taken by a directory: found before anything is replaced.
  testing::run_command("mkdir " + testing::shell_quote(dir.file("out/indexed.stations.csv")));
  std::string cdl = testing::cdl_fixture("indexed");
  cdl.replace(cdl.find("\"MADRID\""), 8, "\"MAD RD\"");
  const auto run = testing::convert_cdl(dir, "indexed", cdl);
  EXPECT_EQ(run.status, 30) << run.err;
  EXPECT_THAT(run.err, ::testing::HasSubstr("indexed.stations.csv"));
  testing::run_command("rmdir " + testing::shell_quote(dir.file("out/indexed.stations.csv")));
  EXPECT_EQ(testing::snapshot(dir.file("out")), before);
}

TEST(Cf2gradsRefusals, UsageErrorsExitTwo) {
  TempDir dir;
  for (const char* arguments : {"", "x.nc", "x.nc -o out --split week", "x.nc -o out --undef abc",
                                "x.nc -o out --byte-order middle", "x.nc -o out --bogus"}) {
    const auto run = testing::run_program(testing::cf2grads(), dir.path(), arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_THAT(run.err, ::testing::HasSubstr("Try 'cf2grads --help'")) << arguments;
  }
}

}  // namespace
}  // namespace d2g
