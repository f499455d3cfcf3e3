#include "gradsout/write_grads_stn.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <stdexcept>
#include <string>

#include "common/fixed_width.h"
#include "gradsout/control_file.h"
#include "gradsout/output_dir.h"
#include "gradsout/pending_file.h"
#include "gradsout/product_commit.h"
#include "gradsout/station_map.h"

namespace d2g {

void require_replaceable_product(std::string_view name, std::string_view dir) {
  const std::string base(trim_right(name));
  const OutputDir output(std::string(trim_right(dir)), base + ".dat", kDataUnit);
  require_replaceable(output, base + ".dat", kDataUnit);
  require_replaceable(output, base + ".ctl", kControlUnit);
  require_replaceable(output, base + ".dat.map", kMapUnit);
}

void write_grads_stn(const Field2D& data, const std::vector<float>& lon,
                     const std::vector<float>& lat, int32_t nstn, int32_t ntime,
                     std::string_view name, std::string_view dir, std::string_view ctlvar,
                     StationWriterContext& context) {
  const std::size_t stations = nstn > 0 ? static_cast<std::size_t>(nstn) : 0;
  if ((ntime > 0 && (data.nstn() < nstn || data.ntime() < ntime)) || lon.size() < stations ||
      lat.size() < stations || context.station.size() < stations) {
    throw std::invalid_argument("write_grads_stn: tables smaller than the station and time counts");
  }
  if (ntime > 0 && !station_map_addressable(nstn, ntime)) {
    throw std::invalid_argument("write_grads_stn: data file too large for a station map");
  }
  const std::string product(trim_right(name));
  const std::string data_name = product + ".dat";
  const std::string control_name = product + ".ctl";
  const std::string map_name = data_name + ".map";
  const OutputDir output(std::string(trim_right(dir)), data_name, kDataUnit);

  // A product without time steps leaves an existing data file as it was.
  std::optional<PendingFile> data_file;
  if (ntime > 0 || !file_exists_in(output, data_name)) {
    data_file.emplace(output, data_name, kDataUnit, context.durable);
    write_station_data(*data_file, data, lon, lat, nstn, ntime, context.station, context.stid,
                       context.buffer);
    data_file->finish();
  }

  // A control file and map that already say what the new data needs stay as they are: then the
  // data file's rename alone swaps the product, and the product is whole at every instant.
  ControlDescription description;
  if (context.descriptions != nullptr) {
    if (const auto at = context.descriptions->find(product); at != context.descriptions->end()) {
      description = at->second;
    }
  }
  ProductCommit commit;
  commit.product = product;
  if (data_file) commit.data.push_back(&*data_file);
  commit.control_name = control_name;
  commit.control = control_file_text(name, ctlvar, ntime, context.undef, description);
  commit.map_name = map_name;
  if (ntime > 0) commit.map = station_map_bytes(nstn, ntime);
  CommitSettings settings;
  settings.durable = context.durable;
  settings.reaper = context.reaper;
  settings.on_commit_step = context.on_commit_step;
  commit_product(output, commit, settings);
}

}  // namespace d2g
