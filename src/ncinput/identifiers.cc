#include "ncinput/identifiers.h"

#include <fmt/format.h>
#include <netcdf.h>

#include <array>

#include "ncinput/nc_file.h"

namespace d2g {

std::optional<std::string> find_timeseries_id(const std::string& fname, int32_t& status) {
  NcFile file(fname, status);
  int nvars = 0;
  status = nc_inq_nvars(file.id(), &nvars);
  for (int varid = 0; status == NC_NOERR && varid < nvars; ++varid) {
    nc_type type = NC_NAT;
    std::size_t length = 0;
    if (nc_inq_att(file.id(), varid, "cf_role", &type, &length) != NC_NOERR || type != NC_CHAR) {
      continue;
    }
    std::string role(length, '\0');
    nc_get_att_text(file.id(), varid, "cf_role", role.data());
    if (role.substr(0, role.find('\0')) != "timeseries_id") continue;
    std::array<char, NC_MAX_NAME + 1> name{};
    status = nc_inq_varname(file.id(), varid, name.data());
    if (status == NC_NOERR) return std::string(name.data());
  }
  return std::nullopt;
}

std::vector<std::string> read_identifiers(const std::string& fname, const std::string& varname,
                                          int32_t& status) {
  NcFile file(fname, status);
  int varid = -1;
  status = nc_inq_varid(file.id(), varname.c_str(), &varid);
  if (status != NC_NOERR) throw file.library_error(varname, status);
  nc_type type = NC_NAT;
  int ndims = 0;
  std::array<int, NC_MAX_VAR_DIMS> dimids{};
  status = nc_inq_var(file.id(), varid, nullptr, &type, &ndims, dimids.data(), nullptr);
  if (status != NC_NOERR) throw file.library_error(varname, status);
  std::array<std::size_t, 2> lengths{0, 0};
  for (int d = 0; d < ndims && d < 2; ++d) nc_inq_dimlen(file.id(), dimids[d], &lengths[d]);

  std::vector<std::string> ids;
  if (type == NC_CHAR && ndims == 2) {
    std::string text(lengths[0] * lengths[1], '\0');
    if (!text.empty()) status = nc_get_var_text(file.id(), varid, text.data());
    if (status != NC_NOERR) throw file.library_error(varname, status);
    for (std::size_t j = 0; j < lengths[0]; ++j) {
      const std::string row = text.substr(j * lengths[1], lengths[1]);
      ids.push_back(row.substr(0, row.find('\0')));
    }
  } else if (type == NC_STRING && ndims == 1) {
    std::vector<char*> texts(lengths[0], nullptr);
    if (!texts.empty()) status = nc_get_var_string(file.id(), varid, texts.data());
    if (status != NC_NOERR) throw file.library_error(varname, status);
    for (char* text : texts) ids.emplace_back(text != nullptr ? text : "");
    if (!texts.empty()) nc_free_string(texts.size(), texts.data());
  } else {
    throw file.error(varname,
                     " cannot hold station identifiers: a char variable over (station, "
                     "length) or a string variable over (station) is needed");
  }
  file.close(status);
  return ids;
}

}  // namespace d2g
