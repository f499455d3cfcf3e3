#include "grads2cf/cf_writer.h"

#include <fmt/format.h>
#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "common/fatal_error.h"

namespace d2g::grads2cf {

namespace {

class Writer {
 public:
  explicit Writer(const std::string& path) : path_(path) {
    check(nc_create(path.c_str(), NC_CLOBBER | NC_NETCDF4, &ncid_), "");
  }
  ~Writer() {
    if (ncid_ >= 0) nc_close(ncid_);
  }
  void close() {
    const int id = ncid_;
    ncid_ = -1;
    check(nc_close(id), "");
  }
  int id() const { return ncid_; }
  void check(int status, const std::string& var) const {
    if (status == NC_NOERR) return;
    throw FatalError::bad_input(
        path_, (var.empty() ? "" : "variable \"" + var + "\": ") + nc_strerror(status));
  }
  int dim(const char* name, std::size_t length) {
    int id;
    check(nc_def_dim(ncid_, name, length, &id), name);
    return id;
  }
  int var(const std::string& name, nc_type type, std::vector<int> dims) {
    int id;
    check(nc_def_var(ncid_, name.c_str(), type, static_cast<int>(dims.size()), dims.data(), &id),
          name);
    return id;
  }
  void text(int var, const char* name, const std::string& value) {
    if (value.empty()) return;
    check(nc_put_att_text(ncid_, var, name, value.size(), value.c_str()), name);
  }

 private:
  std::string path_;
  int ncid_ = -1;
};

}  // namespace

CfPlan plan_cf(const gradsin::StationDataSet& data, const gradsin::StationReports& reports,
               Layout asked) {
  CfPlan plan;
  plan.profiles = data.vars.size() > data.surface_vars;
  bool fits = !plan.profiles;
  std::vector<int32_t> last_group(reports.ids.size(), -1);
  for (std::size_t r = 0; r < reports.station.size() && fits; ++r) {
    fits = reports.offset[r] == 0 && last_group[reports.station[r]] != reports.group[r];
    last_group[reports.station[r]] = reports.group[r];
  }
  if (asked == Layout::kOrthogonal && !fits) {
    throw FatalError::bad_input(
        data.control_path,
        plan.profiles ? "--layout orthogonal: level-dependent data need the ragged layout"
                      : "--layout orthogonal: a station reports more than once in a time group, "
                        "or off its group's time; give --layout ragged");
  }
  plan.orthogonal = asked != Layout::kRagged && fits;
  const cftime::CivilTime& s = data.start;
  const bool days = data.step.months == 0 && data.step.minutes % 1440 == 0;
  plan.time_units = fmt::format("{} since {:04d}-{:02d}-{:02d} {:02d}:{:02d}:00",
                                days || data.step.months > 0 ? "days" : "minutes", s.year, s.month,
                                s.day, s.hour, s.minute);
  plan.calendar = data.calendar == cftime::Calendar::kNoLeap ? "noleap" : "proleptic_gregorian";
  return plan;
}

void write_cf(const std::string& path, const gradsin::StationDataSet& data,
              const gradsin::StationReports& reports, const CfPlan& plan,
              const std::string& history) {
  Writer w(path);
  const std::size_t nstation = reports.ids.size();
  const std::size_t nreport = reports.station.size();
  const std::size_t level_vars = data.vars.size() - data.surface_vars;
  const int station_dim = w.dim("station", nstation);

  // Every report's time, in the time unit from the first group.
  const long double origin = data.group_time(0);
  const long double unit = plan.time_units.rfind("days", 0) == 0 ? 86400.0L : 60.0L;
  auto report_time = [&](std::size_t r) {
    const int64_t g = reports.group[r];
    const long double at = data.group_time(g);
    const float t = reports.offset[r];
    const long double span = t >= 0 ? data.group_time(g + 1) - at : at - data.group_time(g - 1);
    return static_cast<double>((at + static_cast<long double>(t) * span - origin) / unit);
  };

  // The reports in the order the layout stores them: by station (contiguous), in file order
  // within a station, which is time order.
  std::vector<std::size_t> order(nreport);
  std::iota(order.begin(), order.end(), 0);
  if (!plan.profiles) {
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
      return reports.station[a] < reports.station[b];
    });
  }

  int time_dim = -1, obs_dim = -1, profile_dim = -1;
  std::vector<int> element_dims;
  if (plan.orthogonal) {
    time_dim = w.dim("time", static_cast<std::size_t>(data.ntime));
    element_dims = {station_dim, time_dim};
  } else if (!plan.profiles) {
    obs_dim = w.dim("obs", nreport);
    element_dims = {obs_dim};
  } else {
    profile_dim = w.dim("profile", nreport);
    std::size_t levels = 0;
    for (int32_t n : reports.nlevels) levels += static_cast<std::size_t>(n);
    obs_dim = w.dim("obs", levels);
    element_dims = {profile_dim};
  }

  const int id_var = w.var("station_id", NC_STRING, {station_dim});
  w.text(id_var, "cf_role", "timeseries_id");
  w.text(id_var, "long_name", "station identifier");
  const int lat_var = w.var("lat", NC_FLOAT, {station_dim});
  w.text(lat_var, "standard_name", "latitude");
  w.text(lat_var, "units", "degrees_north");
  const int lon_var = w.var("lon", NC_FLOAT, {station_dim});
  w.text(lon_var, "standard_name", "longitude");
  w.text(lon_var, "units", "degrees_east");
  const int time_var =
      w.var("time", NC_DOUBLE, plan.orthogonal ? std::vector<int>{time_dim} : element_dims);
  w.text(time_var, "standard_name", "time");
  w.text(time_var, "units", plan.time_units);
  w.text(time_var, "calendar", plan.calendar);
  w.text(time_var, "axis", "T");
  int count_var = -1, index_var = -1, z_var = -1;
  if (!plan.orthogonal && !plan.profiles) {
    count_var = w.var("row_size", NC_INT, {station_dim});
    w.text(count_var, "sample_dimension", "obs");
    w.text(count_var, "long_name", "number of observations of the station");
  }
  if (plan.profiles) {
    index_var = w.var("station_index", NC_INT, {profile_dim});
    w.text(index_var, "instance_dimension", "station");
    w.text(index_var, "long_name", "the station of the profile");
    count_var = w.var("row_size", NC_INT, {profile_dim});
    w.text(count_var, "sample_dimension", "obs");
    w.text(count_var, "long_name", "number of levels of the profile");
    z_var = w.var("lev", NC_FLOAT, {obs_dim});
    w.text(z_var, "long_name", "level");
    w.text(z_var, "axis", "Z");
  }
  const std::string coordinates =
      plan.profiles ? "time lat lon lev station_id" : "time lat lon station_id";
  std::vector<int> data_vars;
  for (const gradsin::VarDecl& var : data.vars) {
    const auto cf_name = var.attributes.find("cf_name");
    const std::string name = cf_name != var.attributes.end() ? cf_name->second : var.name;
    const int id = w.var(name, NC_FLOAT, var.on_levels ? std::vector<int>{obs_dim} : element_dims);
    w.check(nc_put_att_float(w.id(), id, "_FillValue", NC_FLOAT, 1, &data.undef), name);
    const auto attribute = [&](const char* key) {
      const auto at = var.attributes.find(key);
      return at == var.attributes.end() ? std::string() : at->second;
    };
    const std::string long_name = attribute("long_name");
    w.text(id, "long_name", long_name.empty() ? var.description : long_name);
    w.text(id, "units", attribute("units"));
    w.text(id, "standard_name", attribute("standard_name"));
    w.text(id, "coordinates", coordinates);
    data_vars.push_back(id);
  }
  w.text(NC_GLOBAL, "Conventions", "CF-1.8");
  w.text(NC_GLOBAL, "featureType", plan.profiles ? "timeSeriesProfile" : "timeSeries");
  w.text(NC_GLOBAL, "title", data.title);
  w.text(NC_GLOBAL, "history", history);
  w.check(nc_enddef(w.id()), "");

  // Stations.
  {
    std::vector<const char*> ids;
    for (const std::string& id : reports.ids) ids.push_back(id.c_str());
    if (nstation > 0) {
      w.check(nc_put_var_string(w.id(), id_var, ids.data()), "station_id");
      w.check(nc_put_var_float(w.id(), lat_var, reports.lat.data()), "lat");
      w.check(nc_put_var_float(w.id(), lon_var, reports.lon.data()), "lon");
    }
  }
  auto value = [&](std::size_t r, std::size_t v) {
    const float x = reports.values[static_cast<std::size_t>(reports.first_value[r]) + v];
    return gradsin::is_missing(x, data.undef) ? data.undef : x;
  };
  if (plan.orthogonal) {
    std::vector<double> times(static_cast<std::size_t>(data.ntime));
    for (int64_t g = 0; g < data.ntime; ++g) {
      times[static_cast<std::size_t>(g)] =
          static_cast<double>((data.group_time(g) - origin) / unit);
    }
    w.check(nc_put_var_double(w.id(), time_var, times.data()), "time");
    std::vector<float> table(nstation * static_cast<std::size_t>(data.ntime), data.undef);
    for (std::size_t v = 0; v < data.vars.size(); ++v) {
      std::fill(table.begin(), table.end(), data.undef);
      for (std::size_t r = 0; r < nreport; ++r) {
        table[static_cast<std::size_t>(reports.station[r]) * static_cast<std::size_t>(data.ntime) +
              static_cast<std::size_t>(reports.group[r])] = value(r, v);
      }
      if (!table.empty())
        w.check(nc_put_var_float(w.id(), data_vars[v], table.data()), data.vars[v].name);
    }
  } else {
    std::vector<double> times;
    std::vector<int> counts(plan.profiles ? nreport : nstation, 0);
    std::vector<int> stations;
    for (std::size_t r : order) {
      times.push_back(report_time(r));
      if (plan.profiles) {
        counts[r] = reports.nlevels[r];
        stations.push_back(reports.station[r]);
      } else {
        ++counts[static_cast<std::size_t>(reports.station[r])];
      }
    }
    if (!times.empty()) w.check(nc_put_var_double(w.id(), time_var, times.data()), "time");
    if (!counts.empty()) w.check(nc_put_var_int(w.id(), count_var, counts.data()), "row_size");
    if (plan.profiles && !stations.empty()) {
      w.check(nc_put_var_int(w.id(), index_var, stations.data()), "station_index");
    }
    std::vector<float> column;
    for (std::size_t v = 0; v < data.surface_vars; ++v) {
      column.clear();
      for (std::size_t r : order) column.push_back(value(r, v));
      if (!column.empty())
        w.check(nc_put_var_float(w.id(), data_vars[v], column.data()), data.vars[v].name);
    }
    if (plan.profiles) {
      column.clear();
      for (std::size_t r : order) {
        for (int32_t l = 0; l < reports.nlevels[r]; ++l) {
          column.push_back(reports.values[static_cast<std::size_t>(reports.first_value[r]) +
                                          data.surface_vars + l * (1 + level_vars)]);
        }
      }
      if (!column.empty()) w.check(nc_put_var_float(w.id(), z_var, column.data()), "lev");
      for (std::size_t v = 0; v < level_vars; ++v) {
        column.clear();
        for (std::size_t r : order) {
          for (int32_t l = 0; l < reports.nlevels[r]; ++l) {
            column.push_back(value(r, data.surface_vars + l * (1 + level_vars) + 1 + v));
          }
        }
        const std::size_t at = data.surface_vars + v;
        if (!column.empty())
          w.check(nc_put_var_float(w.id(), data_vars[at], column.data()), data.vars[at].name);
      }
    }
  }
  w.close();
}

}  // namespace d2g::grads2cf
