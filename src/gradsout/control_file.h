// The GrADS control file that describes one station data product: nine lines by default, and
// what a product may say besides (its real time axis, its title and description, attributes).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace d2g {

// The missing-value marker as the undef line prints it: fixed point, right-aligned in 8
// characters, with one decimal where that states the single-precision marker exactly ("  -999.0")
// and otherwise as few more as exactness needs ("  -99.99", " 0.00001"); "     NaN". A value that
// needs more characters widens the field instead of printing asterisks, which GrADS cannot read.
std::string undef_field(float undef);

// The time count as the tdef line prints it: right-aligned in 3 characters, widened when longer.
std::string time_count_field(int32_t ntime);

// What a control file may say beyond the fixed form; every part left empty keeps it.
struct ControlDescription {
  std::string title;              // the title line ("Factor Analysis" when empty)
  std::string description;        // the variable's description ("Factor" when empty)
  std::string tdef_start;         // "00Z01jan1991" and
  std::string tdef_step;          // "1yr" (both empty: "jan1980" and "1mo")
  bool calendar_365_day = false;  // "options 365_day_calendar"
  // "@ VAR String NAME VALUE" lines after the variable, as (NAME, VALUE).
  std::vector<std::pair<std::string, std::string>> attributes;
};

// A text made safe for one control-file line: line breaks and tabs become blanks, runs of blanks
// one, and it is cut to `most` characters. GrADS 2.2.1 refuses a file with a line of 512
// characters or more and shows about 160 characters of a description.
std::string control_text(std::string_view text, std::size_t most);

// The whole control file for product `name` (trimmed) with variable `ctlvar` (trimmed).
std::string control_file_text(std::string_view name, std::string_view ctlvar, int32_t ntime,
                              float undef, const ControlDescription& description = {});

}  // namespace d2g
