// The command line: options into Options, or the exit status of a run that ends right there
// (--help, --version, a usage error).
#pragma once

#include <optional>
#include <ostream>

#include "driver/options.h"

namespace d2g {

// Parses argv into `options`. Returns nothing when the run should go on; otherwise the exit
// status, after printing help or the version on `out`, or a usage error on `err`:
// "drought2grads: error: WHAT" and a line pointing at --help, status 2.
std::optional<int> parse_command_line(int argc, const char* const* argv, Options& options,
                                      std::ostream& out, std::ostream& err);

}  // namespace d2g
