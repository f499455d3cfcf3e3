// The tables a run loads and writes from, owned by the run from the load phase to its end.
#pragma once

#include <array>
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
  // Frequencies and magnitudes: for combination k (0-based), a table of stations x 12 months.
  // A month's product gathers time step k from FRE[k] (or MAG[k]) when it is written.
  std::array<Field2D, kCombinations> FRE;
  std::array<Field2D, kCombinations> MAG;
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
};

}  // namespace d2g
