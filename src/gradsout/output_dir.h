// OutputDir: the output directory, held open so that product files are created, renamed and
// removed relative to it. Names stay short whatever the directory's path, and every file of a
// product lands in the same directory even if its path is renamed meanwhile.
#pragma once

#include <string>
#include <string_view>

#include "common/fatal_error.h"

namespace d2g {

class OutputDir {
 public:
  // `prefix` is the directory prefix ending in "/" ("./", "out/"). A directory that cannot be
  // opened fails as creating `first_name` in it would (29 for a missing directory, 43 for a
  // path through a file), naming `unit`.
  OutputDir(std::string prefix, std::string_view first_name, int unit);
  ~OutputDir();
  OutputDir(const OutputDir&) = delete;
  OutputDir& operator=(const OutputDir&) = delete;

  int fd() const { return fd_; }
  const std::string& prefix() const { return prefix_; }
  // The prefix and `name`, as messages print paths before making them absolute.
  std::string path(std::string_view name) const { return prefix_ + std::string(name); }

  // Makes the directory's entries durable (after renames); failures name `unit` and `name`.
  void sync(std::string_view name, int unit) const;

 private:
  std::string prefix_;
  int fd_ = -1;
};

// What was being done to a product file when the system said no.
enum class FileOperation {
  kCreate,   // creating its temporary file (or the lock)
  kWrite,    // writing, flushing or closing it
  kReplace,  // renaming it into place, or withdrawing the old one
};

// The error for `operation` on file `name` in `dir` failing with errno `error`. The first line
// names the product file; where the cause lies elsewhere (the directory's permissions, a full
// file system, too many open files) a second line says so, naming the directory. Products are
// replaced through new files, so a lack of permission to create one is the directory's.
FatalError output_error(const OutputDir& dir, std::string_view name, int unit, int error,
                        FileOperation operation);

// The absolute, normalised form of `path`, as error messages print it.
std::string absolute_path(const std::string& path);

}  // namespace d2g
