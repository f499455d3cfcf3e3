// drought2grads-plot's command line.
#pragma once

#include <optional>
#include <ostream>

#include "plot/options.h"

namespace d2g::plot {

// Fills `options`; returns the exit status when the program is to stop at once (help, version,
// a usage error, which is explained on `err`).
std::optional<int> parse_command_line(int argc, const char* const* argv, Options& options,
                                      std::ostream& out, std::ostream& err);

}  // namespace d2g::plot
