// One grads2cf run: reads the station data set of a control file and writes it as CF netCDF.
#pragma once

#include <ostream>
#include <string>

#include "grads2cf/cf_writer.h"

namespace d2g::grads2cf {

struct Options {
  std::string control;
  std::string output;  // empty: the control file's name with .nc
  Layout layout = Layout::kAuto;
  bool check = false;
  bool quiet = false;
};

void run(const Options& options, std::ostream& log, std::ostream& diag);

}  // namespace d2g::grads2cf
