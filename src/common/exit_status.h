// Exit statuses of the program. Run-time failures on output files and memory exit with the
// number of their SevereError (see fatal_error.h).
#pragma once

namespace d2g::exit_status {

inline constexpr int kSuccess = 0;
inline constexpr int kBadInput = 1;  // an input file, variable or shape that cannot be converted
inline constexpr int kUsage = 2;     // a bad command line
inline constexpr int kInternalError = 70;  // a fault of the program itself
inline constexpr int kLogWriteError = 74;  // the progress log could not be written

}  // namespace d2g::exit_status
