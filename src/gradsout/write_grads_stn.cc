#include "gradsout/write_grads_stn.h"

#include <sys/stat.h>

#include <optional>
#include <stdexcept>
#include <string>

#include "common/fixed_width.h"
#include "gradsout/control_file.h"
#include "gradsout/pending_file.h"
#include "gradsout/station_map.h"

namespace d2g {

namespace {

bool exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

std::string product_base(std::string_view name, std::string_view dir) {
  return std::string(trim_right(dir)) + std::string(trim_right(name));
}

}  // namespace

void require_replaceable_product(std::string_view name, std::string_view dir) {
  const std::string base = product_base(name, dir);
  require_replaceable(base + ".dat", kDataUnit);
  require_replaceable(base + ".ctl", kControlUnit);
  require_replaceable(base + ".dat.map", kMapUnit);
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
  const std::string base = product_base(name, dir);
  const std::string data_path = base + ".dat";
  const std::string map_path = data_path + ".map";

  // A product without time steps leaves an existing data file as it was.
  std::optional<PendingFile> data_file;
  if (ntime > 0 || !exists(data_path)) {
    data_file.emplace(data_path, kDataUnit);
    write_station_data(*data_file, data, lon, lat, nstn, ntime, context.station, context.stid);
    data_file->finish();
  }

  PendingFile control_file(base + ".ctl", kControlUnit);
  const std::string control = control_file_text(name, ctlvar, ntime, context.undef);
  control_file.write(control.data(), control.size());
  control_file.finish();

  std::optional<PendingFile> map_file;
  if (ntime > 0) {
    if (!station_map_addressable(nstn, ntime)) {
      throw std::invalid_argument("write_grads_stn: data file too large for a station map");
    }
    map_file.emplace(map_path, kMapUnit);
    const std::vector<char> map = station_map_bytes(nstn, ntime);
    map_file->write(map.data(), map.size());
    map_file->finish();
  }

  // Everything is complete: swap it in. The old map goes first and the new one comes last, so
  // that no map ever stands beside a data file it does not describe.
  remove_if_present(map_path, kMapUnit);
  if (data_file) data_file->commit();
  control_file.commit();
  if (map_file) map_file->commit();
}

}  // namespace d2g
