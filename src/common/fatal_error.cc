#include "common/fatal_error.h"

#include <fmt/format.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/exit_status.h"
#include "common/program_name.h"

namespace d2g {

namespace {

struct SevereErrorText {
  SevereError error;
  const char* text;
};

static const SevereErrorText kSevereErrorTexts[] = {
    {SevereError::kPermissionDenied, "permission to access file denied"},
    {SevereError::kFileNotFound, "file not found"},
    {SevereError::kOpenFailure, "open failure"},
    {SevereError::kWriteError, "error during write"},
    {SevereError::kNoMemory, "insufficient virtual memory"},
    {SevereError::kNoSuchDevice, "no such device"},
    {SevereError::kFileNameError, "file name specification error"},
    {SevereError::kWriteReadOnly, "write to READONLY file"},
};

}  // namespace

const char* severe_error_text(SevereError error) {
  for (const auto& entry : kSevereErrorTexts) {
    if (entry.error == error) return entry.text;
  }
  return "unknown error";
}

SevereError open_error_from_errno(int errno_value) {
  switch (errno_value) {
    case ENOENT:
      return SevereError::kFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return SevereError::kPermissionDenied;
    case ENOTDIR:
    case ENAMETOOLONG:
      return SevereError::kFileNameError;
    case ENODEV:
    case ENXIO:
      return SevereError::kNoSuchDevice;
    default:
      return SevereError::kOpenFailure;
  }
}

FatalError FatalError::bad_input(std::string_view file, std::string_view what) {
  return FatalError(fmt::format("error: {}: {}", file, what), exit_status::kBadInput);
}

FatalError FatalError::severe(SevereError error, int unit, std::string_view absolute_path,
                              std::string_view cause) {
  const int number = static_cast<int>(error);
  return FatalError(
      fmt::format("severe ({}): {}, unit {}, file {}{}{}", number, severe_error_text(error), unit,
                  absolute_path, cause.empty() ? "" : "\n" + message_prefix(), cause),
      number);
}

FatalError FatalError::out_of_memory() {
  const SevereError error = SevereError::kNoMemory;
  const int number = static_cast<int>(error);
  return FatalError(fmt::format("severe ({}): {}", number, severe_error_text(error)), number);
}

FatalError FatalError::interrupted(int signal) {
  const char* name = sigabbrev_np(signal);
  return FatalError(fmt::format("interrupted by SIG{}; every product is either complete or as it "
                                "was before the run",
                                name != nullptr ? name : std::to_string(signal)),
                    128 + signal);
}

}  // namespace d2g
