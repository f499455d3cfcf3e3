#include "ncinput/variable.h"

#include <fmt/format.h>

#include <array>
#include <limits>

#include "common/fixed_width.h"

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

Dimension inquire_dimension(const NcFile& file, const std::string& varname, int dimid,
                            int32_t& status) {
  std::array<char, NC_MAX_NAME + 1> name{};
  std::size_t length = 0;
  status = nc_inq_dim(file.id(), dimid, name.data(), &length);
  if (status != NC_NOERR) throw file.library_error(varname, status);
  if (length > static_cast<std::size_t>(std::numeric_limits<int32_t>::max())) {
    throw file.error(
        varname, fmt::format("dimension \"{}\" has {} values, more than {}", name.data(), length,
                             std::numeric_limits<int32_t>::max()));
  }
  return {fixed_width(name.data(), kDimNameWidth), name.data(), static_cast<int32_t>(length)};
}

// The variable's type and dimensions; `varid` must be valid.
Variable describe(const NcFile& file, const std::string& name, int varid, int32_t& status) {
  Variable var;
  var.name = name;
  var.varid = varid;
  int ndims = 0;
  std::array<int, NC_MAX_VAR_DIMS> dimids{};
  status = nc_inq_var(file.id(), varid, nullptr, &var.type, &ndims, dimids.data(), nullptr);
  if (status != NC_NOERR) throw file.library_error(name, status);
  for (int d = 0; d < ndims; ++d) {
    var.dims.push_back(inquire_dimension(file, name, dimids[static_cast<std::size_t>(d)], status));
  }
  return var;
}

std::string text_attribute(const NcFile& file, int varid, const char* attribute) {
  nc_type type = NC_NAT;
  std::size_t length = 0;
  if (nc_inq_att(file.id(), varid, attribute, &type, &length) != NC_NOERR) return "";
  if (type != NC_CHAR) return "";
  std::string text(length, '\0');
  if (nc_get_att_text(file.id(), varid, attribute, text.data()) != NC_NOERR) return "";
  return text.substr(0, text.find('\0'));
}

}  // namespace

Variable find_variable(const NcFile& file, std::string_view varname, int ndims, int32_t& status) {
  const std::string name(trim_right(varname));
  int varid = -1;
  status = nc_inq_varid(file.id(), name.c_str(), &varid);
  if (status != NC_NOERR) throw file.library_error(name, status);
  Variable var = describe(file, name, varid, status);
  if (static_cast<int>(var.dims.size()) != ndims) {
    const int found = static_cast<int>(var.dims.size());
    throw file.error(
        name,
        fmt::format(" has {} dimension{}; {} expected ({})", found, found == 1 ? "" : "s", ndims,
                    ndims == 2 ? "station and second axis, in either order" : "station"));
  }
  if (!is_numeric(var.type)) {
    throw file.error(name, fmt::format(" is not numeric (its type is {})", type_name(var.type)));
  }
  return var;
}

std::optional<Variable> find_station_variable(const NcFile& file, const std::string& varname,
                                              const std::string& standard_name, int32_t& status) {
  int varid = -1;
  if (nc_inq_varid(file.id(), varname.c_str(), &varid) == NC_NOERR) {
    return find_variable(file, varname, 1, status);
  }
  if (standard_name.empty()) return std::nullopt;
  int nvars = 0;
  status = nc_inq_nvars(file.id(), &nvars);
  for (int id = 0; status == NC_NOERR && id < nvars; ++id) {
    if (text_attribute(file, id, "standard_name") != standard_name) continue;
    std::array<char, NC_MAX_NAME + 1> name{};
    status = nc_inq_varname(file.id(), id, name.data());
    if (status != NC_NOERR) break;
    return find_variable(file, name.data(), 1, status);
  }
  return std::nullopt;
}

Layout2D station_layout(const Variable& var, const StationAxis& axis) {
  const Dimension& first = var.dims[0];
  const Dimension& last = var.dims[1];
  bool station_first = false;
  if (axis.count >= 0) {
    const bool first_matches = first.length == axis.count;
    const bool last_matches = last.length == axis.count;
    if (first_matches && last_matches) {
      station_first = first.full_name == axis.dim_name && last.full_name != axis.dim_name;
    } else {
      station_first = first_matches;
    }
  }
  return station_first ? Layout2D{first, last, true} : Layout2D{last, first, false};
}

}  // namespace d2g
