// The plan that --check prints: what a run with the same inputs and options would write.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "driver/options.h"
#include "driver/run_state.h"
#include "driver/run_tables.h"

namespace d2g {

// Stations, each product with its time steps and size, the total, the marker, and per variable
// the cells that would be written as the marker.
void print_plan(const RunState& state, const Options& options,
                const std::vector<std::string>& products, const std::vector<LoadedVariable>& loaded,
                std::ostream& out);

}  // namespace d2g
