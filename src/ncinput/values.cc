#include "ncinput/values.h"

#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <type_traits>
#include <vector>

namespace d2g {

namespace {

template <class T>
constexpr T default_fill() {
  if constexpr (std::is_same_v<T, short>) return NC_FILL_SHORT;
  if constexpr (std::is_same_v<T, unsigned short>) return NC_FILL_USHORT;
  if constexpr (std::is_same_v<T, int>) return NC_FILL_INT;
  if constexpr (std::is_same_v<T, unsigned int>) return NC_FILL_UINT;
  if constexpr (std::is_same_v<T, long long>) return NC_FILL_INT64;
  if constexpr (std::is_same_v<T, unsigned long long>) return NC_FILL_UINT64;
  if constexpr (std::is_same_v<T, float>) return NC_FILL_FLOAT;
  if constexpr (std::is_same_v<T, double>) return NC_FILL_DOUBLE;
  return T{};
}

// `value` in type T, or nothing when T cannot hold it (such a marker matches no cell).
template <class T>
std::optional<T> in_type(double value) {
  if constexpr (std::is_floating_point_v<T>) {
    return static_cast<T>(value);
  } else {
    if (!(value >= static_cast<double>(std::numeric_limits<T>::lowest()) &&
          value <= static_cast<double>(std::numeric_limits<T>::max())) ||
        value != std::floor(value)) {
      return std::nullopt;
    }
    return static_cast<T>(value);
  }
}

std::vector<double> numeric_attribute(const NcFile& file, const Variable& var,
                                      const char* attribute) {
  nc_type type = NC_NAT;
  std::size_t length = 0;
  if (nc_inq_att(file.id(), var.varid, attribute, &type, &length) != NC_NOERR) return {};
  if (type < NC_BYTE || type > NC_UINT64 || type == NC_CHAR || length == 0) return {};
  std::vector<double> values(length);
  if (nc_get_att_double(file.id(), var.varid, attribute, values.data()) != NC_NOERR) return {};
  return values;
}

// The stored values that mark a missing cell, in the variable's type. NaN never matches.
template <class T>
std::vector<T> missing_markers(const NcFile& file, const Variable& var) {
  std::vector<T> markers;
  const std::vector<double> fill = numeric_attribute(file, var, "_FillValue");
  nc_type type = NC_NAT;
  const bool declares_fill = nc_inq_atttype(file.id(), var.varid, "_FillValue", &type) == NC_NOERR;
  if (!declares_fill && sizeof(T) > 1) markers.push_back(default_fill<T>());
  for (const std::vector<double>& values : {fill, numeric_attribute(file, var, "missing_value")}) {
    for (double value : values) {
      if (const std::optional<T> marker = in_type<T>(value)) markers.push_back(*marker);
    }
  }
  return markers;
}

struct Packing {
  double scale = 1.0;
  double offset = 0.0;
  bool packed = false;
};

Packing packing(const NcFile& file, const Variable& var) {
  Packing p;
  const std::vector<double> scale = numeric_attribute(file, var, "scale_factor");
  const std::vector<double> offset = numeric_attribute(file, var, "add_offset");
  if (!scale.empty()) p.scale = scale.front();
  if (!offset.empty()) p.offset = offset.front();
  p.packed = !scale.empty() || !offset.empty();
  return p;
}

// Where stored value i goes in the station-fastest table.
struct Placement {
  bool transpose;
  std::size_t nstn;
  std::size_t nsecond;
  std::size_t operator()(std::size_t i) const {
    return transpose ? (i % nsecond) * nstn + i / nsecond : i;
  }
};

template <class T>
int64_t convert(const NcFile& file, const Variable& var, const Placement& place, float marker,
                float* out, std::size_t count, int32_t& status) {
  const std::vector<T> markers = missing_markers<T>(file, var);
  const Packing pack = packing(file, var);
  const bool direct = std::is_same_v<T, float> && !pack.packed && !place.transpose;
  std::vector<T> stored;
  T* raw = nullptr;
  if constexpr (std::is_same_v<T, float>) {
    if (direct) raw = out;
  }
  if (raw == nullptr) {
    stored.resize(count);
    raw = stored.data();
  }
  status = nc_get_var(file.id(), var.varid, raw);
  if (status != NC_NOERR) throw file.library_error(var.name, status);

  int64_t missing = 0;
  if (direct) {
    // Already in place: only the missing cells change.
    for (std::size_t i = 0; i < count; ++i) {
      bool hit = false;
      for (const T value : markers) hit |= raw[i] == value;
      if (!hit) continue;
      out[i] = marker;
      ++missing;
    }
    return missing;
  }
  for (std::size_t i = 0; i < count; ++i) {
    const T value = raw[i];
    float result;
    if (std::find(markers.begin(), markers.end(), value) != markers.end()) {
      result = marker;
      ++missing;
    } else {
      const double unpacked =
          pack.packed ? static_cast<double>(value) * pack.scale + pack.offset : value;
      result = static_cast<float>(unpacked);
      // A finite value beyond single precision would reach GrADS as an infinity.
      if (std::isinf(result) && std::isfinite(unpacked)) {
        throw file.error(var.name, nc_strerror(NC_ERANGE));
      }
    }
    out[place(i)] = result;
  }
  return missing;
}

}  // namespace

int64_t read_values(const NcFile& file, const Variable& var, bool station_first, float marker,
                    float* out, std::size_t count, int32_t& status) {
  if (count == 0) return 0;
  Placement place{false, count, 1};
  if (var.dims.size() == 2 && station_first) {
    place = {true, static_cast<std::size_t>(var.dims[0].length),
             static_cast<std::size_t>(var.dims[1].length)};
  }
  switch (var.type) {
    case NC_BYTE:
      return convert<signed char>(file, var, place, marker, out, count, status);
    case NC_UBYTE:
      return convert<unsigned char>(file, var, place, marker, out, count, status);
    case NC_SHORT:
      return convert<short>(file, var, place, marker, out, count, status);
    case NC_USHORT:
      return convert<unsigned short>(file, var, place, marker, out, count, status);
    case NC_INT:
      return convert<int>(file, var, place, marker, out, count, status);
    case NC_UINT:
      return convert<unsigned int>(file, var, place, marker, out, count, status);
    case NC_INT64:
      return convert<long long>(file, var, place, marker, out, count, status);
    case NC_UINT64:
      return convert<unsigned long long>(file, var, place, marker, out, count, status);
    case NC_FLOAT:
      return convert<float>(file, var, place, marker, out, count, status);
    case NC_DOUBLE:
      return convert<double>(file, var, place, marker, out, count, status);
    default:
      throw file.error(var.name, " is not numeric");
  }
}

}  // namespace d2g
