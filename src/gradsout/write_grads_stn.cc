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
#include "gradsout/product_swap.h"
#include "gradsout/station_map.h"

namespace d2g {

namespace {

bool exists(const OutputDir& dir, const std::string& name) {
  struct stat info {};
  return ::fstatat(dir.fd(), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

// Whether `name` is a regular file holding exactly `content`.
bool holds(const OutputDir& dir, const std::string& name, std::string_view content) {
  struct stat info {};
  if (::fstatat(dir.fd(), name.c_str(), &info, 0) != 0 || !S_ISREG(info.st_mode) ||
      static_cast<std::size_t>(info.st_size) != content.size()) {
    return false;
  }
  const int fd = ::openat(dir.fd(), name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  std::string found(content.size() + 1, '\0');
  std::size_t got = 0;
  ssize_t n;
  while (got < found.size() && (n = ::read(fd, found.data() + got, found.size() - got)) > 0) {
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return got == content.size() && found.compare(0, got, content) == 0;
}

}  // namespace

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
  auto step = [&](CommitStep done) {
    if (context.on_commit_step) context.on_commit_step(product, done);
  };

  // A product without time steps leaves an existing data file as it was.
  std::optional<PendingFile> data_file;
  if (ntime > 0 || !exists(output, data_name)) {
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
  const std::string control = control_file_text(name, ctlvar, ntime, context.undef, description);
  std::vector<char> map;
  if (ntime > 0) map = station_map_bytes(nstn, ntime);
  const bool map_current = ntime > 0
                               ? holds(output, map_name, std::string_view(map.data(), map.size()))
                               : !exists(output, map_name);
  const bool withdraw_control = !map_current || !holds(output, control_name, control);

  std::optional<PendingFile> control_file;
  if (withdraw_control) {
    control_file.emplace(output, control_name, kControlUnit, context.durable);
    control_file->write(control.data(), control.size());
    control_file->finish();
  }
  std::optional<PendingFile> map_file;
  if (!map_current && ntime > 0) {
    map_file.emplace(output, map_name, kMapUnit, context.durable);
    map_file->write(map.data(), map.size());
    map_file->finish();
  }

  // Swap in. While data and map change the product has no control file, and a map that no
  // longer fits is withdrawn before the data changes: a process killed at any instant leaves no
  // control file or map beside data they do not describe. A failure puts everything back.
  ProductSwap swap(output);
  if (withdraw_control) {
    swap.withdraw(control_name, kControlUnit);
    step(CommitStep::kControlWithdrawn);
  }
  if (!map_current) {
    swap.withdraw(map_name, kMapUnit);
    step(CommitStep::kMapWithdrawn);
  }
  if (data_file) {
    swap.put(*data_file);
    step(CommitStep::kDataReplaced);
  }
  if (map_file) {
    swap.put(*map_file);
    step(CommitStep::kMapReplaced);
  }
  if (control_file) {
    swap.put(*control_file);
    step(CommitStep::kControlReplaced);
  }
  swap.complete(context.reaper);
  if (context.durable) output.sync(control_name, kControlUnit);
}

}  // namespace d2g
