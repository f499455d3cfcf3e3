#include "ncinput/values.h"

#include <fmt/format.h>
#include <netcdf.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
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

// `value` in type T exactly, or nothing when T cannot hold it (such a marker matches no cell).
template <class T>
std::optional<T> in_type(double value) {
  if constexpr (std::is_floating_point_v<T>) {
    const T held = static_cast<T>(value);
    if (std::isnan(value) || static_cast<double>(held) == value) return held;
    return std::nullopt;
  } else {
    if (!(value >= static_cast<double>(std::numeric_limits<T>::lowest()) &&
          value <= static_cast<double>(std::numeric_limits<T>::max())) ||
        value != std::floor(value)) {
      return std::nullopt;
    }
    return static_cast<T>(value);
  }
}

std::string text_attribute(const NcFile& file, const Variable& var, const char* attribute) {
  nc_type type = NC_NAT;
  std::size_t length = 0;
  if (nc_inq_att(file.id(), var.varid, attribute, &type, &length) != NC_NOERR || type != NC_CHAR) {
    return "";
  }
  std::string text(length, '\0');
  if (nc_get_att_text(file.id(), var.varid, attribute, text.data()) != NC_NOERR) return "";
  text = text.substr(0, text.find('\0'));
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Whether a signed integer variable holds unsigned values (_Unsigned = "true").
bool declared_unsigned(const NcFile& file, const Variable& var) {
  const bool signed_integer =
      var.type == NC_BYTE || var.type == NC_SHORT || var.type == NC_INT || var.type == NC_INT64;
  return signed_integer && text_attribute(file, var, "_Unsigned") == "true";
}

std::vector<double> numeric_attribute(const NcFile& file, const Variable& var,
                                      const char* attribute) {
  nc_type type = NC_NAT;
  std::size_t length = 0;
  if (nc_inq_att(file.id(), var.varid, attribute, &type, &length) != NC_NOERR) return {};
  if (type < NC_BYTE || type > NC_UINT64 || type == NC_CHAR || length == 0) return {};
  std::vector<double> values(length);
  if (nc_get_att_double(file.id(), var.varid, attribute, values.data()) != NC_NOERR) return {};
  // The attributes of an _Unsigned variable are stored in its signed type, meant as unsigned.
  const bool signed_attribute =
      type == NC_BYTE || type == NC_SHORT || type == NC_INT || type == NC_INT64;
  if (signed_attribute && declared_unsigned(file, var)) {
    static const double kRange[] = {0, 256.0, 0, 65536.0, 4294967296.0,          0,
                                    0, 0,     0, 0,       18446744073709551616.0};
    for (double& value : values) {
      if (value < 0 && type < static_cast<nc_type>(std::size(kRange))) value += kRange[type];
    }
  }
  return values;
}

// The stored values that mark a missing cell, in the type T the values are read as.
template <class T>
struct Markers {
  std::vector<T> values;
  bool nan = false;  // NaN cells are missing too
};

template <class T>
T default_fill_as(nc_type stored) {
  // An _Unsigned variable's default fill is its signed type's, bit for bit.
  if constexpr (std::is_integral_v<T> && std::is_unsigned_v<T>) {
    using Signed = std::make_signed_t<T>;
    if (stored == NC_BYTE || stored == NC_SHORT || stored == NC_INT || stored == NC_INT64) {
      return static_cast<T>(default_fill<Signed>());
    }
  }
  (void)stored;
  return default_fill<T>();
}

template <class T>
Markers<T> missing_markers(const NcFile& file, const Variable& var,
                           std::vector<std::string>& notes) {
  Markers<T> markers;
  nc_type type = NC_NAT;
  const bool declares_fill = nc_inq_atttype(file.id(), var.varid, "_FillValue", &type) == NC_NOERR;
  if (!declares_fill && sizeof(T) > 1) markers.values.push_back(default_fill_as<T>(var.type));
  for (const char* attribute : {"_FillValue", "missing_value"}) {
    for (double value : numeric_attribute(file, var, attribute)) {
      if (std::isnan(value)) {
        markers.nan = std::is_floating_point_v<T>;
        continue;
      }
      if (const std::optional<T> marker = in_type<T>(value)) {
        markers.values.push_back(*marker);
      } else {
        notes.push_back(fmt::format(
            "{}: variable \"{}\": {} {} cannot be held exactly by the variable's type, so it "
            "marks no cell as missing",
            file.path(), var.name, attribute, value));
      }
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

// Whether the box lands in the output in the order it is stored, so that it can be read in place.
bool in_stored_order(const Hyperslab& slab) {
  std::size_t expected = 1;
  for (std::size_t d = slab.count.size(); d-- > 0;) {
    if (slab.count[d] == 1) continue;
    if (slab.stride[d] != expected) return false;
    expected *= slab.count[d];
  }
  return true;
}

template <class T, class Out>
int64_t convert(const NcFile& file, const Variable& var, const Hyperslab& slab, Out marker,
                Out* out, int32_t& status, std::vector<std::string>& notes) {
  const std::size_t count = slab.size();
  const Markers<T> found = missing_markers<T>(file, var, notes);
  const std::vector<T>& markers = found.values;
  const bool nan_missing = found.nan;
  const Packing pack = packing(file, var);
  const bool direct = std::is_same_v<T, Out> && !pack.packed && in_stored_order(slab);
  std::vector<T> stored;
  T* raw = nullptr;
  if constexpr (std::is_same_v<T, Out>) {
    if (direct) raw = out;
  }
  if (raw == nullptr) {
    stored.resize(count);
    raw = stored.data();
  }
  status = nc_get_vara(file.id(), var.varid, slab.start.data(), slab.count.data(), raw);
  if (status != NC_NOERR) throw file.library_error(var.name, status);

  int64_t missing = 0;
  if (direct) {
    // Already in place: only the missing cells change.
    for (std::size_t i = 0; i < count; ++i) {
      bool hit = nan_missing && raw[i] != raw[i];
      for (const T value : markers) hit |= raw[i] == value;
      if (!hit) continue;
      out[i] = marker;
      ++missing;
    }
    return missing;
  }
  // The dimensions the box runs along, in stored order, and where a step along each lands.
  std::vector<std::size_t> lengths, strides;
  for (std::size_t d = 0; d < slab.count.size(); ++d) {
    if (slab.count[d] == 1) continue;
    lengths.push_back(slab.count[d]);
    strides.push_back(slab.stride[d]);
  }
  std::vector<std::size_t> at(lengths.size(), 0);
  std::size_t offset = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const T value = raw[i];
    Out result;
    bool nan = false;
    if constexpr (std::is_floating_point_v<T>) nan = nan_missing && std::isnan(value);
    if (nan || std::find(markers.begin(), markers.end(), value) != markers.end()) {
      result = marker;
      ++missing;
    } else {
      const double unpacked =
          pack.packed ? static_cast<double>(value) * pack.scale + pack.offset : value;
      result = static_cast<Out>(unpacked);
      // A finite value beyond single precision would reach GrADS as an infinity.
      if (std::is_same_v<Out, float> && std::isinf(result) && std::isfinite(unpacked)) {
        throw file.error(var.name, nc_strerror(NC_ERANGE));
      }
    }
    out[offset] = result;
    // The next stored value's place: the last dimension moves fastest.
    for (std::size_t d = lengths.size(); d-- > 0;) {
      offset += strides[d];
      if (++at[d] < lengths[d]) break;
      offset -= strides[d] * lengths[d];
      at[d] = 0;
    }
  }
  return missing;
}

}  // namespace

std::size_t Hyperslab::size() const {
  std::size_t values = 1;
  for (std::size_t n : count) values *= n;
  return values;
}

Hyperslab whole_variable(const Variable& var) {
  Hyperslab slab;
  std::size_t stride = 1;
  slab.start.assign(var.dims.size(), 0);
  slab.count.assign(var.dims.size(), 0);
  slab.stride.assign(var.dims.size(), 0);
  for (std::size_t d = var.dims.size(); d-- > 0;) {
    slab.count[d] = static_cast<std::size_t>(var.dims[d].length);
    slab.stride[d] = stride;
    stride *= slab.count[d];
  }
  return slab;
}

Hyperslab whole_2d(const Variable& var, bool station_first) {
  const std::size_t first = static_cast<std::size_t>(var.dims[0].length);
  const std::size_t last = static_cast<std::size_t>(var.dims[1].length);
  // (second, station) is stored as the table wants it; (station, second) goes across.
  if (station_first) return {{0, 0}, {first, last}, {1, first}};
  return {{0, 0}, {first, last}, {last, 1}};
}

namespace {

template <class Out>
int64_t read_as(const NcFile& file, const Variable& var, const Hyperslab& slab, Out marker,
                Out* out, int32_t& status, std::vector<std::string>& notes) {
  if (slab.size() == 0) return 0;
  // The raw values are read in the variable's own type; unsigned ones through the unsigned type
  // of the same width.
  const bool as_unsigned = declared_unsigned(file, var);
  switch (var.type) {
    case NC_BYTE:
      if (as_unsigned) return convert<unsigned char, Out>(file, var, slab, marker, out, status, notes);
      return convert<signed char, Out>(file, var, slab, marker, out, status, notes);
    case NC_UBYTE:
      return convert<unsigned char, Out>(file, var, slab, marker, out, status, notes);
    case NC_SHORT:
      if (as_unsigned) return convert<unsigned short, Out>(file, var, slab, marker, out, status, notes);
      return convert<short, Out>(file, var, slab, marker, out, status, notes);
    case NC_USHORT:
      return convert<unsigned short, Out>(file, var, slab, marker, out, status, notes);
    case NC_INT:
      if (as_unsigned) return convert<unsigned int, Out>(file, var, slab, marker, out, status, notes);
      return convert<int, Out>(file, var, slab, marker, out, status, notes);
    case NC_UINT:
      return convert<unsigned int, Out>(file, var, slab, marker, out, status, notes);
    case NC_INT64:
      if (as_unsigned) {
        return convert<unsigned long long, Out>(file, var, slab, marker, out, status, notes);
      }
      return convert<long long, Out>(file, var, slab, marker, out, status, notes);
    case NC_UINT64:
      return convert<unsigned long long, Out>(file, var, slab, marker, out, status, notes);
    case NC_FLOAT:
      return convert<float, Out>(file, var, slab, marker, out, status, notes);
    case NC_DOUBLE:
      return convert<double, Out>(file, var, slab, marker, out, status, notes);
    default:
      throw file.error(var.name, " is not numeric");
  }
}

}  // namespace

int64_t read_values(const NcFile& file, const Variable& var, const Hyperslab& slab, float marker,
                    float* out, int32_t& status, std::vector<std::string>& notes) {
  return read_as<float>(file, var, slab, marker, out, status, notes);
}

int64_t read_values(const NcFile& file, const Variable& var, const Hyperslab& slab, double* out,
                    int32_t& status, std::vector<std::string>& notes) {
  return read_as<double>(file, var, slab, std::numeric_limits<double>::quiet_NaN(), out, status,
                         notes);
}

}  // namespace d2g
