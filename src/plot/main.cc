// drought2grads-plot: draws a GrADS station product with GrADS.

#include <csignal>
#include <iostream>

#include "common/exit_status.h"
#include "common/interruption.h"
#include "common/program_frame.h"
#include "common/program_name.h"
#include "plot/command_line.h"
#include "plot/run.h"

int main(int argc, char** argv) {
  d2g::set_program_name("drought2grads-plot");
  d2g::plot::Options options;
  if (const auto status =
          d2g::plot::parse_command_line(argc, argv, options, std::cout, std::cerr)) {
    std::cout.flush();
    return *status;
  }
  std::signal(SIGXFSZ, SIG_IGN);
  d2g::exit_at_once_on_interrupt();
  // The log is the list of pages written, on standard output.
  return d2g::run_in_frame(false, "the picture was drawn",
                           [&](std::ostream& log) { d2g::plot::run(options, log); });
}
