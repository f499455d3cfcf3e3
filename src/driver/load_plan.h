// The load phase: every input's shape surveyed and checked, every table allocated, then every
// variable read in a fixed order into the run's tables, and the station labels built.
#pragma once

#include <ostream>
#include <vector>

#include "driver/options.h"
#include "driver/run_state.h"
#include "driver/run_tables.h"

namespace d2g {

// The four result files, opened from the input directory.
inline constexpr char kNumDrouMonFile[] = "Num_Drou_Mon_Stn.nc";
inline constexpr char kSenProbFile[] = "Sen_Prob_idx_Stn.nc";
inline constexpr char kSpellTimeArrFile[] = "Spell_Time_Arr_Stn.nc";
inline constexpr char kFreMagFile[] = "Fre_Mag_Stn.nc";

// Reads the seven result variables, the 36 frequency and magnitude variables and the station
// list into `tables`, logging every read, and builds the station labels. Before the first value
// is read it checks every shape and size limit from the declared dimensions and allocates every
// large table. `loaded` receives, in read order, what each variable held; `diag` warnings.
void read_data_nc(RunState& state, RunTables& tables, const Options& options, std::ostream& log,
                  std::ostream& diag, std::vector<LoadedVariable>& loaded);

}  // namespace d2g
