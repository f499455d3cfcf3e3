#include "driver/input_checks.h"

#include <fmt/format.h>

#include <cmath>

#include "common/fatal_error.h"
#include "common/fixed_width.h"

namespace d2g {

namespace {

std::string quoted_dim(std::string_view dim_name) {
  return fmt::format("\"{}\"", trim_right(dim_name));
}

}  // namespace

void require_time_steps(const InputVariable& var, const Read2D& read) {
  if (read.ndim2 >= 1) return;
  throw FatalError::bad_input(
      var.file, fmt::format("variable \"{}\": second axis {} is empty; a product needs at least "
                            "one time step",
                            var.name, quoted_dim(read.second_dim_name)));
}

void require_second_axis(const InputVariable& var, const Read2D& read, int32_t expected,
                         std::string_view meaning) {
  if (read.ndim2 == expected) return;
  throw FatalError::bad_input(
      var.file,
      fmt::format("variable \"{}\": second axis {} has {} values; {} expected ({})", var.name,
                  quoted_dim(read.second_dim_name), read.ndim2, expected, meaning));
}

void StationCountCheck::require_result_variable(const InputVariable& var, std::string_view dim_name,
                                                int32_t n) {
  if (!have_reference_) {
    have_reference_ = true;
    reference_count_ = n;
    reference_file_ = var.file;
    reference_name_ = std::string(var.name);
    return;
  }
  if (n == reference_count_) return;
  throw FatalError::bad_input(
      var.file,
      fmt::format("variable \"{}\": station dimension {} has {} values; {} expected (as in "
                  "\"{}\" in {})",
                  var.name, quoted_dim(dim_name), n, reference_count_, reference_name_,
                  reference_file_));
}

void StationCountCheck::require_station_list_variable(const InputVariable& var,
                                                      std::string_view dim_name, int32_t n) const {
  if (!have_reference_ || n == reference_count_) return;
  throw FatalError::bad_input(
      var.file,
      fmt::format("variable \"{}\": the station list has {} stations (dimension {}), but the "
                  "result files have {} (as in \"{}\" in {})",
                  var.name, n, quoted_dim(dim_name), reference_count_, reference_name_,
                  reference_file_));
}

void warn_about_missing_markers(const InputVariable& var, const std::vector<MissingMarker>& markers,
                                float undef, std::ostream& diag) {
  for (const MissingMarker& marker : markers) {
    const float value = static_cast<float>(marker.value);
    const bool same = value == undef || (std::isnan(value) && std::isnan(undef));
    if (same) continue;
    diag << fmt::format(
        "drought2grads: warning: {}: variable \"{}\" declares {} = {}, but the products mark "
        "missing values with {}; GrADS will show those cells as data (use --undef {})\n",
        var.file, var.name, marker.attribute, marker.value, undef, marker.value);
    return;
  }
}

}  // namespace d2g
