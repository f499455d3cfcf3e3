#include "driver/monthly_products.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>

#include "common/interruption.h"

namespace d2g {

static_assert(IDXSTR.size() * SEVSTR.size() == kCombinations);

std::string fre_mag_variable_name(const char* prefix, int k) {
  const int indices = static_cast<int>(IDXSTR.size());
  return fmt::format("{}{}_{}", prefix, IDXSTR[(k - 1) % indices], SEVSTR[(k - 1) / indices]);
}

std::string monthly_product_name(const char* prefix, int32_t month) {
  return fmt::format("{}{:02d}", prefix, month);
}

void write_monthly_products(const RunState& state, RunTables& tables, const std::string& prefix,
                            StationWriterContext& context) {
  const int32_t nstn = std::max(state.nstn, 0);
  const int32_t ncomb = state.ncomb;
  if (tables.X.nstn() != nstn || tables.X.ntime() != ncomb) {
    tables.X = Field2D::unfilled(nstn, ncomb);
  }
  Field2D& X = tables.X;

  auto write_month = [&](const Field2D& table, int32_t m, const char* product_prefix,
                         const char* ctlvar) {
    // Time step k of the month's product is month m of combination k: one contiguous copy each.
    for (int32_t k = 0; k < ncomb; ++k) {
      std::memcpy(X.data() + static_cast<std::size_t>(k) * nstn, table.time_step(k * kMonths + m),
                  sizeof(float) * static_cast<std::size_t>(nstn));
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

void write_seasonal_products(const RunState& state, const RunTables& tables,
                             const std::string& prefix, StationWriterContext& context) {
  const int32_t nstn = std::max(state.nstn, 0);
  Field2D months = Field2D::unfilled(nstn, kMonths);
  for (int32_t k = 0; k < state.ncomb; ++k) {
    for (auto [table, kind] : {std::pair{&tables.FRE, "Fre_"}, std::pair{&tables.MAG, "Mag_"}}) {
      // Combination k's months lie side by side in the table.
      std::memcpy(months.data(), table->time_step(k * kMonths), sizeof(float) * months.size());
      stop_if_interrupted();
      write_grads_stn(months, tables.LON, tables.LAT, state.nstn, kMonths,
                      fre_mag_variable_name(kind, k + 1), prefix, std::string(kind, 3), context);
    }
  }
}

}  // namespace d2g
