// NcFile: a netCDF file open for reading, closed when the handle goes away.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/fatal_error.h"
#include "ncinput/library_guard.h"

namespace d2g {

// Fails unless `path` is a regular file: a FIFO, socket, device or directory is refused before
// anything tries to open it.
void require_regular_input(const std::string& path);

class NcFile {
 public:
  // Opens `path` read-only; a failure ends the run with a message naming the file. A classic
  // file is first checked against its header (see classic_header.h).
  NcFile(std::string path, int32_t& status);
  ~NcFile();
  NcFile(const NcFile&) = delete;
  NcFile& operator=(const NcFile&) = delete;

  int id() const { return ncid_; }
  const std::string& path() const { return path_; }

  // Closes now; the close status goes to `status`.
  void close(int32_t& status);

  // The error for a fault of `variable` in this file: "error: FILE: variable "NAME": WHAT"
  // (no colon when `what` starts with a blank: "variable "NAME" has 3 dimensions").
  FatalError error(std::string_view variable, std::string_view what) const;
  // The error for a failed library call on `variable`: its status's text, or running out of
  // memory where that is what made it fail.
  FatalError library_error(std::string_view variable, int status) const;

 private:
  std::string path_;
  LibraryInput guard_;  // a crash in the libraries while the file is open names it
  int ncid_ = -1;
};

}  // namespace d2g
