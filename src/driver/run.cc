#include "driver/run.h"

#include <vector>

#include "driver/load_plan.h"
#include "driver/monthly_products.h"
#include "driver/product_table.h"

namespace d2g {

namespace {

// A read-only product, or a directory in a product's place, is found before any product is
// replaced, so that a run either replaces them all or none.
void require_replaceable_products(const RunState& state, const std::string& prefix) {
  for (const DirectProduct& product : kDirectProducts) {
    require_replaceable_product(product.name, prefix);
  }
  for (int32_t month = 1; month <= state.nmon; ++month) {
    for (const char* kind : {"Fre_", "Mag_"}) {
      require_replaceable_product(monthly_product_name(kind, month), prefix);
    }
  }
}

}  // namespace

void run(const Options& options, std::ostream& log, std::ostream& diag) {
  (void)diag;
  RunState state;
  state.undef = options.undef;
  RunTables tables;
  std::vector<LoadedVariable> loaded;
  read_data_nc(state, tables, options, log, loaded);

  const std::string prefix = output_prefix(options);
  require_replaceable_products(state, prefix);
  StationWriterContext context{tables.STATION, state.undef};
  write_direct_products(state, tables, prefix, context, log);
  write_monthly_products(state, tables, prefix, context);
}

}  // namespace d2g
