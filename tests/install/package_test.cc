// What gets installed: the man page against --help and the exit statuses, and the Debian package
// built by CPack from this build.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <regex>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

#include "common/exit_status.h"
#include "common/fatal_error.h"
#include "support/test_support.h"

namespace d2g {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

// The programs with a page of their own, and the path of each.
const std::vector<std::pair<std::string, std::string>> kPrograms = {
    {"drought2grads", testing::converter()},
    {"cf2grads", testing::cf2grads()},
    {"grads2cf", testing::grads2cf()},
    {"drought2grads-plot", testing::plot_program()}};

std::string man_page_text(const std::string& program) {
  // Roff writes a minus sign as "\-".
  return std::regex_replace(testing::read_file(testing::source_dir() + "/../doc/" + program + ".1"),
                            std::regex(R"(\\-)"), "-");
}

// The tokens matching `pattern` on the tag lines (the line after each ".TP") of one section.
std::set<std::string> tags_in_section(const std::string& program, const std::string& section,
                                      const std::string& pattern) {
  std::istringstream in(man_page_text(program));
  std::string line;
  bool in_section = false;
  bool tag_next = false;
  std::set<std::string> tags;
  const std::regex token(pattern);
  while (std::getline(in, line)) {
    if (line.rfind(".SH", 0) == 0) in_section = line == ".SH " + section;
    if (!in_section) continue;
    if (tag_next) {
      for (std::sregex_iterator it(line.begin(), line.end(), token), end; it != end; ++it) {
        tags.insert(it->str());
      }
    }
    tag_next = line == ".TP";
  }
  return tags;
}

TEST(ManPage, DocumentsEveryOptionOfHelp) {
  for (const auto& [program, path] : kPrograms) {
    SCOPED_TRACE(program);
    TempDir dir;
    const testing::ConverterRun help = testing::run_program(path, dir.path(), "--help");
    ASSERT_EQ(help.status, 0);
    const std::set<std::string> documented = tags_in_section(program, "OPTIONS", "--?[a-z][a-z-]*");
    const std::regex option(R"((^|[\s,])(--?[a-z][a-z-]*))");
    std::set<std::string> offered;
    for (std::sregex_iterator it(help.out.begin(), help.out.end(), option), end; it != end; ++it) {
      offered.insert((*it)[2].str());
    }
    EXPECT_GE(offered.size(), 7u);
    for (const std::string& name : offered) {
      EXPECT_EQ(documented.count(name), 1u) << name << " is not described under OPTIONS";
    }
    const std::string page = man_page_text(program);
    for (const char* section : {"NAME", "SYNOPSIS", "DESCRIPTION", "OPTIONS", "FILES",
                                "EXIT STATUS", "EXAMPLES", "SEE ALSO"}) {
      EXPECT_NE(page.find(std::string("\n.SH ") + section + "\n"), std::string::npos) << section;
    }
  }
}

TEST(ManPage, ListsEveryExitStatusOfTheProgramAndTheReadme) {
  std::set<int> program = {exit_status::kSuccess,
                           exit_status::kBadInput,
                           exit_status::kUsage,
                           exit_status::kInternalError,
                           exit_status::kLogWriteError,
                           128 + SIGHUP,
                           128 + SIGINT,
                           128 + SIGTERM};
  for (SevereError error : kSevereErrors) program.insert(static_cast<int>(error));

  // The README's status table: rows "| N | ..." or "| N, M, ... | ..." after its header.
  std::set<int> readme;
  const std::string text = testing::read_file(testing::source_dir() + "/../README.md");
  const std::size_t table = text.find("| status | meaning |");
  ASSERT_NE(table, std::string::npos);
  const std::string rows = text.substr(table, text.find("\n\n", table) - table);
  const std::regex row(R"(\n\| ([0-9]+(, [0-9]+)*) \|)");
  for (std::sregex_iterator it(rows.begin(), rows.end(), row), end; it != end; ++it) {
    std::istringstream numbers((*it)[1].str());
    std::string number;
    while (std::getline(numbers, number, ',')) readme.insert(std::stoi(number));
  }
  EXPECT_EQ(readme, program) << "the README's status table and the program disagree";
  // Both programs end with the same statuses, through the same libraries.
  for (const auto& page : kPrograms) {
    std::set<int> man;
    for (const std::string& number : tags_in_section(page.first, "EXIT STATUS", "[0-9]+")) {
      man.insert(std::stoi(number));
    }
    EXPECT_EQ(man, program) << "EXIT STATUS of " << page.first << " and the program disagree";
  }
}

TEST(Package, HoldsTheProgramManPageAndCompletionAndDependsOnNetcdf) {
  TempDir dir;
  std::string output;
  ASSERT_EQ(
      testing::run_command("cpack -G DEB --config " +
                               testing::shell_quote(testing::build_dir() + "/CPackConfig.cmake") +
                               " -B " + testing::shell_quote(dir.path()),
                           &output),
      0)
      << output;
  std::string deb;
  ASSERT_EQ(
      testing::run_command("ls " + testing::shell_quote(dir.path()) + "/drought2grads_*.deb", &deb),
      0)
      << output;
  deb = deb.substr(0, deb.find('\n'));
  EXPECT_THAT(deb, ::testing::MatchesRegex(".*/drought2grads_[0-9.]+_[a-z0-9]+\\.deb"));

  std::string contents;
  ASSERT_EQ(testing::run_command("dpkg-deb -c " + testing::shell_quote(deb), &contents), 0);
  EXPECT_THAT(contents, HasSubstr(" ./usr/bin/drought2grads\n"));
  EXPECT_THAT(contents, HasSubstr(" ./usr/bin/drought2grads-plot\n"));
  EXPECT_THAT(contents, HasSubstr(" ./usr/share/man/man1/drought2grads-plot.1.gz\n"));
  EXPECT_THAT(contents, HasSubstr(" ./usr/share/man/man1/drought2grads.1.gz\n"));
  EXPECT_THAT(contents, HasSubstr(" ./usr/share/bash-completion/completions/drought2grads\n"));
  EXPECT_THAT(contents, HasSubstr(" ./usr/bin/cf2grads\n"));
  EXPECT_THAT(contents, HasSubstr(" ./usr/share/man/man1/cf2grads.1.gz\n"));
  EXPECT_THAT(contents, HasSubstr(" ./usr/share/bash-completion/completions/cf2grads\n"));
  EXPECT_THAT(contents, HasSubstr(" ./usr/bin/grads2cf\n"));
  EXPECT_THAT(contents, HasSubstr(" ./usr/share/man/man1/grads2cf.1.gz\n"));
  EXPECT_THAT(contents, HasSubstr(" ./usr/share/bash-completion/completions/grads2cf\n"));
  EXPECT_THAT(contents, HasSubstr(" ./usr/share/bash-completion/completions/drought2grads-plot\n"));
  EXPECT_THAT(contents, ::testing::ContainsRegex("-rwxr-xr-x [^\n]* \\./usr/bin/drought2grads\n"));

  std::string depends, recommends;
  ASSERT_EQ(testing::run_command("dpkg-deb -f " + testing::shell_quote(deb) + " Depends", &depends),
            0);
  EXPECT_THAT(depends, ::testing::ContainsRegex("libnetcdf[0-9]+ \\(>= [^)]+\\)"));
  EXPECT_THAT(depends, HasSubstr("libc6"));
  ASSERT_EQ(
      testing::run_command("dpkg-deb -f " + testing::shell_quote(deb) + " Recommends", &recommends),
      0);
  EXPECT_EQ(recommends, "grads\n");

  // The packaged page is the page in the repository, gzipped.
  std::string page;
  ASSERT_EQ(testing::run_command("dpkg-deb --fsys-tarfile " + testing::shell_quote(deb) +
                                     " | tar -xOf - ./usr/share/man/man1/drought2grads.1.gz | "
                                     "gzip -dc",
                                 &page, false),
            0);
  EXPECT_EQ(page, testing::read_file(testing::source_dir() + "/../doc/drought2grads.1"));
}

}  // namespace
}  // namespace d2g
