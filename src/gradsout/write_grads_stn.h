// write_grads_stn: writes one GrADS station product, NAME.dat, NAME.ctl and NAME.dat.map, in the
// output directory. The files are prepared under temporary names and then swapped in so that,
// whenever the process stops, the product is the old one whole, the new one whole, or has no
// control file (which GrADS refuses to open): never a control file or map beside a data file
// they do not describe. A failure while swapping leaves the old product whole.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/field2d.h"
#include "common/stations.h"
#include "gradsout/control_file.h"
#include "gradsout/product_commit.h"
#include "gradsout/station_data.h"

namespace d2g {

class FileReaper;

// What the product writer takes from the run besides its arguments.
struct StationWriterContext {
  StationWriterContext(const std::vector<StationLabel>& station, float undef)
      : station(station), undef(undef) {}

  const std::vector<StationLabel>& station;  // STATION, the station labels
  float undef;                               // the missing-value marker of every control file
  StationId stid{};      // STID: the last report's identifier, kept from call to call
  bool durable = false;  // flush each file and the directory to the disk before going on
  WriteBuffer buffer;    // packing scratch, reused from product to product
  // Removes replaced data files on a second thread; without one they are removed on the spot.
  FileReaper* reaper = nullptr;
  // What the control file of a product says beyond its fixed form, by product name; a product
  // not in it (or without the map) gets the fixed form.
  const std::map<std::string, ControlDescription, std::less<>>* descriptions = nullptr;
  // Called after each commit step with the product's name: a seam for tests that stop a run
  // at a chosen instant.
  std::function<void(std::string_view product, CommitStep step)> on_commit_step;
};

// Fails as write_grads_stn would if an existing file of product `name` in `dir` cannot be
// replaced, so that a run can find such a file before it replaces any product.
void require_replaceable_product(std::string_view name, std::string_view dir);

// `dir` is a directory prefix ending in "/" (the program's default is "./"); `name`, `dir` and
// `ctlvar` are used trimmed of trailing blanks.
void write_grads_stn(const Field2D& data, const std::vector<float>& lon,
                     const std::vector<float>& lat, int32_t nstn, int32_t ntime,
                     std::string_view name, std::string_view dir, std::string_view ctlvar,
                     StationWriterContext& context);

}  // namespace d2g
