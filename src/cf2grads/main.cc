// cf2grads: converts CF station time series from netCDF into GrADS station data.

#include <csignal>
#include <iostream>

#include "cf2grads/command_line.h"
#include "cf2grads/run.h"
#include "common/interruption.h"
#include "common/program_frame.h"
#include "common/program_name.h"
#include "ncinput/library_guard.h"

int main(int argc, char** argv) {
  d2g::set_program_name("cf2grads");
  d2g::cf2grads::Options options;
  if (const auto status =
          d2g::cf2grads::parse_command_line(argc, argv, options, std::cout, std::cerr)) {
    std::cout.flush();
    return *status;
  }
  std::signal(SIGXFSZ, SIG_IGN);
  d2g::exit_at_once_on_interrupt();
  d2g::install_library_crash_handlers();
  return d2g::run_in_frame(options.quiet, "the product was written",
                           [&](std::ostream& log) { d2g::cf2grads::run(options, log, std::cerr); });
}
