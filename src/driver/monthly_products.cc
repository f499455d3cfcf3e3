#include "driver/monthly_products.h"

#include <fmt/format.h>

#include <algorithm>
#include <vector>

#include "common/interruption.h"
#include "ncinput/readers.h"

namespace d2g {

namespace {

constexpr int kIndices = static_cast<int>(IDXSTR.size());
constexpr int kCombinationCount = kIndices * static_cast<int>(SEVSTR.size());

// Element (k, j, m) of FRE or MAG, all 0-based.
std::size_t fre_mag_index(int32_t k, int32_t j, int32_t m, int32_t ncomb, int32_t nstn) {
  return static_cast<std::size_t>(k) +
         static_cast<std::size_t>(ncomb) *
             (static_cast<std::size_t>(j) + static_cast<std::size_t>(nstn) * m);
}

}  // namespace

std::string fre_mag_variable_name(const char* prefix, int k) {
  const int severity = (k - 1) / kIndices;
  const int index = (k - 1) % kIndices;
  return fmt::format("{}{}_{}", prefix, IDXSTR[index], SEVSTR[severity]);
}

std::string monthly_product_name(const char* prefix, int32_t month) {
  return fmt::format("{}{:02d}", prefix, month);
}

void load_fre_mag(RunState& state, RunTables& tables, const std::string& fname,
                  StationCountCheck& stations, std::ostream& log, std::ostream& diag) {
  const int32_t ncomb = state.ncomb;
  const int32_t nstn = std::max(state.nstn, 0);
  const int32_t nmon = state.nmon;
  const std::size_t size = static_cast<std::size_t>(ncomb) * nstn * nmon;
  // Every element is copied from a variable whose shape has been checked.
  tables.FRE.resize(size);
  tables.MAG.resize(size);

  for (int k = 1; k <= kCombinationCount; ++k) {
    for (auto [prefix, table] : {std::pair{"Fre_", &tables.FRE}, std::pair{"Mag_", &tables.MAG}}) {
      const std::string name = fre_mag_variable_name(prefix, k);
      const InputVariable var{fname, name};
      const Read2D read = rd_ncdf_2d(fname, name, state.status, log);
      stop_if_interrupted();
      stations.require_result_variable(var, read.stn_dim_name, read.ndim1);
      require_second_axis(var, read, nmon, "one per month");
      warn_about_missing_markers(var, read.missing_markers, state.undef, diag);
      state.nstn = read.ndim1;
      state.nmon = read.ndim2;
      // Copy within the extents of both tables.
      const int32_t stations_copied = std::min(read.ndim1, nstn);
      const int32_t months_copied = std::min(read.ndim2, nmon);
      for (int32_t m = 0; m < months_copied; ++m) {
        const float* month = read.data.time_step(m);
        // Station j's slot for combination k lies ncomb values after station j - 1's.
        float* slot = table->data() + fre_mag_index(k - 1, 0, m, ncomb, nstn);
        for (int32_t j = 0; j < stations_copied; ++j)
          slot[static_cast<std::size_t>(j) * ncomb] = month[j];
      }
    }
  }
}

void write_monthly_products(const RunState& state, RunTables& tables, const std::string& prefix,
                            StationWriterContext& context) {
  const int32_t nstn = std::max(state.nstn, 0);
  const int32_t ncomb = state.ncomb;
  tables.X = Field2D::unfilled(nstn, ncomb);
  Field2D& X = tables.X;

  auto write_month = [&](const FloatBuffer& table, int32_t m, const char* product_prefix,
                         const char* ctlvar) {
    // Station by station: each station's 18 values lie side by side in the table.
    for (int32_t j = 0; j < nstn; ++j) {
      const float* combinations = &table[fre_mag_index(0, j, m, ncomb, nstn)];
      for (int32_t k = 0; k < ncomb; ++k) X.at(j, k) = combinations[k];
    }
    const std::string name = monthly_product_name(product_prefix, m + 1);
    stop_if_interrupted();
    write_grads_stn(X, tables.LON, tables.LAT, state.nstn, ncomb, name, prefix, ctlvar, context);
  };

  for (int32_t m = 0; m < state.nmon; ++m) {
    write_month(tables.FRE, m, "Fre_", "Fre");
    write_month(tables.MAG, m, "Mag_", "Mag");
  }
}

}  // namespace d2g
