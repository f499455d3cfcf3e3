#include "gradsout/pending_file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "common/fatal_error.h"
#include "gradsout/file_reaper.h"

namespace d2g {

namespace {

// The existing target's status, or nothing for a new one. Fails as opening the target for
// writing in place would, without opening it: a FIFO opened for writing would wake its reader.
std::optional<struct stat> replaceable_target(const OutputDir& dir, const std::string& name,
                                              int unit) {
  struct stat info {};
  if (::fstatat(dir.fd(), name.c_str(), &info, 0) != 0) {
    if (errno == ENOENT) return std::nullopt;
    throw FatalError::severe(open_error_from_errno(errno), unit, absolute_path(dir.path(name)));
  }
  if (!S_ISREG(info.st_mode)) {
    throw FatalError::severe(SevereError::kOpenFailure, unit, absolute_path(dir.path(name)));
  }
  if (::faccessat(dir.fd(), name.c_str(), W_OK, AT_EACCESS) != 0) {
    // Readable but not writable: the file is there only for reading.
    const bool readable = ::faccessat(dir.fd(), name.c_str(), R_OK, AT_EACCESS) == 0;
    const SevereError error =
        readable && errno != EROFS ? SevereError::kWriteReadOnly : open_error_from_errno(errno);
    throw FatalError::severe(error, unit, absolute_path(dir.path(name)));
  }
  return info;
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
    throw creation_error(dir_, name_, unit_, error);
  }
  if (!old) return;
  // Owner and group first: changing them may clear set-id bits that the mode then restores.
  // Only a privileged process may give a file away; for others the attempt changes nothing.
  if ((old->st_uid != ::geteuid() || old->st_gid != ::getegid()) &&
      ::fchown(fd_, old->st_uid, old->st_gid) != 0 && errno != EPERM) {
    fail(open_error_from_errno(errno));
  }
  if (::fchmod(fd_, old->st_mode & 07777) != 0) fail(open_error_from_errno(errno));
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
      fail(SevereError::kWriteError);
    }
    next += written;
    count -= static_cast<std::size_t>(written);
  }
}

void PendingFile::finish() {
  if (durable_ && ::fsync(fd_) != 0) fail(SevereError::kWriteError);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) fail(SevereError::kWriteError);
}

void PendingFile::commit(FileReaper* reaper) {
  if (reaper != nullptr && ::syscall(SYS_renameat2, dir_.fd(), temp_name_.c_str(), dir_.fd(),
                                     name_.c_str(), RENAME_EXCHANGE) == 0) {
    // The old file now has the temporary name.
    committed_ = true;
    reaper->remove(dir_.fd(), temp_name_);
    return;
  }
  if (::renameat(dir_.fd(), temp_name_.c_str(), dir_.fd(), name_.c_str()) != 0) {
    fail(open_error_from_errno(errno));
  }
  committed_ = true;
}

void PendingFile::fail(SevereError error) {
  // The destructor does not run for a constructor that throws: clean up here as well.
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!committed_ && !temp_name_.empty()) ::unlinkat(dir_.fd(), temp_name_.c_str(), 0);
  temp_name_.clear();
  throw FatalError::severe(error, unit_, absolute_path(dir_.path(name_)));
}

}  // namespace d2g
