#include "driver/run.h"

#include <fmt/format.h>

#include "common/fatal_error.h"
#include "driver/load_plan.h"
#include "driver/monthly_products.h"
#include "driver/product_table.h"
#include "gradsout/station_map.h"

namespace d2g {

namespace {

// GrADS finds a time group through a signed 32-bit offset in the station map. Refuse a run whose
// products cannot be mapped before any product is replaced.
void require_mappable_products(const RunState& state, const std::string& prefix) {
  auto require = [&](const std::string& name, int32_t ntime) {
    if (station_map_addressable(state.nstn, ntime)) return;
    throw FatalError::bad_input(
        prefix + name + ".dat",
        fmt::format("{} stations x {} time steps exceed the 2 GiB that a GrADS station map can "
                    "address",
                    state.nstn, ntime));
  };
  for (const DirectProduct& product : kDirectProducts) {
    require(product.name, state.*product.time_count);
  }
  require(monthly_product_name("Fre_", 1), state.ncomb);
}

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
  RunState state;
  state.undef = options.undef;
  RunTables tables;
  read_data_nc(state, tables, options, log, diag);

  const std::string prefix = output_prefix(options);
  require_mappable_products(state, prefix);
  require_replaceable_products(state, prefix);
  StationWriterContext context{tables.STATION, state.undef};
  write_direct_products(state, tables, prefix, context, log);
  write_monthly_products(state, tables, prefix, context);
}

}  // namespace d2g
