#include "driver/product_table.h"

#include "common/interruption.h"
#include "common/log_line.h"
#include "driver/monthly_products.h"

namespace d2g {

std::vector<std::string> product_names(const RunState& state, bool seasonal) {
  std::vector<std::string> names;
  for (const DirectProduct& product : kDirectProducts) names.emplace_back(product.name);
  for (int32_t month = 1; month <= state.nmon; ++month) {
    for (const char* kind : {"Fre_", "Mag_"}) names.push_back(monthly_product_name(kind, month));
  }
  if (seasonal) {
    for (int k = 1; k <= kCombinations; ++k) {
      for (const char* kind : {"Fre_", "Mag_"}) names.push_back(fre_mag_variable_name(kind, k));
    }
  }
  return names;
}

bool is_seasonal_product(const std::string& name) {
  return (name.rfind("Fre_", 0) == 0 || name.rfind("Mag_", 0) == 0) &&
         name.find('_', 4) != std::string::npos;
}

std::array<std::string, 3> product_files(const std::string& name) {
  return {name + ".dat", name + ".ctl", name + ".dat.map"};
}

void write_direct_products(const RunState& state, const RunTables& tables,
                           const std::string& prefix, StationWriterContext& context,
                           std::ostream& log) {
  bool first = true;
  for (const DirectProduct& product : kDirectProducts) {
    stop_if_interrupted();
    write_grads_stn(tables.*product.table, tables.LON, tables.LAT, state.nstn,
                    state.*product.time_count, product.name, prefix, product.ctlvar, context);
    if (first) log << LogLine().text("Write to Grads Num_Dr_Mon Done");
    first = false;
  }
}

}  // namespace d2g
