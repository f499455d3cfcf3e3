#include "gradsout/output_dir.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
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
    const int error = errno;
    const std::string directory = "the output directory " + absolute_path(prefix_) + " ";
    std::string cause;
    if (error == ENOENT) cause = directory + "does not exist";
    if (error == ENOTDIR) cause = directory + "is not a directory, or a part of its path is not";
    if (error == EACCES) cause = directory + "cannot be reached by this user";
    throw FatalError::severe(open_error_from_errno(error), unit, absolute_path(path(first_name)),
                             cause);
  }
}

OutputDir::~OutputDir() {
  if (fd_ >= 0) ::close(fd_);
}

void OutputDir::sync(std::string_view name, int unit) const {
  if (::fsync(fd_) != 0 && errno != EBADF && errno != EINVAL) {
    throw output_error(*this, name, unit, errno, FileOperation::kWrite);
  }
}

FatalError output_error(const OutputDir& dir, std::string_view name, int unit, int error,
                        FileOperation operation) {
  const std::string path = absolute_path(dir.path(name));
  const std::string directory = "the output directory " + absolute_path(dir.prefix()) + " ";
  const std::string reason = std::strerror(error);
  switch (error) {
    case ENOSPC:
      return FatalError::severe(SevereError::kWriteError, unit, path,
                                directory + "is on a full file system (" + reason +
                                    ": no free blocks or no free inodes)");
    case EDQUOT:
      return FatalError::severe(SevereError::kWriteError, unit, path,
                                directory +
                                    "is on a file system where this user's quota is "
                                    "exhausted (" +
                                    reason + ")");
    case EFBIG:
      return FatalError::severe(SevereError::kWriteError, unit, path,
                                "the file would exceed the file-size limit (" + reason + ")");
    case EIO:
      return FatalError::severe(SevereError::kWriteError, unit, path,
                                directory + "reported an input/output error (" + reason + ")");
    case EROFS:
      return FatalError::severe(SevereError::kPermissionDenied, unit, path,
                                directory + "is on a read-only file system");
    case EMFILE:
    case ENFILE:
      return FatalError::severe(SevereError::kOpenFailure, unit, path,
                                "no file descriptor is left for it (" + reason + ")");
    case EACCES:
    case EPERM:
      if (operation == FileOperation::kCreate) {
        return FatalError::severe(SevereError::kPermissionDenied, unit, path,
                                  directory +
                                      "does not let this user create files; products "
                                      "are replaced through new files");
      }
      if (operation == FileOperation::kReplace) {
        return FatalError::severe(
            SevereError::kPermissionDenied, unit, path,
            directory + "does not let this user replace the file (" + reason + ")");
      }
      break;
    default:
      break;
  }
  if (operation == FileOperation::kWrite) {
    return FatalError::severe(SevereError::kWriteError, unit, path);
  }
  return FatalError::severe(open_error_from_errno(error), unit, path);
}

std::string absolute_path(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

}  // namespace d2g
