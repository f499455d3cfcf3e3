// The nine-line GrADS control file that describes one station data product.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace d2g {

// The missing-value marker as the undef line prints it: fixed point, right-aligned in 8
// characters, with one decimal where that states the single-precision marker exactly ("  -999.0")
// and otherwise as few more as exactness needs ("  -99.99", " 0.00001"); "     NaN". A value that
// needs more characters widens the field instead of printing asterisks, which GrADS cannot read.
std::string undef_field(float undef);

// The time count as the tdef line prints it: right-aligned in 3 characters, widened when longer.
std::string time_count_field(int32_t ntime);

// The whole control file for product `name` (trimmed) with variable `ctlvar` (trimmed).
std::string control_file_text(std::string_view name, std::string_view ctlvar, int32_t ntime,
                              float undef);

}  // namespace d2g
