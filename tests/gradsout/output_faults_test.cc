// Output failures, produced for real: each ends the writer with the error's number, text, unit
// and absolute path, leaves the previous product as it was and no temporary file behind.
#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>

#include "common/fatal_error.h"
#include "gradsout/sample_product.h"
#include "gradsout/write_grads_stn.h"
#include "support/test_support.h"

namespace d2g {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

constexpr uid_t kNobody = 65534;

struct Outcome {
  int status;
  std::string message;
};

// Runs `body` in a child process (so that it can drop privileges or limit file sizes) and
// returns the exit status and FatalError message it ended with.
Outcome in_child(const std::function<void()>& body) {
  int fds[2];
  if (::pipe(fds) != 0) throw std::runtime_error("pipe");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    int status = 0;
    try {
      body();
    } catch (const FatalError& error) {
      const ssize_t ignored = ::write(fds[1], error.what(), std::strlen(error.what()));
      (void)ignored;
      status = error.exit_status();
    } catch (...) {
      status = 99;
    }
    ::_exit(status);
  }
  ::close(fds[1]);
  std::string message;
  char buffer[512];
  ssize_t n;
  while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) message.append(buffer, n);
  ::close(fds[0]);
  int wait_status = 0;
  ::waitpid(pid, &wait_status, 0);
  return {WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status), message};
}

void drop_to_nobody() {
  if (::setgroups(0, nullptr) != 0 && ::getuid() == 0) ::_exit(98);
  if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(98);
}

// A 2-station product of `ntime` steps whose values start at `first`.
void write_product(const std::string& dir, float first, const std::string& name = "Prob",
                   int32_t ntime = 3) {
  testing::write_sample_product(dir, name, 2, ntime, first);
}

TEST(OutputFaults, EachFailureNamesItsErrorAndKeepsThePreviousProduct) {
  const bool root = ::geteuid() == 0;
  struct Case {
    const char* what;
    int status;
    const char* text;
    std::string target;  // relative to the work directory
    int unit;
    std::function<void(const std::string& work)> prepare;
    bool as_nobody = false;
    rlim_t file_size_limit = RLIM_INFINITY;
    int32_t ntime = 3;        // of the new product: another length changes the map as well
    std::string detail = "";  // the message's second line, the cause, when it has one
    bool root_only = false;   // the fault needs files of another user, which only root makes
  };
  const std::vector<Case> cases = {
      {"missing output directory", 29, "file not found", "absent/Prob.dat", 10,
       [](const std::string&) {}, false, RLIM_INFINITY, 3,
       "the output directory {dir}/ does not exist"},
      {"path through a regular file", 43, "file name specification error", "plain/Prob.dat", 10,
       [](const std::string& work) { testing::write_file(work + "/plain", "x"); }, false,
       RLIM_INFINITY, 3,
       "the output directory {dir}/ is not a directory, or a part of its path is not"},
      {"directory where the data file goes", 30, "open failure", "new/Prob.dat", 10,
       [](const std::string& work) { std::filesystem::create_directories(work + "/new/Prob.dat"); },
       false, RLIM_INFINITY, 3, "a directory stands where the product file should be"},
      {"directory where the control file goes", 30, "open failure", "new/Prob.ctl", 2001,
       [](const std::string& work) { std::filesystem::create_directories(work + "/new/Prob.ctl"); },
       false, RLIM_INFINITY, 3, "a directory stands where the product file should be"},
      {"full device (file size limit)", 38, "error during write", "out/Prob.dat", 10,
       [](const std::string&) {}, false, 200, 3,
       "the file would exceed the file-size limit (File too large)"},
      {"read-only product", 47, "write to READONLY file", "out/Prob.dat", 10,
       [](const std::string& work) { ::chmod((work + "/out/Prob.dat").c_str(), 0444); }, true},
      {"read-only map", 47, "write to READONLY file", "out/Prob.dat.map", 2002,
       [](const std::string& work) { ::chmod((work + "/out/Prob.dat.map").c_str(), 0444); }, true,
       RLIM_INFINITY, 4},
      {"FIFO where the control file goes", 30, "open failure", "out/Prob.ctl", 2001,
       [](const std::string& work) {
         ::unlink((work + "/out/Prob.ctl").c_str());
         ::mkfifo((work + "/out/Prob.ctl").c_str(), 0666);
       },
       false, RLIM_INFINITY, 3, "a special file stands where the product file should be"},
      {"directory without write permission", 9, "permission to access file denied", "out/Prob.dat",
       10, [](const std::string& work) { ::chmod((work + "/out").c_str(), 0555); }, true,
       RLIM_INFINITY, 3,
       "the output directory {dir}/ does not let this user create files; products are replaced "
       "through new files"},
      {"another user's product in a sticky directory", 9, "permission to access file denied",
       "out/Prob.dat", 10,
       [](const std::string& work) {
         ::chmod((work + "/out").c_str(), 01777);
         if (::geteuid() != 0) return;
         for (const char* name : {"/out/Prob.dat", "/out/Prob.ctl", "/out/Prob.dat.map"}) {
           ::chown((work + name).c_str(), 0, 0);  // the writer drops to nobody: not its owner
         }
       },
       true, RLIM_INFINITY, 3,
       "the output directory {dir}/ is sticky and the file belongs to another user (uid 0): only "
       "its owner may replace it",
       true},
  };
  std::string skipped;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.root_only && !root) {
      skipped += std::string(skipped.empty() ? "" : ", ") + c.what;
      continue;
    }
    TempDir work;
    ::chmod(work.path().c_str(), 0755);
    const std::string out = work.file("out");
    std::filesystem::create_directory(out);
    ::chmod(out.c_str(), 0777);
    write_product(out, 100.0f);
    if (c.as_nobody && root) {
      // The previous product belongs to root; let the unprivileged writer replace it.
      for (const auto& entry : testing::snapshot(out)) {
        ::chmod((out + "/" + entry.first).c_str(), 0666);
      }
    }
    c.prepare(work.path());
    const testing::DirSnapshot before = testing::snapshot(out);
    const std::string target_dir = work.file(c.target.substr(0, c.target.rfind('/')));

    const Outcome outcome = in_child([&] {
      // Permission faults need an unprivileged writer: root drops to nobody, others are one.
      if (c.as_nobody && root) drop_to_nobody();
      if (c.file_size_limit != RLIM_INFINITY) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{c.file_size_limit, c.file_size_limit};
        ::setrlimit(RLIMIT_FSIZE, &limit);
      }
      write_product(target_dir, 0.0f, "Prob", c.ntime);
    });

    if (c.as_nobody && outcome.status == 98) {
      skipped += std::string(skipped.empty() ? "" : ", ") + c.what;
      continue;
    }
    EXPECT_EQ(outcome.status, c.status);
    std::string detail = c.detail.empty() ? "" : "\ndrought2grads: " + c.detail;
    if (detail.find("{dir}") != std::string::npos)
      detail.replace(detail.find("{dir}"), 5, target_dir);
    EXPECT_EQ(outcome.message, "severe (" + std::to_string(c.status) + "): " + c.text + ", unit " +
                                   std::to_string(c.unit) + ", file " + work.file(c.target) +
                                   detail);
    EXPECT_EQ(testing::snapshot(out), before);
    for (const std::string& dir : {out, target_dir}) {
      if (!std::filesystem::is_directory(dir)) continue;
      for (const std::string& name : testing::list_dir(dir)) {
        EXPECT_THAT(name, ::testing::Not(HasSubstr(".tmp-"))) << "temporary file left";
      }
    }
  }
  if (!skipped.empty())
    GTEST_SKIP() << "root could not drop privileges here, so not run: " << skipped;
}

TEST(OutputFaults, ReplacedFilesKeepTheirPermissionsAndNewOnesFollowTheUmask) {
  TempDir work;
  write_product(work.path(), 1.0f);
  ::chmod(work.file("Prob.dat").c_str(), 0640);
  const mode_t old_umask = ::umask(027);
  write_product(work.path(), 2.0f);
  write_product(work.path(), 3.0f, "Sensl");
  ::umask(old_umask);
  struct stat info {};
  ::stat(work.file("Prob.dat").c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  ::stat(work.file("Sensl.dat").c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u);  // 0666 less 027
  ::stat(work.file("Sensl.ctl").c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

}  // namespace
}  // namespace d2g
