#include "ncinput/nc_file.h"

#include <netcdf.h>

#include <utility>

#include "common/fatal_error.h"

namespace d2g {

NcFile::NcFile(std::string path, int32_t& status) : path_(std::move(path)) {
  status = nc_open(path_.c_str(), NC_NOWRITE, &ncid_);
  if (status != NC_NOERR) {
    ncid_ = -1;
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

}  // namespace d2g
