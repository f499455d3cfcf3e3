// The output lock: the directory itself is locked, so runs exclude each other and leave nothing
// behind; where it cannot be (a directory this user may write into but not list), a lock file
// stands in while the lock is held and goes with it; what blocks the lock is named.
#include "gradsout/output_lock.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "common/fatal_error.h"
#include "support/test_support.h"

namespace d2g {
namespace {

using ::testing::HasSubstr;
using testing::TempDir;

bool lockable_by_another(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (fd >= 0) ::close(fd);
  return free;
}

TEST(OutputLock, LocksTheDirectoryItselfAndLeavesNothingBehind) {
  TempDir out;
  std::ostringstream diag;
  {
    const OutputDir dir(out.path() + "/", "P.dat", 10);
    const OutputLock lock(dir, "P.dat", 10, diag);
    EXPECT_TRUE(lock.held());
    EXPECT_FALSE(lockable_by_another(out.path()));
    const OutputLock probe(dir, "P.dat", 10, diag, OutputLock::Wait::kNever);
    EXPECT_FALSE(probe.held());
  }
  EXPECT_TRUE(lockable_by_another(out.path()));
  EXPECT_TRUE(testing::list_dir(out.path()).empty());
  EXPECT_EQ(diag.str(), "");
}

// As an unprivileged user (root drops to nobody), in a directory of mode 0333.
TEST(OutputLock, AnUnlistableDirectoryIsLockedThroughAFileThatGoesWithTheLock) {
  TempDir work;
  ::chmod(work.path().c_str(), 0755);
  const std::string out = work.file("out");
  std::filesystem::create_directory(out);
  std::filesystem::create_directory(work.file("blocked"));
  std::filesystem::create_directory(work.file("blocked/.drought2grads.lock"));
  for (const std::string& dir : {out, work.file("blocked")}) {
    if (::geteuid() == 0) ::chown(dir.c_str(), 65534, 65534);
    ::chmod(dir.c_str(), 0333);
  }
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      ::_exit(98);
    }
    std::ostringstream diag;
    int failures = 0;
    {
      const OutputDir dir(out + "/", "P.dat", 10);
      const OutputLock lock(dir, "P.dat", 10, diag);
      struct stat info {};
      failures += !lock.held();
      failures += ::stat((out + "/.drought2grads.lock").c_str(), &info) != 0;
      const OutputLock probe(dir, "P.dat", 10, diag, OutputLock::Wait::kNever);
      failures += probe.held();
    }
    struct stat info {};
    failures += ::stat((out + "/.drought2grads.lock").c_str(), &info) == 0;
    try {
      const OutputDir dir(work.file("blocked/"), "P.dat", 10);
      const OutputLock lock(dir, "P.dat", 10, diag);
      ++failures;
    } catch (const FatalError& error) {
      const std::string expected =
          "severe (30): open failure, unit 10, file " + work.file("blocked/P.dat") +
          "\ndrought2grads: the output directory " + work.file("blocked/") +
          " cannot be locked against other runs: something other than a file stands at the name "
          "of its lock file .drought2grads.lock";
      failures += std::string(error.what()).rfind(expected, 0) != 0;
    }
    ::_exit(failures);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 98) GTEST_SKIP() << "root could not drop privileges here";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "checks that failed in the unprivileged child";
  ::chmod(out.c_str(), 0755);
  EXPECT_TRUE(testing::list_dir(out).empty());
  ::chmod(work.file("blocked").c_str(), 0755);
}

}  // namespace
}  // namespace d2g
