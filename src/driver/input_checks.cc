#include "driver/input_checks.h"

#include <fmt/format.h>

#include "common/fatal_error.h"

namespace d2g {

namespace {

std::string quoted(const Dimension& dim) { return fmt::format("\"{}\"", dim.full_name); }

}  // namespace

void require_station_count(const InputVariable& var, const Layout2D& layout,
                           const StationAxis& axis, const std::string& station_list,
                           const std::string& dimensions) {
  if (layout.station.length == axis.count) return;
  throw FatalError::bad_input(
      var.file, fmt::format("variable \"{}\": station dimension {} has {} values; {} expected "
                            "(the stations of {}); its dimensions are {}",
                            var.name, quoted(layout.station), layout.station.length, axis.count,
                            station_list, dimensions));
}

void require_time_steps(const InputVariable& var, const Layout2D& layout) {
  if (layout.second.length >= 1) return;
  throw FatalError::bad_input(
      var.file, fmt::format("variable \"{}\": second axis {} is empty; a product needs at least "
                            "one time step",
                            var.name, quoted(layout.second)));
}

void require_second_axis(const InputVariable& var, const Layout2D& layout, int32_t expected,
                         std::string_view meaning) {
  if (layout.second.length == expected) return;
  throw FatalError::bad_input(
      var.file,
      fmt::format("variable \"{}\": second axis {} has {} values; {} expected ({})", var.name,
                  quoted(layout.second), layout.second.length, expected, meaning));
}

}  // namespace d2g
