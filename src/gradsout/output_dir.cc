#include "gradsout/output_dir.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "common/fatal_error.h"

namespace d2g {

OutputDir::OutputDir(std::string prefix, std::string_view first_name, int unit)
    : prefix_(std::move(prefix)) {
  fd_ = ::open(prefix_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0 && errno == EACCES) {
    // A directory we may create files in but not list is still usable.
    fd_ = ::open(prefix_.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  }
  if (fd_ < 0) {
    throw FatalError::severe(open_error_from_errno(errno), unit, absolute_path(path(first_name)));
  }
}

OutputDir::~OutputDir() {
  if (fd_ >= 0) ::close(fd_);
}

void OutputDir::sync(std::string_view name, int unit) const {
  if (::fsync(fd_) != 0 && errno != EBADF && errno != EINVAL) {
    throw FatalError::severe(SevereError::kWriteError, unit, absolute_path(path(name)));
  }
}

std::string absolute_path(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

}  // namespace d2g
