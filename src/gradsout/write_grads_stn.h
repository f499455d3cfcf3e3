// write_grads_stn: writes one GrADS station product, NAME.dat, NAME.ctl and NAME.dat.map, in the
// output directory. The files are prepared under temporary names and then swapped in so that,
// whenever the process stops, the product is the old one whole, the new one whole, or has no
// control file (which GrADS refuses to open): never a control file or map beside a data file
// they do not describe.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/field2d.h"
#include "common/stations.h"
#include "gradsout/file_reaper.h"
#include "gradsout/output_dir.h"
#include "gradsout/pending_file.h"
#include "gradsout/station_data.h"

namespace d2g {

// The steps of swapping a product in, in their order. A step that has nothing to do is skipped:
// when the control file and the map are already what they must be, only the data file changes.
enum class CommitStep {
  kControlWithdrawn,  // the old control file removed: the product cannot be opened
  kDataReplaced,      // the new data file in place
  kMapReplaced,       // the new map in place (or the old one removed)
  kControlReplaced,   // the new control file in place: the product is complete
};

// What the product writer takes from the run besides its arguments.
struct StationWriterContext {
  const std::vector<StationLabel>& station;  // STATION, the station labels
  float undef;                               // the missing-value marker of every control file
  StationId stid{};      // STID: the last report's identifier, kept from call to call
  bool durable = false;  // flush each file and the directory to the disk before going on
  WriteBuffer buffer;    // packing scratch, reused from product to product
  // Removes replaced data files on a second thread; without one they are removed on the spot.
  FileReaper* reaper = nullptr;
  // Called after each commit step with the product's name: a seam for tests that stop a run
  // at a chosen instant.
  std::function<void(std::string_view product, CommitStep step)> on_commit_step;
};

// Fails as write_grads_stn would if an existing file of product `name` in `dir` cannot be
// replaced, so that a run can find such a file before it replaces any product.
void require_replaceable_product(std::string_view name, std::string_view dir);

// A product written under temporary names and not yet swapped in: commit() swaps it in; going
// away without it removes the temporary files, leaving the product as it was.
class PreparedProduct {
 public:
  // Writes the files of product `name` (see write_grads_stn) under their temporary names.
  PreparedProduct(const Field2D& data, const std::vector<float>& lon, const std::vector<float>& lat,
                  int32_t nstn, int32_t ntime, std::string_view name, std::string_view dir,
                  std::string_view ctlvar, StationWriterContext& context);
  PreparedProduct(const PreparedProduct&) = delete;
  PreparedProduct& operator=(const PreparedProduct&) = delete;

  // Swaps the product in, step by step (see CommitStep), telling `context.on_commit_step`.
  void commit(const StationWriterContext& context);

 private:
  std::string product_;
  std::string data_name_;
  std::string control_name_;
  std::string map_name_;
  OutputDir output_;  // before the files, which refer to it
  std::optional<PendingFile> data_file_;
  std::optional<PendingFile> control_file_;
  std::optional<PendingFile> map_file_;
  bool map_current_ = false;
  bool withdraw_control_ = false;
  bool durable_ = false;
};

// `dir` is a directory prefix ending in "/" (the program's default is "./"); `name`, `dir` and
// `ctlvar` are used trimmed of trailing blanks.
void write_grads_stn(const Field2D& data, const std::vector<float>& lon,
                     const std::vector<float>& lat, int32_t nstn, int32_t ntime,
                     std::string_view name, std::string_view dir, std::string_view ctlvar,
                     StationWriterContext& context);

}  // namespace d2g
