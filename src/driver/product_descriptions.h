// What the control files say beyond their fixed form: with --time-axis cf the real time axis of a
// product whose second axis is a CF time coordinate, with --describe the inputs' title, long_name
// and units (or the statistic's own words). Worked out after the load, before anything is
// written, so that a time axis GrADS cannot express stops the run with nothing touched.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "driver/options.h"
#include "driver/run_tables.h"
#include "gradsout/control_file.h"

namespace d2g {

using ProductDescriptions = std::map<std::string, ControlDescription, std::less<>>;

// The descriptions of `products` (empty without either option). `loaded` holds the reads in the
// load plan's order. A CF time axis GrADS cannot express ends the run (status 1) naming the file,
// the coordinate variable and the reason.
ProductDescriptions describe_products(const std::vector<std::string>& products,
                                      const std::vector<LoadedVariable>& loaded,
                                      const Options& options);

}  // namespace d2g
