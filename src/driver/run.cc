#include "driver/run.h"

#include <vector>

#include "driver/load_plan.h"
#include "driver/monthly_products.h"
#include "driver/product_table.h"
#include "driver/run_plan.h"
#include "driver/run_tables.h"
#include "gradsout/file_reaper.h"
#include "gradsout/output_dir.h"
#include "gradsout/output_lock.h"
#include "gradsout/pending_file.h"

namespace d2g {

namespace {

// A read-only product, or a directory or FIFO in a product's place, is found before any product
// is replaced, so that a run either replaces them all or none.
void require_replaceable_products(const std::vector<std::string>& names,
                                  const std::string& prefix) {
  for (const std::string& name : names) require_replaceable_product(name, prefix);
}

}  // namespace

void run(const Options& options, std::ostream& log, std::ostream& diag, const RunHooks& hooks) {
  RunState state;
  state.undef = options.undef;
  RunTables tables;
  std::vector<LoadedVariable> loaded;

  FileReaper reaper;  // declared before the context's users: it finishes its removals last
  StationWriterContext context{tables.STATION, state.undef};
  context.durable = options.sync;
  context.reaper = &reaper;
  context.on_commit_step = hooks.on_commit_step;

  std::ostream no_log(nullptr);
  read_data_nc(state, tables, options, options.check ? no_log : log, diag, loaded);

  const std::string prefix = output_prefix(options);
  const std::vector<std::string> names = product_names(state);
  const std::string first_file = product_files(names.front())[0];

  const OutputDir output(prefix, first_file, kDataUnit);
  require_creatable(output, first_file, kDataUnit);
  if (options.check) {
    require_replaceable_products(names, prefix);
    print_plan(state, options, names, loaded, log);
    return;
  }

  // From here on this run owns the directory: another run waits until it is done.
  const OutputLock lock(output, first_file, kDataUnit, diag);
  std::vector<std::string> files;
  for (const std::string& name : names) {
    for (const std::string& file : product_files(name)) files.push_back(file);
  }
  remove_stale_temporaries(output, files);
  require_replaceable_products(names, prefix);
  write_direct_products(state, tables, prefix, context, log);
  write_monthly_products(state, tables, prefix, context);
}

}  // namespace d2g
