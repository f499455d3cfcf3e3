#include "gradsout/output_dir.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

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

FatalError creation_error(const OutputDir& dir, std::string_view name, int unit, int error) {
  const std::string path = absolute_path(dir.path(name));
  if (error == EACCES || error == EPERM || error == EROFS) {
    return FatalError::severe(SevereError::kPermissionDenied, unit, path,
                              "products are replaced through new files in " +
                                  absolute_path(dir.prefix()) +
                                  (error == EROFS ? ", a read-only file system"
                                                  : ", where this user cannot create files"));
  }
  return FatalError::severe(open_error_from_errno(error), unit, path);
}

std::string absolute_path(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

}  // namespace d2g
