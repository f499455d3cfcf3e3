#include "cfstation/feature_data.h"

#include <fmt/format.h>
#include <netcdf.h>

#include <algorithm>
#include <cmath>

#include "ncinput/values.h"

namespace d2g::cf {

namespace {

Table<double> read_doubles(const NcFile& file, const Variable& var, int32_t& status,
                           std::vector<std::string>& notes) {
  const Hyperslab slab = whole_variable(var);
  Table<double> out(slab.size());
  read_values(file, var, slab, out.data(), status, notes);
  return out;
}

// Integer link values (counts, indices); missing ones are -1.
std::vector<int64_t> read_links(const NcFile& file, const Variable& var, int32_t& status,
                                std::vector<std::string>& notes) {
  const Table<double> values = read_doubles(file, var, status, notes);
  std::vector<int64_t> links(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    links[i] = std::isnan(values[i]) ? -1 : static_cast<int64_t>(values[i]);
  }
  return links;
}

std::vector<std::string> read_ids(const NcFile& file, const Variable& var, int64_t nstation,
                                  int32_t& status, std::vector<std::string>& notes) {
  std::vector<std::string> ids;
  if (var.type == NC_CHAR) {
    const std::size_t width =
        var.dims.empty() ? 1 : static_cast<std::size_t>(var.dims.back().length);
    std::string text(width * static_cast<std::size_t>(nstation), '\0');
    if (!text.empty()) status = nc_get_var_text(file.id(), var.varid, text.data());
    if (status != NC_NOERR) throw file.library_error(var.name, status);
    for (int64_t s = 0; s < nstation; ++s) {
      std::string row = text.substr(static_cast<std::size_t>(s) * width, width);
      ids.push_back(row.substr(0, row.find('\0')));
    }
  } else if (var.type == NC_STRING) {
    std::vector<char*> texts(static_cast<std::size_t>(nstation), nullptr);
    status = nc_get_var_string(file.id(), var.varid, texts.data());
    if (status != NC_NOERR) throw file.library_error(var.name, status);
    for (char* text : texts) ids.emplace_back(text != nullptr ? text : "");
    nc_free_string(texts.size(), texts.data());
  } else {
    for (double value : read_doubles(file, var, status, notes)) {
      if (std::isnan(value)) {
        ids.emplace_back();
      } else if (value == std::floor(value) && std::fabs(value) < 9.2e18) {
        ids.push_back(std::to_string(static_cast<long long>(value)));
      } else {
        ids.push_back(fmt::format("{}", value));
      }
    }
  }
  // Blanks around an identifier are padding, not part of it.
  for (std::string& id : ids) {
    const std::size_t first = id.find_first_not_of(' ');
    id = first == std::string::npos ? "" : id.substr(first, id.find_last_not_of(' ') - first + 1);
  }
  return ids;
}

}  // namespace

void FeatureData::sort_station(int64_t s) {
  auto time_of = [&](int64_t e) {
    const double t = time[static_cast<std::size_t>(at(layout.time.strides, s, e, 0))];
    return std::isnan(t) ? HUGE_VAL : t;
  };
  bool sorted = true;
  for (int64_t k = 1; k < element_count(s) && sorted; ++k) {
    sorted = time_of(element(s, k - 1)) <= time_of(element(s, k));
  }
  if (sorted) return;
  if (layout.elements != Link::kIndex) {
    // Every station's elements as an explicit list, so that one station's can be reordered.
    std::vector<int64_t> first(static_cast<std::size_t>(layout.nstation) + 1, 0);
    std::vector<int64_t> order;
    for (int64_t t = 0; t < layout.nstation; ++t) {
      for (int64_t k = 0; k < element_count(t); ++k) order.push_back(element(t, k));
      first[static_cast<std::size_t>(t) + 1] = static_cast<int64_t>(order.size());
    }
    first_ = std::move(first);
    order_ = std::move(order);
    layout.elements = Link::kIndex;
  }
  std::stable_sort(order_.begin() + first_[s], order_.begin() + first_[s + 1],
                   [&](int64_t a, int64_t b) { return time_of(a) < time_of(b); });
}

FeatureData read_feature(const NcFile& file, DsgLayout layout, float marker, int32_t& status,
                         std::vector<std::string>& notes) {
  FeatureData data;
  data.path = file.path();
  data.layout = std::move(layout);
  const DsgLayout& l = data.layout;
  const int64_t nstation = l.nstation;
  const int64_t nelement = l.element_dim.length;

  // Stations and their elements.
  if (l.elements == Link::kCount) {
    const std::vector<int64_t> counts = read_links(file, *l.element_link, status, notes);
    data.first_.assign(static_cast<std::size_t>(nstation) + 1, 0);
    for (int64_t s = 0; s < nstation; ++s) {
      const int64_t count = counts[static_cast<std::size_t>(s)];
      data.first_[s + 1] = data.first_[s] + (count > 0 ? count : 0);
    }
    if (data.first_.back() > nelement) {
      throw file.error(l.element_link->name,
                       fmt::format(": the counts add up to {}, but the dimension \"{}\" has {}",
                                   data.first_.back(), l.element_dim.full_name, nelement));
    }
  } else if (l.elements == Link::kIndex) {
    const std::vector<int64_t> index = read_links(file, *l.element_link, status, notes);
    data.first_.assign(static_cast<std::size_t>(nstation) + 1, 0);
    for (int64_t station : index) {
      if (station >= 0 && station < nstation)
        ++data.first_[station + 1];
      else
        ++data.unplaced;
    }
    for (int64_t s = 0; s < nstation; ++s) data.first_[s + 1] += data.first_[s];
    data.order_.resize(static_cast<std::size_t>(data.first_.back()));
    std::vector<int64_t> next(data.first_.begin(), data.first_.end() - 1);
    for (int64_t e = 0; e < nelement; ++e) {
      const int64_t station = index[static_cast<std::size_t>(e)];
      if (station >= 0 && station < nstation) data.order_[next[station]++] = e;
    }
  }
  if (l.level_dim && l.levels == Link::kCount) {
    const std::vector<int64_t> counts = read_links(file, *l.level_link, status, notes);
    data.level_first_.assign(static_cast<std::size_t>(nelement) + 1, 0);
    for (int64_t e = 0; e < nelement; ++e) {
      const int64_t count = counts[static_cast<std::size_t>(e)];
      data.level_first_[e + 1] = data.level_first_[e] + (count > 0 ? count : 0);
    }
    if (data.level_first_.back() > l.level_dim->length) {
      throw file.error(
          l.level_link->name,
          fmt::format(": the counts add up to {}, but the dimension \"{}\" has {}",
                      data.level_first_.back(), l.level_dim->full_name, l.level_dim->length));
    }
  }

  // Times, in seconds from day 0 of the calendar.
  try {
    data.calendar = cftime::parse_calendar(l.calendar);
    const cftime::TimeUnits units = cftime::parse_time_units(l.time_units);
    const long double epoch = cftime::absolute_seconds(units.epoch, data.calendar);
    data.time = read_doubles(file, l.time.var, status, notes);
    // A time kept in single precision is only as exact as its last bit: the whole minute within
    // half of that is the time meant (hourly times in float days since 2000 are off by up to
    // 42 seconds).
    const bool single = l.time.var.type == NC_FLOAT;
    for (double& t : data.time) {
      if (std::isnan(t)) continue;
      long double seconds = epoch + static_cast<long double>(t) * units.unit_seconds;
      if (single) {
        const auto stored = static_cast<float>(t);
        const long double half =
            std::fabs(std::nextafter(stored, stored < 0 ? -INFINITY : INFINITY) - stored) / 2.0L *
            units.unit_seconds;
        const long double minute = std::round(seconds / 60) * 60;
        if (std::fabs(seconds - minute) <= half) seconds = minute;
      }
      t = static_cast<double>(seconds);
    }
  } catch (const cftime::CfTimeError& error) {
    throw file.error(l.time.var.name, error.what());
  }
  data.lat = read_doubles(file, l.lat.var, status, notes);
  data.lon = read_doubles(file, l.lon.var, status, notes);
  if (l.z) data.z = read_doubles(file, l.z->var, status, notes);
  if (l.id)
    data.ids = read_ids(file, *l.id, nstation, status, notes);
  else
    data.ids.assign(static_cast<std::size_t>(nstation), "");

  for (const DataVariable& var : l.data) {
    const Hyperslab slab = whole_variable(var.at.var);
    Table<float> values(slab.size());
    read_values(file, var.at.var, slab, marker, values.data(), status, notes);
    // NaN is missing to GrADS too; writing it as the marker makes one form of missing.
    for (float& v : values) {
      if (v != v) v = marker;
    }
    data.values.push_back(std::move(values));
  }
  return data;
}

}  // namespace d2g::cf
