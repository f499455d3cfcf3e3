// PendingFile: an output file written under a temporary name beside its target and renamed over
// the target only when complete, so that a failed run never leaves a half-written product. It
// knows its unit number and absolute path, and every failure names both.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace d2g {

// Unit numbers that name the product files in error messages.
inline constexpr int kDataUnit = 10;
inline constexpr int kControlUnit = 2001;
inline constexpr int kMapUnit = 2002;

class PendingFile {
 public:
  // Checks that `path` may be replaced (error 47 for a read-only file, 30 for a directory, ...)
  // and creates the temporary file. A replaced file's permission bits carry over; a new file
  // gets 0666 less the umask.
  PendingFile(std::string path, int unit);
  ~PendingFile();
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  void write(const void* bytes, std::size_t count);
  // Closes the temporary file; its content is then complete.
  void finish();
  // Renames the finished temporary file over the target.
  void commit();

  const std::string& path() const { return path_; }

 private:
  [[noreturn]] void fail_with_errno(int errno_value) const;
  [[noreturn]] void fail_write() const;

  std::string path_;
  int unit_;
  std::string temp_path_;
  int fd_ = -1;
  bool committed_ = false;
};

// The absolute, normalised form of `path`, as error messages print it.
std::string absolute_path(const std::string& path);

// Fails as a PendingFile for `path` would if the existing file cannot be replaced (read-only,
// a directory, ...); a missing file passes.
void require_replaceable(const std::string& path, int unit);

// Removes `path` if it exists; failures name `unit`.
void remove_if_present(const std::string& path, int unit);

}  // namespace d2g
