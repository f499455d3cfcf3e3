#include "ncinput/nc_file.h"

#include <netcdf.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "common/fatal_error.h"
#include "ncinput/classic_header.h"

namespace d2g {

namespace {

const char* file_kind(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
  return "not a regular file";
}

}  // namespace

void require_regular_input(const std::string& path) {
  // stat, not open: opening a FIFO without a writer would block the run for good.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    throw FatalError::bad_input(path, std::strerror(errno));
  }
  if (S_ISREG(info.st_mode)) return;
  throw FatalError::bad_input(
      path, std::string("is ") + file_kind(info.st_mode) + ", not a regular netCDF file");
}

NcFile::NcFile(std::string path, int32_t& status) : path_(std::move(path)), guard_(path_) {
  require_regular_input(path_);
  require_complete_classic_file(path_);
  status = nc_open(path_.c_str(), NC_NOWRITE, &ncid_);
  if (status != NC_NOERR) {
    ncid_ = -1;
    if (status == NC_ENOMEM || address_space_exhausted()) throw FatalError::out_of_memory();
    throw FatalError::bad_input(path_, nc_strerror(status));
  }
}

NcFile::~NcFile() {
  if (ncid_ >= 0) nc_close(ncid_);
}

void NcFile::close(int32_t& status) {
  if (ncid_ < 0) return;
  status = nc_close(ncid_);
  ncid_ = -1;
}

FatalError NcFile::library_error(std::string_view variable, int status) const {
  if (status == NC_ENOMEM || address_space_exhausted()) return FatalError::out_of_memory();
  return error(variable, nc_strerror(status));
}

FatalError NcFile::error(std::string_view variable, std::string_view what) const {
  return FatalError::bad_input(path_, "variable \"" + std::string(variable) + "\"" +
                                          (what.empty() || what[0] == ' ' ? "" : ": ") +
                                          std::string(what));
}

}  // namespace d2g
