// One drought2grads-plot run: reads the product, builds the figure's GrADS script, has GrADS
// draw it in a scratch directory, and moves the finished pages into place whole.
#pragma once

#include <ostream>

#include "plot/options.h"

namespace d2g::plot {

// Prints the path of each page written on `out`.
void run(const Options& options, std::ostream& out);

}  // namespace d2g::plot
