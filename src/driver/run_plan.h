// The plan that --check prints: what a run with the same inputs and options would write.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "driver/options.h"
#include "driver/product_descriptions.h"
#include "driver/run_state.h"
#include "driver/run_tables.h"

namespace d2g {

// Stations, each product with its time steps and size, the total, the marker, and per variable
// the cells that would be written as the marker. Without `lock_free`, a note that another run is
// writing into the directory now, which a run would wait for.
void print_plan(const RunState& state, const Options& options,
                const std::vector<std::string>& products, const std::vector<LoadedVariable>& loaded,
                const ProductDescriptions& descriptions, bool lock_free, std::ostream& out);

}  // namespace d2g
