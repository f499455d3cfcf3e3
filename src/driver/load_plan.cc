#include "driver/load_plan.h"

#include <fmt/format.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "common/fatal_error.h"
#include "common/interruption.h"
#include "common/stations.h"
#include "driver/input_checks.h"
#include "driver/monthly_products.h"
#include "driver/product_table.h"
#include "driver/station_ids.h"
#include "gradsout/station_map.h"
#include "ncinput/nc_file.h"
#include "ncinput/readers.h"

namespace d2g {

namespace {

// The station list is read last but surveyed first; a missing one at the default path, which
// exists on few machines, gets a hint at --stations.
void require_station_list(const Options& options) {
  struct stat info {};
  if (::stat(options.stations.c_str(), &info) == 0) return;
  std::string what = std::strerror(errno);
  if (options.stations == kDefaultStationList) {
    what += " (the station list; give its path with --stations PATH)";
  }
  throw FatalError::bad_input(options.stations, what);
}

// The station list's variables: "lon" and "lat" (or those with standard_name longitude and
// latitude), and "reg" when present; all over one station dimension.
struct StationListLayout {
  StationAxis axis;
  std::string lon;
  std::string lat;
  bool has_reg = false;
};

StationListLayout survey_station_list(const Options& options, int32_t& status) {
  require_station_list(options);
  NcFile file(options.stations, status);
  StationListLayout layout;
  auto find = [&](const char* name, const char* standard_name) -> std::optional<Variable> {
    std::optional<Variable> var = find_station_variable(file, name, standard_name, status);
    if (!var && standard_name[0] != '\0') {
      throw file.error(name, fmt::format("{}, and no variable has standard_name \"{}\"",
                                         nc_strerror(NC_ENOTVAR), standard_name));
    }
    return var;
  };
  const Variable lon = *find("lon", "longitude");
  layout.lon = lon.name;
  layout.axis = {lon.dims[0].length, lon.dims[0].full_name};
  auto require_same_stations = [&](const Variable& var) {
    if (var.dims[0].length == layout.axis.count) return;
    throw file.error(var.name, fmt::format(" has {} values (dimension \"{}\"), but \"{}\" has {}",
                                           var.dims[0].length, var.dims[0].full_name, lon.name,
                                           layout.axis.count));
  };
  const Variable lat = *find("lat", "latitude");
  require_same_stations(lat);
  layout.lat = lat.name;
  if (const std::optional<Variable> reg = find("reg", "")) {
    require_same_stations(*reg);
    layout.has_reg = true;
  }
  file.close(status);
  return layout;
}

// One result variable on the load plan.
struct PlannedRead {
  InputVariable var;
  Field2D* table;
  int32_t first_step = 0;        // where in `table` the variable goes
  int32_t expected_second = -1;  // -1: any length of at least one
  const char* meaning = "";
  Layout2D layout;
};

std::vector<PlannedRead> plan_reads(RunTables& tables, const Options& options) {
  auto direct = [&](const char* file, const char* name, Field2D& table, int32_t expected = -1,
                    const char* meaning = "") {
    return PlannedRead{{input_path(options, file), name}, &table, 0, expected, meaning, {}};
  };
  std::vector<PlannedRead> plan = {
      direct(kNumDrouMonFile, "N_Drou_mon", tables.NUM_DR_MON),
      direct(kSenProbFile, "SenSL", tables.SENSL),
      direct(kSenProbFile, "Prob", tables.PROB),
  };
  for (auto [name, table] :
       {std::pair{"Spell_Ave", &tables.SPELL_AVE}, std::pair{"Spell_Max", &tables.SPELL_MAX},
        std::pair{"Time_Arr_Ave", &tables.TIME_ARR_AVE},
        std::pair{"Time_Arr_Max", &tables.TIME_ARR_MAX}}) {
    plan.push_back(direct(kSpellTimeArrFile, name, *table, kCombinations,
                          "one per drought index and severity"));
  }
  // Fre_pdsi_mod, Mag_pdsi_mod, Fre_scpdsi_mod, ..., Mag_spi12_ext.
  for (int k = 1; k <= kCombinations; ++k) {
    for (auto [prefix, table] : {std::pair{"Fre_", &tables.FRE}, std::pair{"Mag_", &tables.MAG}}) {
      plan.push_back({{input_path(options, kFreMagFile), fre_mag_variable_name(prefix, k)},
                      table,
                      (k - 1) * kMonths,
                      kMonths,
                      "one per month",
                      {}});
    }
  }
  return plan;
}

// Looks up every planned variable (each file opened once) and checks its shape.
void survey_reads(std::vector<PlannedRead>& plan, const StationAxis& axis,
                  const std::string& station_list, int32_t& status) {
  std::map<std::string, std::vector<PlannedRead*>> by_file;
  std::vector<std::string> file_order;
  for (PlannedRead& read : plan) {
    if (by_file.find(read.var.file) == by_file.end()) file_order.push_back(read.var.file);
    by_file[read.var.file].push_back(&read);
  }
  for (const std::string& path : file_order) {
    NcFile file(path, status);
    for (PlannedRead* read : by_file[path]) {
      read->layout = station_layout(find_variable(file, read->var.name, 2, status), axis);
      require_station_count(read->var, read->layout, axis, station_list);
      require_time_steps(read->var, read->layout);
      if (read->expected_second >= 0) {
        require_second_axis(read->var, read->layout, read->expected_second, read->meaning);
      }
    }
    file.close(status);
    stop_if_interrupted();
  }
  // Both products are written with the second-axis length of "Prob", which must be SenSL's.
  const PlannedRead& sensl = plan[1];
  const PlannedRead& prob = plan[2];
  const std::string meaning =
      fmt::format("the length of the second axis of \"{}\"", sensl.var.name);
  require_second_axis(prob.var, prob.layout, sensl.layout.second.length, meaning);
}

// GrADS finds a time group through a signed 32-bit offset in the station map. Refuse a run whose
// products cannot be mapped before any table is allocated.
void require_mappable_products(const std::vector<PlannedRead>& plan, int32_t nstn,
                               const std::string& prefix) {
  auto require = [&](const std::string& name, int32_t ntime) {
    if (station_map_addressable(nstn, ntime)) return;
    throw FatalError::bad_input(
        prefix + name + ".dat",
        fmt::format("{} stations x {} time steps exceed the 2 GiB that a GrADS station map can "
                    "address",
                    nstn, ntime));
  };
  // The direct products take their time counts from the first seven reads (Sensl from Prob).
  for (std::size_t p = 0; p < kDirectProducts.size(); ++p) {
    const std::size_t read = p == 1 ? 2 : p;
    require(kDirectProducts[p].name, plan[read].layout.second.length);
  }
  require(monthly_product_name("Fre_", 1), kCombinations);
}

}  // namespace

void read_data_nc(RunState& state, RunTables& tables, const Options& options, std::ostream& log,
                  std::ostream& diag, std::vector<LoadedVariable>& loaded) {
  // Survey and check everything from the declared dimensions first.
  const StationListLayout stations = survey_station_list(options, state.status);
  stop_if_interrupted();
  std::vector<PlannedRead> plan = plan_reads(tables, options);
  survey_reads(plan, stations.axis, options.stations, state.status);
  const int32_t nstn = stations.axis.count;
  require_mappable_products(plan, nstn, output_prefix(options));

  // Then allocate every large table, so that running out of memory happens here, before the
  // libraries have read anything.
  for (std::size_t r = 0; r < 7; ++r) {
    *plan[r].table = Field2D::unfilled(nstn, plan[r].layout.second.length);
  }
  tables.FRE = Field2D::unfilled(nstn, kCombinations * kMonths);
  tables.MAG = Field2D::unfilled(nstn, kCombinations * kMonths);
  tables.X = Field2D::unfilled(nstn, kCombinations);

  // Each note once, however many reads of the file make it.
  std::set<std::string> noted;
  auto warn = [&](const std::vector<std::string>& notes) {
    for (const std::string& note : notes) {
      if (noted.insert(note).second) diag << "drought2grads: warning: " << note << "\n";
    }
  };

  // Then read, in the fixed order, logging each read. The plan holds N_Drou_mon, SenSL, Prob,
  // the four spell and arrival variables, then the 36 frequencies and magnitudes; the counts
  // follow the reads as they always have.
  for (std::size_t r = 0; r < plan.size(); ++r) {
    PlannedRead& planned = plan[r];
    const Read2D read = rd_ncdf_2d(
        planned.var.file, planned.var.name, stations.axis, state.undef,
        planned.table->block(planned.first_step, planned.layout.second.length), state.status, log);
    loaded.push_back({planned.var.file, planned.var.name, read.missing_cells});
    warn(read.notes);
    state.nstn = read.ndim1;
    if (r == 0) state.nt_numdr = read.ndim2;
    if (r == 1 || r == 2) state.nt_sen = read.ndim2;
    if (r >= 3 && r < 7) state.ncomb = read.ndim2;
    if (r == 6) {
      state.ncomb = kCombinations;
      state.nmon = kMonths;
    }
    if (r >= 7) state.nmon = read.ndim2;
    stop_if_interrupted();
  }

  // The station list: longitudes, latitudes and region codes. Its coordinate vector of the
  // last read is kept as XSTN.
  auto read_station_vector = [&](const std::string& name, const char* standard_name,
                                 std::vector<float>& table) {
    Read1D read = rd_ncdf_1d(options.stations, name, standard_name, state.undef, state.status, log);
    loaded.push_back({options.stations, read.varname, read.missing_cells});
    warn(read.notes);
    state.nstn = read.n;
    table = std::move(read.data);
    tables.XSTN = std::move(read.xcoord);
    stop_if_interrupted();
  };
  read_station_vector(stations.lon, "longitude", tables.LON);
  read_station_vector(stations.lat, "latitude", tables.LAT);
  if (stations.has_reg) read_station_vector("reg", "", tables.REG);

  tables.STATION = station_labels(options, stations.axis.dim_name, state.nstn, state.status, diag);
}

}  // namespace d2g
