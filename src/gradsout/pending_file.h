// PendingFile: an output file written under a temporary name beside its target and renamed over
// the target only when complete, so that a failed run never leaves a half-written product. It
// knows its unit number and path, and every failure names both.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

#include "common/fatal_error.h"
#include "gradsout/output_dir.h"

namespace d2g {

// Unit numbers that name the product files in error messages.
inline constexpr int kDataUnit = 10;
inline constexpr int kControlUnit = 2001;
inline constexpr int kMapUnit = 2002;

class PendingFile {
 public:
  // Checks that `name` in `dir` may be replaced (error 47 for a read-only file, 30 for a
  // directory, FIFO or other non-regular file, ...) and creates the temporary file. A replaced
  // file's owner, group and permission bits carry over where the process may set them; a new
  // file gets 0666 less the umask. With `durable`, finish() also flushes the data to the disk.
  PendingFile(const OutputDir& dir, std::string name, int unit, bool durable = false);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  void write(const void* bytes, std::size_t count);
  // Closes the temporary file; its content is then complete.
  void finish();

  const std::string& name() const { return name_; }
  const std::string& temp_name() const { return temp_name_; }
  int unit() const { return unit_; }
  // The finished file now stands under its target's name (ProductSwap moved it there): it is
  // no longer removed when this object goes away.
  void mark_committed() { committed_ = true; }

 private:
  // Removes the temporary file and throws the error for errno `error`, naming the target.
  [[noreturn]] void fail(int error);

  const OutputDir& dir_;
  std::string name_;
  int unit_;
  bool durable_;
  std::string temp_name_;
  int fd_ = -1;
  bool committed_ = false;
};

// The temporary name of a product file: hidden, with the writing process's id, so that a later
// run can tell the leftovers of a killed run from the files of a live one.
std::string temporary_name(const std::string& name, pid_t pid, int attempt);

// Fails as a PendingFile for `name` would if the existing file cannot be replaced (read-only,
// a directory, a FIFO, ...), or as the swap would (append-only or immutable, another user's file
// in a sticky directory); a missing file passes. Opens nothing but the directory.
void require_replaceable(const OutputDir& dir, const std::string& name, int unit);

}  // namespace d2g
