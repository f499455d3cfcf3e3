#include "ncinput/readers.h"

#include <fmt/format.h>
#include <netcdf.h>

#include <array>
#include <limits>

#include "common/fatal_error.h"
#include "common/fixed_width.h"
#include "common/log_line.h"
#include "ncinput/nc_file.h"

namespace d2g {

namespace {

bool is_numeric(nc_type type) { return type >= NC_BYTE && type <= NC_UINT64 && type != NC_CHAR; }

std::string type_name(nc_type type) {
  switch (type) {
    case NC_CHAR:
      return "char";
    case NC_STRING:
      return "string";
    default:
      return fmt::format("netCDF type {}", type);
  }
}

struct Variable {
  std::string name;  // trimmed
  int varid = -1;
  std::vector<int> dimids;  // in the file's declaration order, slowest first
};

// Looks up a data variable and checks that it can be read as `ndims`-dimensional numbers.
Variable find_variable(const NcFile& file, std::string_view varname, int ndims, int32_t& status) {
  Variable var;
  var.name = std::string(trim_right(varname));
  status = nc_inq_varid(file.id(), var.name.c_str(), &var.varid);
  if (status != NC_NOERR) {
    throw FatalError::bad_input(file.path(),
                                fmt::format("variable \"{}\": {}", var.name, nc_strerror(status)));
  }
  nc_type type = NC_NAT;
  int file_ndims = 0;
  status = nc_inq_var(file.id(), var.varid, nullptr, &type, &file_ndims, nullptr, nullptr);
  if (status == NC_NOERR && file_ndims != ndims) {
    throw FatalError::bad_input(
        file.path(), fmt::format("variable \"{}\" has {} dimension{}; {} expected ({})", var.name,
                                 file_ndims, file_ndims == 1 ? "" : "s", ndims,
                                 ndims == 2 ? "second axis, station" : "station"));
  }
  if (status == NC_NOERR && !is_numeric(type)) {
    throw FatalError::bad_input(
        file.path(),
        fmt::format("variable \"{}\" is not numeric (its type is {})", var.name, type_name(type)));
  }
  var.dimids.resize(static_cast<std::size_t>(ndims));
  if (status == NC_NOERR) status = nc_inq_vardimid(file.id(), var.varid, var.dimids.data());
  if (status != NC_NOERR) {
    throw FatalError::bad_input(file.path(),
                                fmt::format("variable \"{}\": {}", var.name, nc_strerror(status)));
  }
  return var;
}

struct Dimension {
  std::string name;  // cut or padded to 15 characters
  int32_t length = 0;
};

Dimension inquire_dimension(const NcFile& file, const Variable& var, int dimid, int32_t& status) {
  std::array<char, NC_MAX_NAME + 1> name{};
  std::size_t length = 0;
  status = nc_inq_dim(file.id(), dimid, name.data(), &length);
  if (status != NC_NOERR) {
    throw FatalError::bad_input(file.path(),
                                fmt::format("variable \"{}\": {}", var.name, nc_strerror(status)));
  }
  if (length > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
    throw FatalError::bad_input(
        file.path(),
        fmt::format("variable \"{}\": dimension \"{}\" has {} values, more than {}", var.name,
                    name.data(), length, std::numeric_limits<int32_t>::max()));
  }
  return {fixed_width(name.data(), kDimNameWidth), static_cast<int32_t>(length)};
}

// Reads the coordinate variable named like a dimension (by the 15-character name, as logged).
// Coordinates are optional: a file without them still converts, and the vector keeps its zeros.
void read_coordinates(const NcFile& file, std::string_view dim_name, std::vector<float>& coords,
                      int32_t& status) {
  const std::string name(trim_right(dim_name));
  int varid = -1;
  status = nc_inq_varid(file.id(), name.c_str(), &varid);
  if (status != NC_NOERR) return;
  // Only a numeric variable holding exactly as many values as the vector may be read into it.
  nc_type type = NC_NAT;
  int ndims = 0;
  std::array<int, NC_MAX_VAR_DIMS> dimids{};
  status = nc_inq_var(file.id(), varid, nullptr, &type, &ndims, dimids.data(), nullptr);
  if (status != NC_NOERR || !is_numeric(type)) return;
  std::size_t values = 1;
  for (int d = 0; d < ndims; ++d) {
    std::size_t length = 0;
    status = nc_inq_dimlen(file.id(), dimids[static_cast<std::size_t>(d)], &length);
    if (status != NC_NOERR) return;
    values *= length;
  }
  if (values != coords.size() || coords.empty()) return;
  status = nc_get_var_float(file.id(), varid, coords.data());
}

void read_values(const NcFile& file, const Variable& var, float* values, std::size_t count,
                 int32_t& status) {
  if (count == 0) return;
  status = nc_get_var_float(file.id(), var.varid, values);
  if (status != NC_NOERR) {
    throw FatalError::bad_input(file.path(),
                                fmt::format("variable \"{}\": {}", var.name, nc_strerror(status)));
  }
}

std::vector<MissingMarker> declared_missing_markers(const NcFile& file, const Variable& var) {
  std::vector<MissingMarker> markers;
  for (const char* attribute : {"_FillValue", "missing_value"}) {
    nc_type type = NC_NAT;
    std::size_t length = 0;
    if (nc_inq_att(file.id(), var.varid, attribute, &type, &length) != NC_NOERR) continue;
    if (!is_numeric(type) || length == 0) continue;
    std::vector<double> values(length);
    if (nc_get_att_double(file.id(), var.varid, attribute, values.data()) != NC_NOERR) continue;
    for (double value : values) markers.push_back({attribute, value});
  }
  return markers;
}

void log_opening(std::ostream& log, const std::string& fname) {
  log << LogLine().text("   Reading netCDF file: ").text(fname).text("...");
}

void log_dimension(std::ostream& log, std::string_view label, const Dimension& dim) {
  log << LogLine().text(label).text(dim.name).text("; length = ").integer(dim.length);
}

void log_completed(std::ostream& log, const std::string& fname) {
  log << LogLine().text("   Completed reading file ").text(fname);
}

constexpr std::string_view kStationLabel = "      - Longitude's name = ";
constexpr std::string_view kSecondAxisLabel = "      - Latitude's name  = ";

}  // namespace

Read2D rd_ncdf_2d(const std::string& fname, std::string_view varname, int32_t& status,
                  std::ostream& log) {
  log_opening(log, fname);
  NcFile file(fname, status);
  const Variable var = find_variable(file, varname, 2, status);
  // Declared (second axis, station): the station dimension is the last, fastest-varying one.
  const Dimension station = inquire_dimension(file, var, var.dimids[1], status);
  const Dimension second = inquire_dimension(file, var, var.dimids[0], status);
  log_dimension(log, kStationLabel, station);
  log_dimension(log, kSecondAxisLabel, second);

  Read2D read;
  read.stn_dim_name = station.name;
  read.second_dim_name = second.name;
  read.ndim1 = station.length;
  read.ndim2 = second.length;
  read.xstn.resize(static_cast<std::size_t>(station.length));
  read.xidx.resize(static_cast<std::size_t>(second.length));
  read.data = Field2D::unfilled(station.length, second.length);
  read_coordinates(file, station.name, read.xstn, status);
  read_coordinates(file, second.name, read.xidx, status);
  // The stored order (second axis slowest) is the table's (station fastest): a straight copy.
  read_values(file, var, read.data.data(), read.data.size(), status);
  read.missing_markers = declared_missing_markers(file, var);
  file.close(status);
  log_completed(log, fname);
  return read;
}

Read1D rd_ncdf_1d(const std::string& fname, std::string_view varname, int32_t& status,
                  std::ostream& log) {
  log_opening(log, fname);
  NcFile file(fname, status);
  const Variable var = find_variable(file, varname, 1, status);
  const Dimension station = inquire_dimension(file, var, var.dimids[0], status);
  log_dimension(log, kStationLabel, station);

  Read1D read;
  read.dim_name = station.name;
  read.n = station.length;
  read.xcoord.resize(static_cast<std::size_t>(station.length));
  read.data.resize(static_cast<std::size_t>(station.length));
  read_coordinates(file, station.name, read.xcoord, status);
  read_values(file, var, read.data.data(), read.data.size(), status);
  read.missing_markers = declared_missing_markers(file, var);
  file.close(status);
  log_completed(log, fname);
  return read;
}

}  // namespace d2g
