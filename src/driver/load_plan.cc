#include "driver/load_plan.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/fatal_error.h"
#include "common/interruption.h"
#include "common/stations.h"
#include "driver/input_checks.h"
#include "driver/monthly_products.h"
#include "ncinput/readers.h"

namespace d2g {

namespace {

// The combinations of drought index and severity: the time axis of the spell, arrival and
// monthly products.
constexpr int32_t kCombinations = 18;
constexpr int32_t kMonths = 12;

// The station list is read last; a missing one should not cost a whole load first. Its default
// path exists on few machines, so say how to give another.
void require_station_list(const Options& options) {
  if (::access(options.stations.c_str(), R_OK) == 0) return;
  std::string what = std::strerror(errno);
  if (options.stations == kDefaultStationList) {
    what += " (the station list; give its path with --stations PATH)";
  }
  throw FatalError::bad_input(options.stations, what);
}

struct ResultVariable {
  const char* file;
  const char* name;
  Field2D RunTables::*table;
};

}  // namespace

void read_data_nc(RunState& state, RunTables& tables, const Options& options, std::ostream& log,
                  std::ostream& diag) {
  require_station_list(options);
  StationCountCheck stations;

  // Each read checks its own shape right away, before the next file is opened.
  auto read_result = [&](const ResultVariable& variable) -> Read2D {
    const InputVariable var{input_path(options, variable.file), variable.name};
    Read2D read = rd_ncdf_2d(var.file, var.name, state.status, log);
    stop_if_interrupted();
    stations.require_result_variable(var, read.stn_dim_name, read.ndim1);
    require_time_steps(var, read);
    warn_about_missing_markers(var, read.missing_markers, state.undef, diag);
    state.nstn = read.ndim1;
    tables.*variable.table = std::move(read.data);
    return read;
  };

  const Read2D numdr = read_result({kNumDrouMonFile, "N_Drou_mon", &RunTables::NUM_DR_MON});
  state.nt_numdr = numdr.ndim2;

  const Read2D sensl = read_result({kSenProbFile, "SenSL", &RunTables::SENSL});
  state.nt_sen = sensl.ndim2;
  const Read2D prob = read_result({kSenProbFile, "Prob", &RunTables::PROB});
  // Both products are written with the second-axis length of "Prob".
  require_second_axis({input_path(options, kSenProbFile), "Prob"}, prob, sensl.ndim2,
                      "the length of the second axis of \"SenSL\"");
  state.nt_sen = prob.ndim2;

  for (const ResultVariable& variable : {
           ResultVariable{kSpellTimeArrFile, "Spell_Ave", &RunTables::SPELL_AVE},
           ResultVariable{kSpellTimeArrFile, "Spell_Max", &RunTables::SPELL_MAX},
           ResultVariable{kSpellTimeArrFile, "Time_Arr_Ave", &RunTables::TIME_ARR_AVE},
           ResultVariable{kSpellTimeArrFile, "Time_Arr_Max", &RunTables::TIME_ARR_MAX},
       }) {
    const Read2D read = read_result(variable);
    require_second_axis({input_path(options, variable.file), variable.name}, read, kCombinations,
                        "one per drought index and severity");
    state.ncomb = read.ndim2;
  }

  state.ncomb = kCombinations;
  state.nmon = kMonths;
  load_fre_mag(state, tables, input_path(options, kFreMagFile), stations, log, diag);

  // The station list: longitudes, latitudes and region codes. Its coordinate vector of the
  // last read is kept as XSTN.
  auto read_station_vector = [&](const char* name, std::vector<float>& table) {
    const InputVariable var{options.stations, name};
    Read1D read = rd_ncdf_1d(var.file, var.name, state.status, log);
    stop_if_interrupted();
    // Coordinates are not product values: their fill values do not matter to GrADS.
    stations.require_station_list_variable(var, read.dim_name, read.n);
    state.nstn = read.n;
    table = std::move(read.data);
    tables.XSTN = std::move(read.xcoord);
  };
  read_station_vector("lon", tables.LON);
  read_station_vector("lat", tables.LAT);
  read_station_vector("reg", tables.REG);

  tables.STATION = make_station_labels(state.nstn);
}

}  // namespace d2g
