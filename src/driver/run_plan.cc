#include "driver/run_plan.h"

#include <fmt/format.h>

#include "driver/product_table.h"
#include "gradsout/control_file.h"
#include "gradsout/output_dir.h"
#include "gradsout/station_data.h"

namespace d2g {

namespace {

int32_t time_count(const RunState& state, const std::string& product) {
  for (const DirectProduct& direct : kDirectProducts) {
    if (product == direct.name) return state.*direct.time_count;
  }
  return is_seasonal_product(product) ? kMonths : state.ncomb;
}

std::string control_variable(const std::string& product) {
  for (const DirectProduct& direct : kDirectProducts) {
    if (product == direct.name) return direct.ctlvar;
  }
  return product.substr(0, 3);
}

}  // namespace

void print_plan(const RunState& state, const Options& options,
                const std::vector<std::string>& products, const std::vector<LoadedVariable>& loaded,
                const ProductDescriptions& descriptions, bool lock_free, std::ostream& out) {
  out << "drought2grads --check: nothing was written; a run would write these products\n";
  out << fmt::format("stations:         {} (station list {})\n", state.nstn, options.stations);
  out << fmt::format("output directory: {}\n", absolute_path(output_prefix(options)));
  if (!lock_free) {
    out << "                  (another run is writing into it now: a run would wait for it)\n";
  }
  out << fmt::format(
      "missing marker:   {} (undef line \"undef   {}\")\n",
      undef_field(state.undef).substr(undef_field(state.undef).find_first_not_of(' ')),
      undef_field(state.undef));
  out << fmt::format("\n{:<14}{:>11}{:>16}\n", "product", "time steps", "bytes");
  int64_t total = 0;
  const int64_t group = static_cast<int64_t>(kReportBytes) * state.nstn + kTerminatorBytes;
  for (const std::string& product : products) {
    const int32_t ntime = time_count(state, product);
    const int64_t bytes =
        ntime * group + 24 + 8 * int64_t{ntime} +
        static_cast<int64_t>(
            control_file_text(
                product, control_variable(product), ntime, state.undef,
                descriptions.count(product) != 0 ? descriptions.at(product) : ControlDescription{})
                .size());
    total += bytes;
    out << fmt::format("{:<14}{:>11}{:>16}\n", product, ntime, bytes);
  }
  out << fmt::format("{:<14}{:>11}{:>16}\n", "total", fmt::format("{} files", 3 * products.size()),
                     total);
  out << "\ncells that would be written as the missing marker:\n";
  for (const LoadedVariable& variable : loaded) {
    out << fmt::format("  {:<16}{:>12}  {}\n", variable.name, variable.missing_cells,
                       variable.file);
  }
}

}  // namespace d2g
