// One whole conversion: the load phase, then the write phase.
#pragma once

#include <ostream>

#include "driver/options.h"

namespace d2g {

// Converts the inputs named by `options` into the 31 products. The progress log goes to `log`,
// warnings to `diag`; a failure throws FatalError before or while writing a product, and never
// leaves a product half-written.
void run(const Options& options, std::ostream& log, std::ostream& diag);

}  // namespace d2g
