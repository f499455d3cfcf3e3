// The tables a run loads and writes from, owned by the run from the load phase to its end.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/field2d.h"
#include "common/stations.h"

namespace d2g {

// The combinations of drought index and severity (the time axis of the spell, arrival and
// monthly products) and the months of the frequency and magnitude variables.
inline constexpr int32_t kCombinations = 18;
inline constexpr int32_t kMonths = 12;

struct RunTables {
  Field2D NUM_DR_MON;    // stations x nt_numdr
  Field2D SENSL;         // stations x second axis of "SenSL"
  Field2D PROB;          // stations x nt_sen
  Field2D SPELL_AVE;     // stations x 18
  Field2D SPELL_MAX;     // stations x 18
  Field2D TIME_ARR_AVE;  // stations x 18
  Field2D TIME_ARR_MAX;  // stations x 18
  // Frequencies and magnitudes: stations x (18 x 12), combination k's 12 months in time steps
  // 12 k ... 12 k + 11 (k 0-based), as each variable is read. A month's product gathers its 18
  // time steps from them when it is written. One table each, so that the memory is allocated
  // (and faulted in) in large pieces.
  Field2D FRE;
  Field2D MAG;
  Field2D X;  // one month's slice: stations x 18
  std::vector<float> LON;
  std::vector<float> LAT;
  std::vector<float> REG;   // kept for the run, read by no product; empty without "reg"
  std::vector<float> XSTN;  // station coordinates of the last station-list read
  std::vector<StationLabel> STATION;
};

// What the load found, for the plan that --check prints.
struct LoadedVariable {
  std::string file;
  std::string name;
  int64_t missing_cells = 0;
  // What the file says of it, for control files that carry it (see product_descriptions.h).
  std::string long_name;
  std::string units;
  std::string title;
  std::string axis_variable;  // the second axis's coordinate variable, when it has one
  std::vector<double> axis_values;
  std::string axis_units;
  std::string axis_calendar;
};

}  // namespace d2g
