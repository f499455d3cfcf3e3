// One whole conversion: the load phase, then the write phase (or, with --check, the plan).
#pragma once

#include <functional>
#include <ostream>
#include <string_view>

#include "driver/options.h"
#include "gradsout/write_grads_stn.h"

namespace d2g {

// Seams for tests: called as the run goes, without changing what it does.
struct RunHooks {
  std::function<void(std::string_view product, CommitStep step)> on_commit_step;
};

// Converts the inputs named by `options` into the 31 products. The progress log goes to `log`,
// warnings and the wait for another run to `diag`; with options.check the plan goes to `log`
// and nothing is written. A failure throws FatalError before or while writing a product, and
// never leaves a product half-written.
void run(const Options& options, std::ostream& log, std::ostream& diag, const RunHooks& hooks = {});

}  // namespace d2g
