// Checks of the inputs' declared shapes against what their products need. They run on the
// shapes alone, before any table is allocated or any value read, so a bad input costs no memory
// and leaves existing products untouched; a failure ends the run with a message naming the file
// and the variable.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ncinput/variable.h"

namespace d2g {

// One input variable: the file as it was opened and the variable's name.
struct InputVariable {
  std::string file;
  std::string name;
};

// Every result variable covers the stations of the station list (at `station_list`). The message
// names the dimension taken for the station one and lists `dimensions`, the variable's own.
void require_station_count(const InputVariable& var, const Layout2D& layout,
                           const StationAxis& axis, const std::string& station_list,
                           const std::string& dimensions);

// The second axis becomes a product's time axis: it needs at least one step.
void require_time_steps(const InputVariable& var, const Layout2D& layout);

// The second axis must hold exactly `expected` values; `meaning` says why ("one per month").
void require_second_axis(const InputVariable& var, const Layout2D& layout, int32_t expected,
                         std::string_view meaning);

}  // namespace d2g
