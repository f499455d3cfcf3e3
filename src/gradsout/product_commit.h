// Swapping the finished files of one product into place, in the one order every program uses:
// while data files and map change the product has no control file, and a map that no longer
// fits is withdrawn before any data file changes, so a process killed at any instant leaves no
// control file or map beside data they do not describe. A failure at any step puts back what
// was there. A control file and map that already say what the new data need stay untouched.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gradsout/output_dir.h"
#include "gradsout/pending_file.h"

namespace d2g {

class FileReaper;

// The steps of swapping a product in, in their order. A step that has nothing to do is skipped:
// when the control file and the map are already what they must be, only the data file changes.
enum class CommitStep {
  kControlWithdrawn,  // the old control file moved aside: the product cannot be opened
  kMapWithdrawn,      // the old map moved aside, when it does not fit the new data
  kDataReplaced,      // the new data file in place
  kMapReplaced,       // the new map in place
  kControlReplaced,   // the new control file in place: the product is complete
};

struct CommitSettings {
  bool durable = false;          // flush files and the directory to the disk
  FileReaper* reaper = nullptr;  // removes replaced files on a second thread
  std::function<void(std::string_view product, CommitStep step)> on_commit_step;
};

// What goes into place. Data files are finished PendingFiles; `map` empty means the product has
// no map (an existing one is withdrawn). `withdrawn` names files of an earlier form of the
// product that the new one no longer has.
struct ProductCommit {
  std::string product;
  std::vector<PendingFile*> data;
  std::string control_name;
  std::string control;
  std::string map_name;
  std::vector<char> map;
  std::vector<std::string> withdrawn;
};

// Whether `dir` has an entry `name` (of any kind).
bool file_exists_in(const OutputDir& dir, const std::string& name);
// Whether `name` is a regular file holding exactly `content`.
bool file_holds(const OutputDir& dir, const std::string& name, std::string_view content);

void commit_product(const OutputDir& output, ProductCommit& commit, const CommitSettings& settings);

}  // namespace d2g
