#include "driver/run.h"

#include <vector>

#include "common/interruption.h"
#include "driver/load_plan.h"
#include "driver/monthly_products.h"
#include "driver/product_descriptions.h"
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

  StationWriterContext context{tables.STATION, state.undef};
  context.durable = options.sync;
  context.on_commit_step = hooks.on_commit_step;

  std::ostream no_log(nullptr);
  read_data_nc(state, tables, options, options.check ? no_log : log, diag, loaded);

  const std::string prefix = output_prefix(options);
  const std::vector<std::string> names = product_names(state, options.seasonal);
  const ProductDescriptions descriptions = describe_products(names, loaded, options);
  context.descriptions = &descriptions;
  const std::string first_file = product_files(names.front())[0];

  const OutputDir output(prefix, first_file, kDataUnit);
  require_creatable(output, first_file, kDataUnit);
  if (options.check) {
    // A lock that cannot be had is found as the run would find it; one held by another run
    // now only means that the run would wait.
    const OutputLock probe(output, first_file, kDataUnit, diag, OutputLock::Wait::kNever);
    require_replaceable_products(names, prefix);
    print_plan(state, options, names, loaded, descriptions, probe.held(), log);
    return;
  }

  // From here on signals wait for the next safe point: the products are being replaced.
  block_interrupt_signals();
  // And this run owns the directory: another run waits until it is done.
  const OutputLock lock(output, first_file, kDataUnit, diag);
  // Declared after the lock, so that every replaced file is gone before the lock is released.
  FileReaper reaper;
  context.reaper = &reaper;
  std::vector<std::string> files;
  for (const std::string& name : names) {
    for (const std::string& file : product_files(name)) files.push_back(file);
  }
  remove_stale_temporaries(output, files);
  require_replaceable_products(names, prefix);
  write_direct_products(state, tables, prefix, context, log);
  write_monthly_products(state, tables, prefix, context);
  if (options.seasonal) write_seasonal_products(state, tables, prefix, context);
}

}  // namespace d2g
