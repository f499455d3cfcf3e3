// drought2grads: converts station-based drought statistics from netCDF into GrADS station data.

#include <csignal>
#include <iostream>

#include "common/interruption.h"
#include "common/program_frame.h"
#include "driver/command_line.h"
#include "driver/run.h"
#include "ncinput/library_guard.h"

int main(int argc, char** argv) {
  d2g::Options options;
  if (const auto status = d2g::parse_command_line(argc, argv, options, std::cout, std::cerr)) {
    std::cout.flush();
    return *status;
  }

  // A file-size limit should end a write with "error during write", not kill the process.
  std::signal(SIGXFSZ, SIG_IGN);
  // Until the run starts replacing products, an interruption ends it at once.
  d2g::exit_at_once_on_interrupt();
  d2g::install_library_crash_handlers();
  return d2g::run_in_frame(options.quiet, "the products were written",
                           [&](std::ostream& log) { d2g::run(options, log, std::cerr); });
}
