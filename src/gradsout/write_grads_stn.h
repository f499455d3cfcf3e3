// write_grads_stn: writes one GrADS station product, NAME.dat, NAME.ctl and NAME.dat.map, in the
// output directory. The three files are prepared under temporary names and swapped in together,
// so a failure leaves the product as it was.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/field2d.h"
#include "common/stations.h"
#include "gradsout/station_data.h"

namespace d2g {

// What the product writer takes from the run besides its arguments.
struct StationWriterContext {
  const std::vector<StationLabel>& station;  // STATION, the station labels
  float undef;                               // the missing-value marker of every control file
  StationId stid{};  // STID: the last report's identifier, kept from call to call
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
