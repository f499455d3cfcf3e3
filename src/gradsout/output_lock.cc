#include "gradsout/output_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "common/fatal_error.h"
#include "common/interruption.h"
#include "common/program_name.h"

namespace d2g {

namespace {

// Whether the open file `fd` is still the one at `name` in the directory: a lock file removed
// and created anew by another run between our open and our lock is not the lock.
bool still_named(int dir_fd, int fd, const char* name) {
  struct stat held {
  }, named{};
  return ::fstat(fd, &held) == 0 && ::fstatat(dir_fd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 &&
         held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

FatalError lock_error(const OutputDir& dir, const std::string& first_name, int unit, int error,
                      const std::string& what) {
  const SevereError severe = error == EACCES || error == EPERM ? SevereError::kPermissionDenied
                                                               : SevereError::kOpenFailure;
  return FatalError::severe(severe, unit, absolute_path(dir.path(first_name)),
                            "the output directory " + absolute_path(dir.prefix()) +
                                " cannot be locked against other runs: " + what + " (" +
                                std::strerror(error) + ")");
}

// Opens (creating it if need be) the lock file that stands in for the directory.
int open_lock_file(const OutputDir& dir, const std::string& first_name, int unit) {
  const int fd = ::openat(dir.fd(), kLockFileName, O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  const int error = errno;
  struct stat info {};
  const bool there = ::fstatat(dir.fd(), kLockFileName, &info, AT_SYMLINK_NOFOLLOW) == 0;
  if (there && !S_ISREG(info.st_mode)) {
    throw lock_error(dir, first_name, unit, error,
                     std::string("something other than a file stands at the name of its lock "
                                 "file ") +
                         kLockFileName);
  }
  if (there && (error == EACCES || error == EPERM)) {
    throw lock_error(dir, first_name, unit, error,
                     "its lock file " + std::string(kLockFileName) +
                         ", left by a killed run, belongs to another user; remove it if no run "
                         "is writing there");
  }
  throw output_error(dir, first_name, unit, error, FileOperation::kCreate);
}

}  // namespace

void require_creatable(const OutputDir& dir, const std::string& first_name, int unit) {
  if (::faccessat(dir.fd(), ".", W_OK | X_OK, AT_EACCESS) != 0) {
    throw output_error(dir, first_name, unit, errno, FileOperation::kCreate);
  }
}

OutputLock::OutputLock(const OutputDir& dir, const std::string& first_name, int unit,
                       std::ostream& diag, Wait wait)
    : dir_(dir) {
  bool said = false;
  for (;;) {
    // The directory itself where it can be opened for reading, else the lock file.
    bool lock_file = false;
    int result = -1;
    int error = 0;
    int fd = ::openat(dir.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
      result = ::flock(fd, LOCK_EX | LOCK_NB);
      error = errno;
      if (result != 0 && error == EBADF) {
        ::close(fd);
        fd = -1;
      }
    }
    if (fd < 0) {
      lock_file = true;
      fd = open_lock_file(dir, first_name, unit);
      result = ::flock(fd, LOCK_EX | LOCK_NB);
      error = errno;
      if (result == 0 && !still_named(dir.fd(), fd, kLockFileName)) {
        ::close(fd);  // the lock file of a run that has just finished: try again
        continue;
      }
    }
    if (result == 0) {
      fd_ = fd;
      lock_file_ = lock_file;
      return;
    }
    ::close(fd);
    if (error != EWOULDBLOCK && error != EINTR) {
      throw lock_error(
          dir, first_name, unit, error,
          error == ENOLCK ? "its file system offers no locks" : "the file system refused the lock");
    }
    if (wait == Wait::kNever) return;
    if (!said) {
      diag << message_prefix() << "waiting for another run to finish writing into "
           << absolute_path(dir.prefix()) << "\n";
      diag.flush();
      said = true;
    }
    // Signals are held pending during the write phase, so wait in short steps and look for
    // them between.
    stop_if_interrupted();
    const timespec pause{0, 20 * 1000 * 1000};
    ::nanosleep(&pause, nullptr);
  }
}

OutputLock::~OutputLock() {
  if (fd_ < 0) return;
  // The lock file goes while it is still locked, so no other run can hold it meanwhile.
  if (lock_file_) ::unlinkat(dir_.fd(), kLockFileName, 0);
  ::close(fd_);  // closing releases the lock
}

int remove_stale_temporaries(const OutputDir& dir, const std::vector<std::string>& product_files) {
  const int fd = ::openat(dir.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  DIR* listing = ::fdopendir(fd);
  if (listing == nullptr) {
    ::close(fd);
    return 0;
  }
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    // ".NAME.tmp-PID" or ".NAME.tmp-PID-N", NAME one of the product files.
    for (const std::string& file : product_files) {
      const std::string head = "." + file + ".tmp-";
      if (name.compare(0, head.size(), head) != 0) continue;
      const std::string rest = name.substr(head.size());
      const std::size_t dash = rest.find('-');
      const std::string pid_text = rest.substr(0, dash);
      const std::string attempt = dash == std::string::npos ? "1" : rest.substr(dash + 1);
      if (pid_text.empty() || pid_text.size() > 9 || attempt.empty() ||
          pid_text.find_first_not_of("0123456789") != std::string::npos ||
          attempt.find_first_not_of("0123456789") != std::string::npos) {
        continue;
      }
      stale.push_back(name);
    }
  }
  ::closedir(listing);
  int removed = 0;
  for (const std::string& name : stale) {
    removed += ::unlinkat(dir.fd(), name.c_str(), 0) == 0 ? 1 : 0;
  }
  return removed;
}

}  // namespace d2g
