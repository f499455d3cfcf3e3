#include "ncinput/variable.h"

#include <fmt/format.h>

#include <array>
#include <cstdlib>
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

std::string text_attribute_of(const NcFile& file, int varid, const char* attribute) {
  nc_type type = NC_NAT;
  std::size_t length = 0;
  if (nc_inq_att(file.id(), varid, attribute, &type, &length) != NC_NOERR) return "";
  if (type != NC_CHAR) return "";
  std::string text(length, '\0');
  if (nc_get_att_text(file.id(), varid, attribute, text.data()) != NC_NOERR) return "";
  return text.substr(0, text.find('\0'));
}

}  // namespace

std::string text_attribute(const NcFile& file, int varid, const char* attribute) {
  return text_attribute_of(file, varid, attribute);
}

std::vector<double> coordinate_values(const NcFile& file, const Variable& var, std::size_t dim,
                                      std::string& units, std::string& calendar) {
  const Dimension& dimension = var.dims[dim];
  int varid = -1, dimid = -1, ndims = 0;
  nc_type type = NC_NAT;
  std::array<int, NC_MAX_VAR_DIMS> dimids{};
  if (nc_inq_varid(file.id(), dimension.full_name.c_str(), &varid) != NC_NOERR ||
      nc_inq_dimid(file.id(), dimension.full_name.c_str(), &dimid) != NC_NOERR ||
      nc_inq_var(file.id(), varid, nullptr, &type, &ndims, dimids.data(), nullptr) != NC_NOERR ||
      ndims != 1 || dimids[0] != dimid || !is_numeric(type)) {
    return {};
  }
  std::vector<double> values(static_cast<std::size_t>(dimension.length));
  if (!values.empty() && nc_get_var_double(file.id(), varid, values.data()) != NC_NOERR) return {};
  units = text_attribute_of(file, varid, "units");
  calendar = text_attribute_of(file, varid, "calendar");
  return values;
}

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
    if (text_attribute_of(file, id, "standard_name") != standard_name) continue;
    std::array<char, NC_MAX_NAME + 1> name{};
    status = nc_inq_varname(file.id(), id, name.data());
    if (status != NC_NOERR) break;
    return find_variable(file, name.data(), 1, status);
  }
  return std::nullopt;
}

std::size_t station_dimension(const Variable& var, const StationAxis& axis,
                              const std::vector<std::size_t>& candidates) {
  if (candidates.empty()) return 0;
  auto named = [&](std::size_t d) { return var.dims[d].full_name == axis.dim_name; };
  std::vector<std::size_t> counted;
  for (std::size_t d : candidates) {
    if (axis.count >= 0 && var.dims[d].length == axis.count) counted.push_back(d);
  }
  if (counted.size() == 1) return counted.front();
  const std::vector<std::size_t>& among = counted.empty() ? candidates : counted;
  for (std::size_t d : among) {
    if (named(d)) return d;
  }
  if (!counted.empty() || axis.count < 0) return among.back();
  // None has the count: the one the user most plausibly meant, whose length is nearest it.
  std::size_t nearest = candidates.back();
  int64_t best = -1;
  for (std::size_t d = candidates.size(); d-- > 0;) {
    const int64_t distance = std::llabs(int64_t{var.dims[candidates[d]].length} - axis.count);
    if (best < 0 || distance < best) {
      best = distance;
      nearest = candidates[d];
    }
  }
  return nearest;
}

Layout2D station_layout(const Variable& var, const StationAxis& axis) {
  const bool station_first = station_dimension(var, axis, {0, 1}) == 0;
  const Dimension& first = var.dims[0];
  const Dimension& last = var.dims[1];
  return station_first ? Layout2D{first, last, true} : Layout2D{last, first, false};
}

std::optional<Variable> lookup_variable(const NcFile& file, const std::string& name,
                                        int32_t& status) {
  int varid = -1;
  if (nc_inq_varid(file.id(), name.c_str(), &varid) != NC_NOERR) return std::nullopt;
  return describe(file, name, varid, status);
}

std::vector<std::string> variable_names(const NcFile& file, bool numeric_only) {
  std::vector<std::string> names;
  int nvars = 0;
  if (nc_inq_nvars(file.id(), &nvars) != NC_NOERR) return names;
  for (int id = 0; id < nvars; ++id) {
    std::array<char, NC_MAX_NAME + 1> name{};
    nc_type type = NC_NAT;
    int ndims = 0;
    std::array<int, NC_MAX_VAR_DIMS> dimids{};
    if (nc_inq_var(file.id(), id, name.data(), &type, &ndims, dimids.data(), nullptr) != NC_NOERR) {
      continue;
    }
    // Coordinate variables (named like their one dimension) are not data.
    std::array<char, NC_MAX_NAME + 1> dim_name{};
    const bool coordinate = ndims == 1 &&
                            nc_inq_dimname(file.id(), dimids[0], dim_name.data()) == NC_NOERR &&
                            std::string(dim_name.data()) == name.data();
    if (!numeric_only || (is_numeric(type) && !coordinate)) names.emplace_back(name.data());
  }
  return names;
}

void require_numeric(const NcFile& file, const Variable& var) {
  if (!is_numeric(var.type)) {
    throw file.error(var.name,
                     fmt::format(" is not numeric (its type is {})", type_name(var.type)));
  }
}

namespace {

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The texts of a string variable over (dim) or a char variable over (dim, length).
std::optional<std::vector<std::string>> texts_along(const NcFile& file, int varid, int dimid,
                                                    std::size_t length) {
  nc_type type = NC_NAT;
  int ndims = 0;
  std::array<int, NC_MAX_VAR_DIMS> dimids{};
  if (nc_inq_var(file.id(), varid, nullptr, &type, &ndims, dimids.data(), nullptr) != NC_NOERR ||
      ndims < 1 || dimids[0] != dimid) {
    return std::nullopt;
  }
  std::vector<std::string> labels;
  if (type == NC_STRING && ndims == 1) {
    std::vector<char*> texts(length, nullptr);
    if (length > 0 && nc_get_var_string(file.id(), varid, texts.data()) != NC_NOERR) {
      return std::nullopt;
    }
    for (char* text : texts) labels.push_back(trimmed(text != nullptr ? text : ""));
    if (length > 0) nc_free_string(texts.size(), texts.data());
    return labels;
  }
  if (type == NC_CHAR && ndims == 2) {
    std::size_t width = 0;
    if (nc_inq_dimlen(file.id(), dimids[1], &width) != NC_NOERR) return std::nullopt;
    std::string text(length * width, '\0');
    if (!text.empty() && nc_get_var_text(file.id(), varid, text.data()) != NC_NOERR) {
      return std::nullopt;
    }
    for (std::size_t i = 0; i < length; ++i) {
      const std::string row = text.substr(i * width, width);
      labels.push_back(trimmed(row.substr(0, row.find('\0'))));
    }
    return labels;
  }
  return std::nullopt;
}

}  // namespace

std::vector<std::string> dimension_labels(const NcFile& file, const Variable& var,
                                          std::size_t dim) {
  const Dimension& dimension = var.dims[dim];
  int dimid = -1;
  if (nc_inq_dimid(file.id(), dimension.full_name.c_str(), &dimid) != NC_NOERR) return {};
  const std::size_t length = static_cast<std::size_t>(dimension.length);
  std::vector<std::string> candidates = {dimension.full_name};
  // Auxiliary coordinates: the names in the coordinates attribute.
  const std::string coordinates = text_attribute_of(file, var.varid, "coordinates");
  std::size_t at = 0;
  while (at < coordinates.size()) {
    const std::size_t end = coordinates.find(' ', at);
    const std::string name = coordinates.substr(at, end == std::string::npos ? end : end - at);
    if (!name.empty()) candidates.push_back(name);
    if (end == std::string::npos) break;
    at = end + 1;
  }
  for (const std::string& name : candidates) {
    int varid = -1;
    if (nc_inq_varid(file.id(), name.c_str(), &varid) != NC_NOERR) continue;
    if (std::optional<std::vector<std::string>> labels = texts_along(file, varid, dimid, length)) {
      return *labels;
    }
  }
  return {};
}

}  // namespace d2g
