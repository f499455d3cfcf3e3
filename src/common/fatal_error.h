// FatalError: the one exception that ends a run. main prints its message on standard error,
// after "drought2grads: ", and exits with its status.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace d2g {

// Run-time failures on output files and memory. The number is the exit status.
enum class SevereError {
  kPermissionDenied = 9,
  kFileNotFound = 29,
  kOpenFailure = 30,
  kWriteError = 38,
  kNoMemory = 41,
  kNoSuchDevice = 42,
  kFileNameError = 43,
  kWriteReadOnly = 47,
};

inline constexpr SevereError kSevereErrors[] = {
    SevereError::kPermissionDenied, SevereError::kFileNotFound,  SevereError::kOpenFailure,
    SevereError::kWriteError,       SevereError::kNoMemory,      SevereError::kNoSuchDevice,
    SevereError::kFileNameError,    SevereError::kWriteReadOnly,
};

// "permission to access file denied", "file not found", ...
const char* severe_error_text(SevereError error);

// The error that a failed open or create of an output file reports for `errno_value`.
SevereError open_error_from_errno(int errno_value);

class FatalError : public std::runtime_error {
 public:
  // "error: FILE: WHAT", exit status 1.
  static FatalError bad_input(std::string_view file, std::string_view what);
  // "severe (N): TEXT, unit U, file PATH", exit status N. That first line keeps its fixed form;
  // a `cause` (why the file could not be written when the file itself is not to blame) follows
  // on a line of its own, "drought2grads: CAUSE".
  static FatalError severe(SevereError error, int unit, std::string_view absolute_path,
                           std::string_view cause = "");
  // "severe (41): insufficient virtual memory", exit status 41.
  static FatalError out_of_memory();
  // "interrupted by SIGINT; ...", exit status 128 + signal.
  static FatalError interrupted(int signal);

  int exit_status() const { return exit_status_; }

 private:
  FatalError(const std::string& message, int exit_status)
      : std::runtime_error(message), exit_status_(exit_status) {}

  int exit_status_;
};

}  // namespace d2g
