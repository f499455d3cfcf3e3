#include "gradsout/pending_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <optional>

#include "common/fatal_error.h"

namespace d2g {

namespace {

// The permission bits of an existing target, or nothing for a new one. Fails as opening the
// target for writing in place would.
std::optional<mode_t> replaceable_mode(const std::string& path, int unit) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT) return std::nullopt;
    if (error == EACCES || error == EPERM) {
      // Readable but not writable: the file is there only for reading.
      const int read_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
      if (read_fd >= 0) {
        ::close(read_fd);
        throw FatalError::severe(SevereError::kWriteReadOnly, unit, absolute_path(path));
      }
    }
    throw FatalError::severe(open_error_from_errno(error), unit, absolute_path(path));
  }
  struct stat info {};
  const bool regular = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  ::close(fd);
  if (!regular) throw FatalError::severe(SevereError::kOpenFailure, unit, absolute_path(path));
  return info.st_mode & 07777;
}

}  // namespace

std::string absolute_path(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

void require_replaceable(const std::string& path, int unit) { replaceable_mode(path, unit); }

void remove_if_present(const std::string& path, int unit) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    throw FatalError::severe(open_error_from_errno(errno), unit, absolute_path(path));
  }
}

PendingFile::PendingFile(std::string path, int unit) : path_(std::move(path)), unit_(unit) {
  const std::optional<mode_t> old_mode = replaceable_mode(path_, unit_);
  // A hidden name in the target's directory, so that the final rename stays on one file system.
  const std::filesystem::path target(path_);
  const std::string stem = (target.parent_path() / ("." + target.filename().string())).string() +
                           ".tmp-" + std::to_string(::getpid());
  for (int attempt = 0; fd_ < 0; ++attempt) {
    temp_path_ = attempt == 0 ? stem : stem + "-" + std::to_string(attempt);
    fd_ = ::open(temp_path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ < 0 && (errno != EEXIST || attempt >= 100)) {
      const int error = errno;
      temp_path_.clear();
      fail_with_errno(error);
    }
  }
  if (old_mode && ::fchmod(fd_, *old_mode) != 0) {
    // The destructor does not run for a constructor that throws: clean up here.
    const int error = errno;
    ::close(fd_);
    ::unlink(temp_path_.c_str());
    fail_with_errno(error);
  }
}

PendingFile::~PendingFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temp_path_.empty()) ::unlink(temp_path_.c_str());
}

void PendingFile::write(const void* bytes, std::size_t count) {
  const char* next = static_cast<const char*>(bytes);
  while (count > 0) {
    const ssize_t written = ::write(fd_, next, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      fail_write();
    }
    next += written;
    count -= static_cast<std::size_t>(written);
  }
}

void PendingFile::finish() {
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) fail_write();
}

void PendingFile::commit() {
  if (::rename(temp_path_.c_str(), path_.c_str()) != 0) fail_with_errno(errno);
  committed_ = true;
}

void PendingFile::fail_with_errno(int errno_value) const {
  throw FatalError::severe(open_error_from_errno(errno_value), unit_, absolute_path(path_));
}

void PendingFile::fail_write() const {
  throw FatalError::severe(SevereError::kWriteError, unit_, absolute_path(path_));
}

}  // namespace d2g
