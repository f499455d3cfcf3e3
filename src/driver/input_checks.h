// Checks of the loaded inputs against what their products need. Every check runs before the
// first product is written, so a bad input leaves existing products untouched; a failure ends the
// run with a message naming the file and the variable.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "ncinput/readers.h"

namespace d2g {

// One input variable: the file as it was opened and the variable's name.
struct InputVariable {
  std::string file;
  std::string_view name;
};

// The second axis becomes a product's time axis: it needs at least one step.
void require_time_steps(const InputVariable& var, const Read2D& read);

// The second axis must hold exactly `expected` values; `meaning` says why ("one per month").
void require_second_axis(const InputVariable& var, const Read2D& read, int32_t expected,
                         std::string_view meaning);

// Every variable must cover the same stations as the station list. The result files are read
// first, so each is compared with the first one read and the station list with all of them.
class StationCountCheck {
 public:
  void require_result_variable(const InputVariable& var, std::string_view dim_name, int32_t n);
  void require_station_list_variable(const InputVariable& var, std::string_view dim_name,
                                     int32_t n) const;

 private:
  bool have_reference_ = false;
  int32_t reference_count_ = 0;
  std::string reference_file_;
  std::string reference_name_;
};

// A _FillValue or missing_value that differs from the control files' marker would show as data
// in GrADS: say so once per variable on `diag`.
void warn_about_missing_markers(const InputVariable& var, const std::vector<MissingMarker>& markers,
                                float undef, std::ostream& diag);

}  // namespace d2g
