// drought2grads-plot: draws a GrADS station product with GrADS.

#include <iostream>

#include "common/exit_status.h"
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
  return d2g::run_in_frame(true, "the picture was drawn",
                           [&](std::ostream&) { d2g::plot::run(options, std::cout); });
}
