// One cf2grads run: reads the inputs, plans the product, and writes it (or, with --check,
// prints what it would write).
#pragma once

#include <ostream>

#include "cf2grads/options.h"

namespace d2g::cf2grads {

void run(const Options& options, std::ostream& log, std::ostream& diag);

}  // namespace d2g::cf2grads
