// Every GrADS script the README shows runs as written against the demo's sample (400 stations,
// the generator's default seed, converted with --seasonal), without a GrADS error, and makes the
// pictures it prints.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "support/test_support.h"

namespace d2g {
namespace {

std::vector<std::string> readme_scripts() {
  std::istringstream readme(testing::read_file(testing::source_dir() + "/../README.md"));
  std::vector<std::string> scripts;
  std::string line, block;
  bool in_block = false;
  while (std::getline(readme, line)) {
    if (line.rfind("```", 0) == 0) {
      if (in_block && block.rfind("'open ", 0) == 0) scripts.push_back(block);
      in_block = !in_block;
      block.clear();
    } else if (in_block) {
      block += line + "\n";
    }
  }
  return scripts;
}

TEST(ReadmeRecipes, EveryGradsScriptRunsAsWritten) {
  testing::TempDir dir;
  testing::generate_sample(dir.path(), 400, 18, 6);
  ASSERT_EQ(testing::run_converter(dir.path(), "-q --stations SPI_Stn.nc --seasonal").status, 0);
  const std::vector<std::string> scripts = readme_scripts();
  ASSERT_GE(scripts.size(), 4u);
  int n = 0;
  for (const std::string& script : scripts) {
    SCOPED_TRACE(script);
    const std::string name = "recipe" + std::to_string(++n) + ".gs";
    testing::write_file(dir.file(name), script);
    std::string output;
    EXPECT_EQ(testing::run_command("cd " + testing::shell_quote(dir.path()) +
                                       " && grads -blc 'run " + name + "' < /dev/null",
                                   &output),
              0);
    EXPECT_THAT(output, ::testing::Not(::testing::ContainsRegex("[Ee]rror")));
    if (script.find("'set gxout print'") != std::string::npos) {
      EXPECT_THAT(output, ::testing::HasSubstr("Printing Stations -- 400 Reports"));
    }
    const std::regex printim("'printim ([^ ']+)");
    for (std::sregex_iterator it(script.begin(), script.end(), printim), end; it != end; ++it) {
      const std::string picture = dir.file((*it)[1].str());
      EXPECT_GT(testing::read_file(picture).size(), 10000u) << picture;
    }
  }
}

}  // namespace
}  // namespace d2g
