// One small product written through write_grads_stn, for the writer's fault and commit tests.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "gradsout/write_grads_stn.h"

namespace d2g::testing {

// Product `name` in `dir` with `nstn` stations (longitudes -8, -7, ..., latitudes 40, 41, ...)
// and `ntime` steps whose values count up from `first`; `hook` sees every commit step. With a
// `reaper`, replaced data files are swapped out and removed on its thread, as in a run.
inline void write_sample_product(const std::string& dir, const std::string& name, int32_t nstn,
                                 int32_t ntime, float first,
                                 const std::function<void(std::string_view, CommitStep)>& hook = {},
                                 FileReaper* reaper = nullptr) {
  Field2D data(nstn, ntime);
  for (std::size_t i = 0; i < data.size(); ++i) data.data()[i] = first + static_cast<float>(i);
  std::vector<float> lon(nstn), lat(nstn);
  for (int32_t j = 0; j < nstn; ++j) {
    lon[j] = -8.0f + static_cast<float>(j);
    lat[j] = 40.0f + static_cast<float>(j);
  }
  const std::vector<StationLabel> labels = make_station_labels(nstn);
  StationWriterContext context{labels, -999.0f};
  context.on_commit_step = hook;
  context.reaper = reaper;
  write_grads_stn(data, lon, lat, nstn, ntime, name, dir + "/", name, context);
}

}  // namespace d2g::testing
