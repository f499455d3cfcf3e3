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
                                          const std::string& station_dim, int32_t nstn,
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
  std::array<std::string, 2> names;
  for (int d = 0; d < ndims && d < 2; ++d) {
    std::array<char, NC_MAX_NAME + 1> name{};
    nc_inq_dim(file.id(), dimids[d], name.data(), &lengths[d]);
    names[d] = name.data();
  }

  std::vector<std::string> ids;
  const bool integer = type != NC_CHAR && type >= NC_BYTE && type <= NC_UINT64 &&
                       type != NC_FLOAT && type != NC_DOUBLE;
  if (type == NC_CHAR && ndims == 2) {
    // Which dimension counts the stations, and which the characters.
    bool station_first = true;
    if (names[0] != station_dim && names[1] == station_dim) {
      station_first = false;
    } else if (names[0] != station_dim && static_cast<int64_t>(lengths[0]) != nstn &&
               static_cast<int64_t>(lengths[1]) == nstn) {
      station_first = false;
    }
    const std::size_t stations = station_first ? lengths[0] : lengths[1];
    const std::size_t width = station_first ? lengths[1] : lengths[0];
    std::string text(lengths[0] * lengths[1], '\0');
    if (!text.empty()) status = nc_get_var_text(file.id(), varid, text.data());
    if (status != NC_NOERR) throw file.library_error(varname, status);
    for (std::size_t j = 0; j < stations; ++j) {
      std::string row(width, '\0');
      for (std::size_t c = 0; c < width; ++c) {
        row[c] = station_first ? text[j * width + c] : text[c * stations + j];
      }
      ids.push_back(row.substr(0, row.find('\0')));
    }
  } else if (type == NC_STRING && ndims == 1) {
    std::vector<char*> texts(lengths[0], nullptr);
    if (!texts.empty()) status = nc_get_var_string(file.id(), varid, texts.data());
    if (status != NC_NOERR) throw file.library_error(varname, status);
    for (char* text : texts) ids.emplace_back(text != nullptr ? text : "");
    if (!texts.empty()) nc_free_string(texts.size(), texts.data());
  } else if (integer && ndims == 1) {
    const bool is_unsigned =
        type == NC_UBYTE || type == NC_USHORT || type == NC_UINT || type == NC_UINT64;
    if (is_unsigned) {
      std::vector<unsigned long long> numbers(lengths[0]);
      if (!numbers.empty()) status = nc_get_var_ulonglong(file.id(), varid, numbers.data());
      if (status != NC_NOERR) throw file.library_error(varname, status);
      for (unsigned long long number : numbers) ids.push_back(std::to_string(number));
    } else {
      std::vector<long long> numbers(lengths[0]);
      if (!numbers.empty()) status = nc_get_var_longlong(file.id(), varid, numbers.data());
      if (status != NC_NOERR) throw file.library_error(varname, status);
      for (long long number : numbers) ids.push_back(std::to_string(number));
    }
  } else {
    throw file.error(varname,
                     " cannot hold station identifiers: a char variable over (station, "
                     "length), a string variable or an integer variable over (station) is "
                     "needed");
  }
  file.close(status);
  return ids;
}

}  // namespace d2g
