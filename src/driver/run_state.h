// RunState: the run-wide counts shared by the load and write phases.
#pragma once

#include <cstdint>

namespace d2g {

struct RunState {
  int32_t status = 0;     // status of the latest netCDF library call
  float undef = -999.0f;  // missing-value marker printed in every control file
  int32_t ncomb = 0;      // time count of the spell and arrival products, then 18
  int32_t nt_numdr = 0;   // second-axis length of "N_Drou_mon"
  int32_t nt_sen = 0;     // second-axis length of "SenSL", then of "Prob"
  int32_t nmon = 0;       // month count of the frequency and magnitude tables
  int32_t nstn = 0;       // station count; the last read ("reg") decides it
};

}  // namespace d2g
