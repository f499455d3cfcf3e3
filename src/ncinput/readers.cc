#include "ncinput/readers.h"

#include <fmt/format.h>
#include <netcdf.h>

#include <array>

#include "common/fatal_error.h"
#include "common/fixed_width.h"
#include "common/log_line.h"
#include "ncinput/nc_file.h"
#include "ncinput/values.h"

namespace d2g {

namespace {

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
  if (status != NC_NOERR || type < NC_BYTE || type > NC_UINT64 || type == NC_CHAR) return;
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

Layout2D survey_2d(const std::string& fname, std::string_view varname, const StationAxis& axis,
                   int32_t& status) {
  NcFile file(fname, status);
  const Layout2D layout = station_layout(find_variable(file, varname, 2, status), axis);
  file.close(status);
  return layout;
}

namespace {

// Reads `plan` of `var` from the open `file` into `data` and logs it (after the opening line).
Read2D read_slab(const NcFile& file, const Variable& var, const SlabRead& plan, float marker,
                 Field2DBlock data, int32_t& status, std::ostream& log) {
  const Layout2D layout = slab_layout(var, plan);
  log_dimension(log, kStationLabel, layout.station);
  log_dimension(log, kSecondAxisLabel, layout.second);
  if (data.nstn != layout.station.length || data.ntime != layout.second.length) {
    throw file.error(var.name, "the file changed while the run was reading it");
  }
  // The box: the station dimension and the second-axis dimensions whole, the others at their
  // one index; the second-axis dimensions combine slowest first.
  Hyperslab slab;
  slab.start.assign(var.dims.size(), 0);
  slab.count.assign(var.dims.size(), 1);
  slab.stride.assign(var.dims.size(), 0);
  slab.count[plan.station_dim] = static_cast<std::size_t>(layout.station.length);
  slab.stride[plan.station_dim] = 1;
  std::size_t step = static_cast<std::size_t>(layout.station.length);
  for (std::size_t d = plan.second_dims.size(); d-- > 0;) {
    const std::size_t dim = plan.second_dims[d];
    slab.count[dim] = static_cast<std::size_t>(var.dims[dim].length);
    slab.stride[dim] = step;
    step *= slab.count[dim];
  }
  for (const auto& [dim, index] : plan.fixed) {
    if (index >= static_cast<std::size_t>(var.dims[dim].length)) {
      throw file.error(var.name, "the file changed while the run was reading it");
    }
    slab.start[dim] = index;
  }

  Read2D read;
  read.stn_dim_name = layout.station.name;
  read.second_dim_name = layout.second.name;
  read.ndim1 = layout.station.length;
  read.ndim2 = layout.second.length;
  read.xstn.resize(static_cast<std::size_t>(read.ndim1));
  read.xidx.resize(static_cast<std::size_t>(read.ndim2));
  read_coordinates(file, layout.station.name, read.xstn, status);
  read_coordinates(file, layout.second.name, read.xidx, status);
  read.long_name = text_attribute(file, var.varid, "long_name");
  read.units = text_attribute(file, var.varid, "units");
  read.title = text_attribute(file, NC_GLOBAL, "title");
  if (plan.second_dims.size() == 1) {
    read.axis_values =
        coordinate_values(file, var, plan.second_dims[0], read.axis_units, read.axis_calendar);
    if (!read.axis_values.empty()) read.axis_variable = var.dims[plan.second_dims[0]].full_name;
  }
  read.missing_cells = read_values(file, var, slab, marker, data.data, status, read.notes);
  return read;
}

}  // namespace

Read2D rd_ncdf_2d(const std::string& fname, std::string_view varname, const StationAxis& axis,
                  float marker, Field2DBlock data, int32_t& status, std::ostream& log) {
  log_opening(log, fname);
  NcFile file(fname, status);
  const Variable var = find_variable(file, varname, 2, status);
  const bool station_first = station_layout(var, axis).station_first;
  const SlabRead plan{var.name,
                      station_first ? std::size_t{0} : std::size_t{1},
                      {station_first ? std::size_t{1} : std::size_t{0}},
                      {}};
  const Read2D read = read_slab(file, var, plan, marker, data, status, log);
  file.close(status);
  log_completed(log, fname);
  return read;
}

Read2D rd_ncdf_slab(const std::string& fname, const SlabRead& plan, float marker, Field2DBlock data,
                    int32_t& status, std::ostream& log) {
  log_opening(log, fname);
  NcFile file(fname, status);
  const std::optional<Variable> found = lookup_variable(file, plan.varname, status);
  if (!found) throw file.library_error(plan.varname, NC_ENOTVAR);
  const Read2D read = read_slab(file, *found, plan, marker, data, status, log);
  file.close(status);
  log_completed(log, fname);
  return read;
}

Layout2D slab_layout(const Variable& var, const SlabRead& plan) {
  Layout2D layout;
  layout.station = var.dims[plan.station_dim];
  std::string name;
  int64_t length = 1;
  for (std::size_t dim : plan.second_dims) {
    name += (name.empty() ? "" : "*") + var.dims[dim].full_name;
    length *= var.dims[dim].length;
  }
  layout.second = {fixed_width(name, kDimNameWidth), name, static_cast<int32_t>(length)};
  layout.station_first = !plan.second_dims.empty() && plan.station_dim < plan.second_dims[0];
  return layout;
}

Read1D rd_ncdf_1d(const std::string& fname, std::string_view varname,
                  const std::string& standard_name, float marker, int32_t& status,
                  std::ostream& log) {
  log_opening(log, fname);
  NcFile file(fname, status);
  const std::string name(trim_right(varname));
  const std::optional<Variable> found = find_station_variable(file, name, standard_name, status);
  if (!found) {
    throw file.error(name, standard_name.empty()
                               ? std::string(nc_strerror(NC_ENOTVAR))
                               : fmt::format("{}, and no variable has standard_name \"{}\"",
                                             nc_strerror(NC_ENOTVAR), standard_name));
  }
  const Variable& var = *found;
  const Dimension& station = var.dims[0];
  log_dimension(log, kStationLabel, station);

  Read1D read;
  read.varname = var.name;
  read.dim_name = station.name;
  read.n = station.length;
  read.xcoord.resize(static_cast<std::size_t>(station.length));
  read.data.resize(static_cast<std::size_t>(station.length));
  read_coordinates(file, station.name, read.xcoord, status);
  const Hyperslab whole{{0}, {read.data.size()}, {1}};
  read.missing_cells = read_values(file, var, whole, marker, read.data.data(), status, read.notes);
  file.close(status);
  log_completed(log, fname);
  return read;
}

}  // namespace d2g
