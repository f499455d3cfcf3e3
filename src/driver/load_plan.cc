#include "driver/load_plan.h"

#include <fmt/format.h>
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <set>
#include <string>

#include "common/fatal_error.h"
#include "common/interruption.h"
#include "common/stations.h"
#include "driver/combination_labels.h"
#include "driver/input_catalog.h"
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

// The result files: those given with --input (under --input-dir when relative), else the four
// default files in --input-dir.
std::vector<std::string> result_files(const Options& options) {
  if (options.inputs.empty()) {
    return {input_path(options, kNumDrouMonFile), input_path(options, kSenProbFile),
            input_path(options, kSpellTimeArrFile), input_path(options, kFreMagFile)};
  }
  std::vector<std::string> files;
  for (const std::string& file : options.inputs) {
    files.push_back(file.front() == '/' ? file : input_path(options, file));
  }
  return files;
}

// Said when a default result file is missing: where it was looked for, and what else would do.
std::string missing_input_hint(const Options& options) {
  if (!options.inputs.empty()) return "";
  return fmt::format(
      " (one of the four result files {}, {}, {} and {}, looked for in {}; give their directory "
      "with --input-dir DIR, or the files that hold the result variables with --input FILE)",
      kNumDrouMonFile, kSenProbFile, kSpellTimeArrFile, kFreMagFile,
      options.input_dir.empty() ? "the working directory" : options.input_dir);
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

// One result variable on the load plan: what the products call it, where it comes from and how
// it is read into its table.
struct PlannedRead {
  PlannedRead(std::string name, Field2D* table, int32_t first_step, int32_t expected_second,
              const char* meaning)
      : var{"", std::move(name)},
        table(table),
        first_step(first_step),
        expected_second(expected_second),
        meaning(meaning) {}

  InputVariable var;  // the file it is found in (after the survey) and its name in the products
  Field2D* table;
  int32_t first_step = 0;        // where in `table` the variable goes
  int32_t expected_second = -1;  // -1: any length of at least one
  const char* meaning = "";
  // What the survey looks for: a variable of this name (of two dimensions), else a variable named
  // `combined` holding all 18 combinations, of which this read takes `combination` (0-based).
  std::string combined;
  int32_t combination = -1;
  bool over_combinations = false;  // its second axis is the 18 combinations
  // What the survey found.
  SlabRead slab;
  Layout2D layout;
  std::vector<std::size_t> order;  // product step p is the read's step order[p]; empty: as read
};

std::vector<PlannedRead> plan_reads(RunTables& tables) {
  auto direct = [&](const char* name, Field2D& table, int32_t expected = -1,
                    const char* meaning = "") {
    PlannedRead read(name, &table, 0, expected, meaning);
    read.over_combinations = expected == kCombinations;
    return read;
  };
  std::vector<PlannedRead> plan = {
      direct("N_Drou_mon", tables.NUM_DR_MON),
      direct("SenSL", tables.SENSL),
      direct("Prob", tables.PROB),
  };
  for (auto [name, table] :
       {std::pair{"Spell_Ave", &tables.SPELL_AVE}, std::pair{"Spell_Max", &tables.SPELL_MAX},
        std::pair{"Time_Arr_Ave", &tables.TIME_ARR_AVE},
        std::pair{"Time_Arr_Max", &tables.TIME_ARR_MAX}}) {
    plan.push_back(direct(name, *table, kCombinations, "one per drought index and severity"));
  }
  // Fre_pdsi_mod, Mag_pdsi_mod, Fre_scpdsi_mod, ..., Mag_spi12_ext; or slices of Fre and Mag.
  for (int k = 1; k <= kCombinations; ++k) {
    for (auto [prefix, table] : {std::pair{"Fre_", &tables.FRE}, std::pair{"Mag_", &tables.MAG}}) {
      PlannedRead read(fre_mag_variable_name(prefix, k), table, (k - 1) * kMonths, kMonths,
                       "one per month");
      read.combined = std::string(prefix, 3);
      read.combination = k - 1;
      plan.push_back(std::move(read));
    }
  }
  return plan;
}

std::string dimensions_text(const Variable& var) {
  std::string text;
  for (const Dimension& dim : var.dims) {
    text += fmt::format("{}{} = {}", text.empty() ? "" : ", ", dim.full_name, dim.length);
  }
  return "(" + text + ")";
}

std::vector<std::size_t> all_dimensions(const Variable& var) {
  std::vector<std::size_t> dims(var.dims.size());
  for (std::size_t d = 0; d < dims.size(); ++d) dims[d] = d;
  return dims;
}

FatalError wrong_rank(const NcFile& file, const Variable& var, const char* expected) {
  const int found = static_cast<int>(var.dims.size());
  return file.error(var.name,
                    fmt::format(" has {} dimension{}; {}", found, found == 1 ? "" : "s", expected));
}

bool is_month_axis(const Dimension& dim) {
  std::string name;
  for (char c : dim.full_name)
    name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return dim.length == kMonths && (name == "month" || name == "months" || name == "mon");
}

// The labelled dimensions of a variable, each looked up once however many reads take slices.
class LabelCache {
 public:
  explicit LabelCache(const StationAxis& axis) : axis_(axis) {}

  const std::vector<std::optional<LabelledDimension>>& of(const NcFile& file, const Variable& var) {
    auto [at, inserted] = cache_.try_emplace(var.name);
    if (inserted) {
      for (std::size_t d = 0; d < var.dims.size(); ++d) {
        const Dimension& dim = var.dims[d];
        // A month axis may carry month names, and a station axis station names (as xarray
        // writes a string station coordinate): neither is placed by its labels.
        const bool station_axis = dim.full_name == axis_.dim_name;
        const bool maybe_station = dim.length == axis_.count;
        at->second.push_back(is_month_axis(dim) || station_axis
                                 ? std::nullopt
                                 : labelled_dimension(file, var, d, !maybe_station));
      }
    }
    return at->second;
  }

 private:
  const StationAxis& axis_;
  std::map<std::string, std::vector<std::optional<LabelledDimension>>> cache_;
};

// How `read` gets its table out of `var`, which is of the name it looks for.
void plan_slab(PlannedRead& read, const NcFile& file, const Variable& var, const StationAxis& axis,
               LabelCache& labels) {
  require_numeric(file, var);
  read.slab = SlabRead{var.name, 0, {}, {}};
  const bool slice = read.combination >= 0 && var.name == read.combined;
  if (!slice && var.dims.size() == 2) {
    // The plain layout: (station, second axis) in either order.
    const bool station_first = station_layout(var, axis).station_first;
    read.slab.station_dim = station_first ? 0 : 1;
    read.slab.second_dims = {station_first ? std::size_t{1} : std::size_t{0}};
    if (read.over_combinations) {
      // A combination axis with labels is put into the products' order.
      const auto& dims = labels.of(file, var);
      if (const auto& comb = dims[read.slab.second_dims[0]]) {
        if (comb->kind != LabelKind::kCombination) {
          throw file.error(var.name, fmt::format("dimension \"{}\": its labels name {}, but this "
                                                 "second axis needs the 18 combinations "
                                                 "(pdsi_mod, ...)",
                                                 var.dims[comb->dim].full_name,
                                                 comb->kind == LabelKind::kIndex ? "drought indices"
                                                                                 : "severities"));
        }
        read.order = comb->position;
      }
    }
    return;
  }
  const std::vector<std::size_t> dims = all_dimensions(var);
  const auto& labelled = labels.of(file, var);
  // The station dimension is one without labels (an index axis of six may match six stations).
  std::vector<std::size_t> plain;
  for (std::size_t d : dims) {
    if (!labelled[d]) plain.push_back(d);
  }
  const std::size_t station = station_dimension(var, axis, plain.empty() ? dims : plain);
  read.slab.station_dim = station;
  std::optional<LabelledDimension> index, severity, comb;
  std::vector<std::size_t> unlabelled;
  for (std::size_t d : dims) {
    if (d == station) continue;
    if (!labelled[d]) {
      unlabelled.push_back(d);
    } else if (labelled[d]->kind == LabelKind::kIndex && !index) {
      index = labelled[d];
    } else if (labelled[d]->kind == LabelKind::kSeverity && !severity) {
      severity = labelled[d];
    } else if (labelled[d]->kind == LabelKind::kCombination && !comb) {
      comb = labelled[d];
    } else {
      throw file.error(var.name, fmt::format("dimension \"{}\" has labels of a kind another "
                                             "dimension has already",
                                             var.dims[d].full_name));
    }
  }
  auto unlabelled_error = [&](std::size_t d) {
    return file.error(var.name,
                      fmt::format("dimension \"{}\" has no labels: a coordinate variable of the "
                                  "same name holding drought index, severity or combination "
                                  "names is needed to place its values",
                                  var.dims[d].full_name));
  };
  if (!slice) {
    // Spell and arrival statistics over (station, index, severity), in any order.
    if (!read.over_combinations || var.dims.size() != 3) {
      throw wrong_rank(file, var,
                       read.over_combinations
                           ? "2 or 3 expected (station and combination, or station, index and "
                             "severity, in any order)"
                           : "2 expected (station and second axis, in either order)");
    }
    if (!unlabelled.empty()) throw unlabelled_error(unlabelled.front());
    if (!index || !severity) {
      throw file.error(var.name,
                       "needs one dimension labelled with drought indices and one "
                       "with severities");
    }
    read.slab.second_dims = {severity->dim, index->dim};
    const std::size_t indices = IDXSTR.size();
    read.order.resize(kCombinations);
    for (int32_t k = 0; k < kCombinations; ++k) {
      read.order[k] = severity->position[severity_of_combination(k)] * indices +
                      index->position[index_of_combination(k)];
    }
    return;
  }
  // One combination of Fre or Mag over (station, index, severity, month) or (station,
  // combination, month), in any order: the month axis is the one dimension without labels.
  if (var.dims.size() != 3 && var.dims.size() != 4) {
    throw wrong_rank(file, var,
                     "3 or 4 expected (station, combination and month, or station, index, "
                     "severity and month, in any order)");
  }
  if (unlabelled.size() != 1) {
    throw unlabelled.empty()
        ? file.error(var.name,
                     "has no month dimension: every dimension but the station one has "
                     "labels")
        : unlabelled_error(unlabelled.front());
  }
  read.slab.second_dims = {unlabelled.front()};
  const int32_t k = read.combination;
  if (var.dims.size() == 4) {
    if (!index || !severity) {
      throw file.error(var.name,
                       "needs one dimension labelled with drought indices and one "
                       "with severities");
    }
    read.slab.fixed = {{index->dim, index->position[index_of_combination(k)]},
                       {severity->dim, severity->position[severity_of_combination(k)]}};
  } else {
    if (!comb) {
      throw file.error(var.name,
                       "needs a dimension labelled with the 18 combinations "
                       "(pdsi_mod, ...)");
    }
    read.slab.fixed = {{comb->dim, comb->position[static_cast<std::size_t>(k)]}};
  }
}

// Finds every planned variable in the inputs (each file opened once more) and checks its shape.
void survey_reads(std::vector<PlannedRead>& plan, const InputCatalog& inputs,
                  const StationAxis& axis, const std::string& station_list, int32_t& status) {
  // In the fixed order, so that the first fault met is the one reported; a file stays open
  // while consecutive variables come from it.
  std::optional<NcFile> file;
  std::optional<LabelCache> labels;
  for (PlannedRead& read : plan) {
    std::optional<std::string> path = inputs.file_of(read.var.name);
    std::string name = read.var.name;
    if (!path && !read.combined.empty()) {
      path = inputs.file_of(read.combined);
      name = read.combined;
    }
    if (!path) throw inputs.missing(read.var.name, read.combined);
    read.var.file = *path;
    if (!file || file->path() != *path) {
      if (file) file->close(status);
      file.reset();
      stop_if_interrupted();
      file.emplace(*path, status);
      labels.emplace(axis);
    }
    const std::optional<Variable> var = lookup_variable(*file, name, status);
    if (!var) throw file->library_error(name, NC_ENOTVAR);
    plan_slab(read, *file, *var, axis, *labels);
    read.layout = slab_layout(*var, read.slab);
    const InputVariable shown{*path, var->name};
    require_station_count(shown, read.layout, axis, station_list, dimensions_text(*var));
    require_time_steps(shown, read.layout);
    if (read.expected_second >= 0) {
      require_second_axis(shown, read.layout, read.expected_second, read.meaning);
    }
  }
  if (file) file->close(status);
  stop_if_interrupted();
  // Both products are written with the second-axis length of "Prob", which must be SenSL's.
  const PlannedRead& sensl = plan[1];
  const PlannedRead& prob = plan[2];
  const std::string meaning =
      fmt::format("the length of the second axis of \"{}\"", sensl.slab.varname);
  require_second_axis({prob.var.file, prob.slab.varname}, prob.layout, sensl.layout.second.length,
                      meaning);
}

// Puts the time steps of a table block into the products' order.
void reorder_steps(Field2DBlock block, const std::vector<std::size_t>& order) {
  if (order.empty()) return;
  const std::size_t nstn = static_cast<std::size_t>(block.nstn);
  const std::vector<float> read(block.data, block.data + block.size());
  for (std::size_t p = 0; p < order.size(); ++p) {
    std::copy_n(read.data() + order[p] * nstn, nstn, block.data + p * nstn);
  }
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
  const InputCatalog inputs(result_files(options), missing_input_hint(options), state.status);
  std::vector<PlannedRead> plan = plan_reads(tables);
  survey_reads(plan, inputs, stations.axis, options.stations, state.status);
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
    const Field2DBlock block =
        planned.table->block(planned.first_step, planned.layout.second.length);
    const Read2D read =
        rd_ncdf_slab(planned.var.file, planned.slab, state.undef, block, state.status, log);
    reorder_steps(block, planned.order);
    loaded.push_back({planned.var.file, planned.var.name, read.missing_cells, read.long_name,
                      read.units, read.title, read.axis_variable, read.axis_values, read.axis_units,
                      read.axis_calendar});
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
    loaded.push_back(
        {options.stations, read.varname, read.missing_cells, {}, {}, {}, {}, {}, {}, {}});
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
