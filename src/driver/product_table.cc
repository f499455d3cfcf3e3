#include "driver/product_table.h"

#include "common/interruption.h"
#include "common/log_line.h"

namespace d2g {

void write_direct_products(const RunState& state, const RunTables& tables,
                           const std::string& prefix, StationWriterContext& context,
                           std::ostream& log) {
  for (const DirectProduct& product : kDirectProducts) {
    stop_if_interrupted();
    write_grads_stn(tables.*product.table, tables.LON, tables.LAT, state.nstn,
                    state.*product.time_count, product.name, prefix, product.ctlvar, context);
    if (&product == &kDirectProducts.front()) {
      log << LogLine().text("Write to Grads Num_Dr_Mon Done");
    }
  }
}

}  // namespace d2g
