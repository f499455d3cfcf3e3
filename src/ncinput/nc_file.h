// NcFile: a netCDF file open for reading, closed when the handle goes away.
#pragma once

#include <cstdint>
#include <string>

namespace d2g {

class NcFile {
 public:
  // Opens `path` read-only; a failure ends the run with a message naming the file.
  NcFile(std::string path, int32_t& status);
  ~NcFile();
  NcFile(const NcFile&) = delete;
  NcFile& operator=(const NcFile&) = delete;

  int id() const { return ncid_; }
  const std::string& path() const { return path_; }

  // Closes now; the close status goes to `status`.
  void close(int32_t& status);

 private:
  std::string path_;
  int ncid_ = -1;
};

}  // namespace d2g
