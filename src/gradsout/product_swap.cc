#include "gradsout/product_swap.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "gradsout/file_reaper.h"

namespace d2g {

namespace {

bool exists(const OutputDir& dir, const std::string& name) {
  struct stat info {};
  return ::fstatat(dir.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

// Renames `from` to `to` where `to` does not exist; file systems that cannot promise that
// (EINVAL) get a plain rename, which is the same while this run holds the directory's lock.
int move_to_free_name(int dir_fd, const std::string& from, const std::string& to) {
  if (::renameat2(dir_fd, from.c_str(), dir_fd, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL) return -1;
  return ::renameat(dir_fd, from.c_str(), dir_fd, to.c_str());
}

}  // namespace

ProductSwap::~ProductSwap() {
  if (!completed_) roll_back();
}

std::string ProductSwap::aside_name(const std::string& name) {
  for (int attempt = 100;; ++attempt) {
    std::string candidate = temporary_name(name, ::getpid(), attempt);
    if (!exists(dir_, candidate)) return candidate;
  }
}

void ProductSwap::withdraw(const std::string& name, int unit) {
  if (!exists(dir_, name)) return;
  const std::string aside = aside_name(name);
  if (move_to_free_name(dir_.fd(), name, aside) != 0) {
    throw output_error(dir_, name, unit, errno, FileOperation::kReplace);
  }
  moves_.push_back({name, aside});
}

void ProductSwap::put(PendingFile& file) {
  const std::string& name = file.name();
  const std::string& temp = file.temp_name();
  // Atomic exchange: the new file in place, the old one under the temporary name.
  if (::renameat2(dir_.fd(), temp.c_str(), dir_.fd(), name.c_str(), RENAME_EXCHANGE) == 0) {
    file.mark_committed();
    moves_.push_back({name, temp});
    return;
  }
  if (errno != ENOENT && errno != EINVAL) {
    throw output_error(dir_, name, file.unit(), errno, FileOperation::kReplace);
  }
  // No old file, or a file system without exchange: move the old one aside first.
  if (errno == EINVAL) withdraw(name, file.unit());
  if (move_to_free_name(dir_.fd(), temp, name) != 0) {
    throw output_error(dir_, name, file.unit(), errno, FileOperation::kReplace);
  }
  file.mark_committed();
  moves_.push_back({name, ""});
}

void ProductSwap::complete(FileReaper* reaper) {
  completed_ = true;
  for (const Move& move : moves_) {
    if (move.aside.empty()) continue;
    if (reaper != nullptr) {
      reaper->remove(dir_.fd(), move.aside);
    } else {
      ::unlinkat(dir_.fd(), move.aside.c_str(), 0);
    }
  }
  moves_.clear();
}

void ProductSwap::roll_back() noexcept {
  for (auto move = moves_.rbegin(); move != moves_.rend(); ++move) {
    if (move->aside.empty()) {
      ::unlinkat(dir_.fd(), move->name.c_str(), 0);  // a new file where there was none
    } else {
      // The old file back over the new one (or into its empty place).
      ::renameat(dir_.fd(), move->aside.c_str(), dir_.fd(), move->name.c_str());
    }
  }
  moves_.clear();
}

}  // namespace d2g
