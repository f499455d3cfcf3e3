// How a product is swapped in: a process killed at any commit step leaves the product old and
// whole, new and whole, or without a control file (GrADS then refuses to open it), never a
// control file or map beside a data file they do not describe; a re-run of the same shape
// touches only the data file; replaced files keep their owner; long directory paths work.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "common/fatal_error.h"
#include "gradsout/file_reaper.h"
#include "gradsout/sample_product.h"
#include "gradsout/station_map.h"
#include "gradsout/write_grads_stn.h"
#include "support/test_support.h"

namespace d2g {
namespace {

using testing::TempDir;

void write_p(const std::string& dir, int32_t nstn, int32_t ntime, float first,
             const std::function<void(std::string_view, CommitStep)>& hook = {},
             FileReaper* reaper = nullptr) {
  testing::write_sample_product(dir, "P", nstn, ntime, first, hook, reaper);
}

ino_t inode(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

TEST(CommitOrder, AKillAtAnyStepLeavesTheProductWholeOrWithoutAControlFile) {
  TempDir reference;
  write_p(reference.file("."), 2, 3, 1.0f);
  const testing::DirSnapshot old_files = testing::snapshot(reference.path());
  TempDir newer;
  write_p(newer.file("."), 3, 4, 50.0f);  // another shape: all three files change
  const testing::DirSnapshot new_files = testing::snapshot(newer.path());

  // Replaced data files are renamed over, or (as a run does) swapped out and removed by a reaper.
  for (const bool reaped : {false, true})
    for (CommitStep kill_at :
         {CommitStep::kControlWithdrawn, CommitStep::kMapWithdrawn, CommitStep::kDataReplaced,
          CommitStep::kMapReplaced, CommitStep::kControlReplaced}) {
      SCOPED_TRACE(static_cast<int>(kill_at) + (reaped ? 10 : 0));
      TempDir out;
      write_p(out.file("."), 2, 3, 1.0f);
      const pid_t child = ::fork();
      if (child == 0) {
        FileReaper reaper;
        write_p(
            out.file("."), 3, 4, 50.0f,
            [&](std::string_view, CommitStep step) {
              if (step == kill_at) ::raise(SIGKILL);
            },
            reaped ? &reaper : nullptr);
        ::_exit(0);
      }
      int status = 0;
      ::waitpid(child, &status, 0);
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

      testing::DirSnapshot products;
      for (const auto& [name, content] : testing::snapshot(out.path())) {
        if (name[0] != '.') products[name] = content;  // the killed run's temporary files aside
      }
      if (kill_at == CommitStep::kControlReplaced) {
        EXPECT_EQ(products, new_files);
      } else {
        // Incomplete: no control file, so GrADS cannot open a mixture; and a map, if there is
        // one, is the one of the data beside it.
        EXPECT_EQ(products.count("P.ctl"), 0u);
        EXPECT_NE(products, old_files);
        if (products.count("P.dat.map") != 0) {
          const bool new_data = products.at("P.dat") == new_files.at("P.dat");
          EXPECT_EQ(products.at("P.dat.map"), (new_data ? new_files : old_files).at("P.dat.map"));
        }
      }
    }
}

// A failure at any step of the swap (here thrown by the step's hook; in life a rename refused
// for an I/O error, an append-only file, ...) puts the old product back whole, control file
// included, and leaves no temporary file.
TEST(CommitOrder, AFailureAtAnyStepLeavesTheOldProductWhole) {
  TempDir reference;
  write_p(reference.file("."), 2, 3, 1.0f);
  const testing::DirSnapshot old_files = testing::snapshot(reference.path());
  for (const bool reaped : {false, true})
    for (CommitStep fail_at : {CommitStep::kControlWithdrawn, CommitStep::kMapWithdrawn,
                               CommitStep::kDataReplaced, CommitStep::kMapReplaced}) {
      SCOPED_TRACE(static_cast<int>(fail_at) + (reaped ? 10 : 0));
      TempDir out;
      write_p(out.file("."), 2, 3, 1.0f);
      FileReaper reaper;
      EXPECT_THROW(write_p(
                       out.file("."), 3, 4, 50.0f,
                       [&](std::string_view, CommitStep step) {
                         if (step == fail_at) {
                           throw FatalError::severe(SevereError::kWriteError, 10, "P.dat");
                         }
                       },
                       reaped ? &reaper : nullptr),
                   FatalError);
      EXPECT_EQ(testing::snapshot(out.path()), old_files);
    }
}

TEST(CommitOrder, AReaperRemovesEveryReplacedDataFileBeforeItGoesAway) {
  TempDir out;
  write_p(out.path(), 40, 18, 1.0f);
  {
    FileReaper reaper;
    for (int run = 0; run < 5; ++run) write_p(out.path(), 40, 18, 10.0f * run, {}, &reaper);
  }
  EXPECT_EQ(testing::list_dir(out.path()),
            (std::vector<std::string>{"P.ctl", "P.dat", "P.dat.map"}));
  TempDir expected;
  write_p(expected.path(), 40, 18, 40.0f);
  EXPECT_EQ(testing::read_file(out.file("P.dat")), testing::read_file(expected.file("P.dat")));
}

TEST(CommitOrder, ARerunOfTheSameShapeReplacesOnlyTheDataFile) {
  TempDir out;
  write_p(out.path(), 4, 5, 1.0f);
  const ino_t control = inode(out.file("P.ctl"));
  const ino_t map = inode(out.file("P.dat.map"));
  const ino_t data = inode(out.file("P.dat"));
  std::vector<CommitStep> steps;
  write_p(out.path(), 4, 5, 7.0f,
          [&](std::string_view, CommitStep step) { steps.push_back(step); });
  EXPECT_EQ(steps, std::vector<CommitStep>{CommitStep::kDataReplaced});
  EXPECT_EQ(inode(out.file("P.ctl")), control);
  EXPECT_EQ(inode(out.file("P.dat.map")), map);
  EXPECT_NE(inode(out.file("P.dat")), data);

  steps.clear();
  write_p(out.path(), 4, 6, 7.0f,
          [&](std::string_view, CommitStep step) { steps.push_back(step); });
  EXPECT_EQ(steps,
            (std::vector<CommitStep>{CommitStep::kControlWithdrawn, CommitStep::kMapWithdrawn,
                                     CommitStep::kDataReplaced, CommitStep::kMapReplaced,
                                     CommitStep::kControlReplaced}));
  EXPECT_EQ(testing::read_file(out.file("P.dat.map")),
            std::string(station_map_bytes(4, 6).data(), station_map_bytes(4, 6).size()));
}

TEST(CommitOrder, ReplacedFilesKeepTheirOwnerAndGroup) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give files to another user";
  // Both changed, and the group alone (the owner the writer's own).
  for (const auto& [uid, gid] : {std::pair<uid_t, gid_t>{65534, 65534}, {0, 65534}}) {
    SCOPED_TRACE(gid == uid ? "owner and group" : "group alone");
    TempDir out;
    write_p(out.path(), 2, 3, 1.0f);
    for (const char* name : {"P.dat", "P.ctl", "P.dat.map"}) {
      ASSERT_EQ(::chown(out.file(name).c_str(), uid, gid), 0);
    }
    write_p(out.path(), 2, 4, 9.0f);
    for (const char* name : {"P.dat", "P.ctl", "P.dat.map"}) {
      struct stat info {};
      ::stat(out.file(name).c_str(), &info);
      EXPECT_EQ(info.st_uid, uid) << name;
      EXPECT_EQ(info.st_gid, gid) << name;
    }
  }
}

TEST(CommitOrder, ProductsWhosePathsFitAreWrittenEvenWhereTemporaryPathsWouldNot) {
  TempDir top;
  // A directory path of 4075 characters: "DIR/P.dat.map" fits the 4095 of PATH_MAX, but
  // "DIR/.P.dat.map.tmp-PID" would not.
  std::string dir = top.path();
  while (dir.size() < 4075) {
    const std::size_t room = 4075 - dir.size() - 1;
    dir += "/" + std::string(std::min<std::size_t>(room, 200), 'd');
    ASSERT_TRUE(std::filesystem::create_directory(dir) || std::filesystem::is_directory(dir));
  }
  ASSERT_EQ(dir.size(), 4075u);
  write_p(dir, 2, 3, 1.0f);
  EXPECT_EQ(testing::snapshot(dir).size(), 3u);
}

}  // namespace
}  // namespace d2g
