// The command line of cf2grads.
#pragma once

#include <optional>
#include <ostream>

#include "cf2grads/options.h"

namespace d2g::cf2grads {

// Fills `options`; returns the exit status when the program is to stop now (help, version, a
// usage error), nothing when it is to run.
std::optional<int> parse_command_line(int argc, const char* const* argv, Options& options,
                                      std::ostream& out, std::ostream& err);

}  // namespace d2g::cf2grads
