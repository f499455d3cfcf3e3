#include "gradsout/pending_file.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "common/fatal_error.h"

namespace d2g {

namespace {

// Attributes that forbid renaming over or removing a file (chattr +a, chattr +i), as statx
// reports them; nothing where the file system does not say.
const char* attribute_forbidding_replacement(int dir_fd, const char* name, int flags) {
  struct statx info {};
  if (::statx(dir_fd, name, flags | AT_STATX_SYNC_AS_STAT, 0, &info) != 0) return nullptr;
  if ((info.stx_attributes_mask & STATX_ATTR_IMMUTABLE) &&
      (info.stx_attributes & STATX_ATTR_IMMUTABLE)) {
    return "immutable (chattr +i)";
  }
  if ((info.stx_attributes_mask & STATX_ATTR_APPEND) && (info.stx_attributes & STATX_ATTR_APPEND)) {
    return "append-only (chattr +a)";
  }
  return nullptr;
}

// The existing target's status, or nothing for a new one. Fails as opening the target for
// writing in place would, without opening it: a FIFO opened for writing would wake its reader.
// Fails too where the swap would be refused, so that a run finds it before it replaces anything.
std::optional<struct stat> replaceable_target(const OutputDir& dir, const std::string& name,
                                              int unit) {
  const std::string path = absolute_path(dir.path(name));
  struct stat info {};
  if (::fstatat(dir.fd(), name.c_str(), &info, 0) != 0) {
    if (errno == ENOENT) return std::nullopt;
    throw output_error(dir, name, unit, errno, FileOperation::kCreate);
  }
  if (!S_ISREG(info.st_mode)) {
    throw FatalError::severe(SevereError::kOpenFailure, unit, path,
                             "a " +
                                 std::string(S_ISDIR(info.st_mode) ? "directory" : "special file") +
                                 " stands where the product file should be");
  }
  const std::string directory = "the output directory " + absolute_path(dir.prefix());
  if (const char* attribute = attribute_forbidding_replacement(dir.fd(), name.c_str(), 0)) {
    throw FatalError::severe(SevereError::kPermissionDenied, unit, path,
                             fmt::format("the file is {}: it cannot be replaced", attribute));
  }
  if (const char* attribute = attribute_forbidding_replacement(dir.fd(), "", AT_EMPTY_PATH)) {
    throw FatalError::severe(
        SevereError::kPermissionDenied, unit, path,
        fmt::format("{} is {}: no file in it can be replaced", directory, attribute));
  }
  if (::faccessat(dir.fd(), name.c_str(), W_OK, AT_EACCESS) != 0) {
    const int error = errno;
    // Readable but not writable: the file is there only for reading.
    const bool readable = ::faccessat(dir.fd(), name.c_str(), R_OK, AT_EACCESS) == 0;
    if (readable && error != EROFS) {
      throw FatalError::severe(SevereError::kWriteReadOnly, unit, path);
    }
    throw output_error(dir, name, unit, error, FileOperation::kReplace);
  }
  // In a sticky directory (such as /tmp) only the file's owner, the directory's owner or a
  // privileged process may rename over a file.
  struct stat parent {};
  if (::fstat(dir.fd(), &parent) == 0 && (parent.st_mode & S_ISVTX) != 0 &&
      info.st_uid != ::geteuid() && parent.st_uid != ::geteuid() && ::geteuid() != 0) {
    throw FatalError::severe(
        SevereError::kPermissionDenied, unit, path,
        fmt::format("{} is sticky and the file belongs to another user (uid {}): only its owner "
                    "may replace it",
                    directory, info.st_uid));
  }
  return info;
}

// The file being replaced is of no further use once the new one stands: its cached pages are
// given back now (clean ones; the data stay on the disk), so that writing its successor reuses
// them instead of needing as much memory again. Products are often as large as the memory.
void release_cached_pages(const OutputDir& dir, const std::string& name) {
  const int fd = ::openat(dir.fd(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
  ::close(fd);
}

}  // namespace

std::string temporary_name(const std::string& name, pid_t pid, int attempt) {
  std::string temp = "." + name + ".tmp-" + std::to_string(pid);
  if (attempt > 0) temp += "-" + std::to_string(attempt);
  return temp;
}

void require_replaceable(const OutputDir& dir, const std::string& name, int unit) {
  replaceable_target(dir, name, unit);
}

PendingFile::PendingFile(const OutputDir& dir, std::string name, int unit, bool durable)
    : dir_(dir), name_(std::move(name)), unit_(unit), durable_(durable) {
  const std::optional<struct stat> old = replaceable_target(dir_, name_, unit_);
  for (int attempt = 0; fd_ < 0; ++attempt) {
    temp_name_ = temporary_name(name_, ::getpid(), attempt);
    fd_ = ::openat(dir_.fd(), temp_name_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) break;
    const int error = errno;
    if (error == EEXIST && attempt < 100) continue;
    temp_name_.clear();
    throw output_error(dir_, name_, unit_, error, FileOperation::kCreate);
  }
  if (!old) return;
  release_cached_pages(dir_, name_);
  // Owner and group first: changing them may clear set-id bits that the mode then restores.
  // Only a privileged process may give a file away; for others the attempt changes nothing.
  if ((old->st_uid != ::geteuid() || old->st_gid != ::getegid()) &&
      ::fchown(fd_, old->st_uid, old->st_gid) != 0 && errno != EPERM) {
    fail(errno);
  }
  if (::fchmod(fd_, old->st_mode & 07777) != 0) fail(errno);
}

PendingFile::~PendingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temp_name_.empty()) ::unlinkat(dir_.fd(), temp_name_.c_str(), 0);
}

void PendingFile::write(const void* bytes, std::size_t count) {
  const char* next = static_cast<const char*>(bytes);
  while (count > 0) {
    const ssize_t written = ::write(fd_, next, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    next += written;
    count -= static_cast<std::size_t>(written);
  }
}

void PendingFile::finish() {
  if (durable_ && ::fsync(fd_) != 0) fail(errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) fail(errno);
}

void PendingFile::fail(int error) {
  // The destructor does not run for a constructor that throws: clean up here as well.
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!committed_ && !temp_name_.empty()) ::unlinkat(dir_.fd(), temp_name_.c_str(), 0);
  temp_name_.clear();
  throw output_error(dir_, name_, unit_, error, FileOperation::kWrite);
}

}  // namespace d2g
