// make_cf_stations: writes a CF timeSeries station file of generated daily data, for the
// benchmark and for trying cf2grads on a size of one's choice: NSTN stations, NTIME days from
// 1990-01-01, three float variables (tas, pr, rh) with a few missing values, in the orthogonal
// multidimensional layout (station, time) or the contiguous ragged one (the same observations,
// the missing ones left out). netCDF-4, uncompressed, contiguous storage.
//
// Usage: make_cf_stations orthogonal|contiguous NSTN NTIME OUT.nc

#include <netcdf.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void check(int status, const char* what) {
  if (status != NC_NOERR) {
    std::fprintf(stderr, "make_cf_stations: %s: %s\n", what, nc_strerror(status));
    std::exit(1);
  }
}

void text(int ncid, int varid, const char* name, const std::string& value) {
  check(nc_put_att_text(ncid, varid, name, value.size(), value.c_str()), name);
}

float value(int var, long station, long day) {
  // A smooth seasonal cycle plus a little station-dependent noise; every 97th value missing.
  if ((station * 7 + day * 3 + var) % 97 == 0) return -9999.0f;
  const double season = std::sin(2 * M_PI * static_cast<double>(day) / 365.25);
  const double noise = static_cast<double>((station * 2654435761u + day * 40503u) % 1000) / 1000;
  static const double base[] = {15, 2, 60};
  static const double swing[] = {10, 2, 20};
  return static_cast<float>(base[var] + swing[var] * season + noise);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: make_cf_stations orthogonal|contiguous NSTN NTIME OUT.nc\n");
    return 2;
  }
  const std::string layout = argv[1];
  const long nstn = std::atol(argv[2]);
  const long ntime = std::atol(argv[3]);
  const bool ragged = layout == "contiguous";
  int ncid;
  check(nc_create(argv[4], NC_CLOBBER | NC_NETCDF4, &ncid), argv[4]);
  int station_dim, time_dim, strlen_dim;
  check(nc_def_dim(ncid, "station", static_cast<size_t>(nstn), &station_dim), "station");
  check(nc_def_dim(ncid, "name_strlen", 8, &strlen_dim), "name_strlen");
  std::vector<int> counts(static_cast<size_t>(nstn), 0);
  long nobs = 0;
  for (long s = 0; s < nstn; ++s) {
    for (long d = 0; d < ntime; ++d) {
      bool any = false;
      for (int v = 0; v < 3; ++v) any |= value(v, s, d) != -9999.0f;
      counts[static_cast<size_t>(s)] += any;
    }
    nobs += ragged ? counts[static_cast<size_t>(s)] : 0;
  }
  check(nc_def_dim(ncid, ragged ? "obs" : "time", static_cast<size_t>(ragged ? nobs : ntime),
                   &time_dim),
        "time");
  int lat, lon, id, time, count = -1, vars[3];
  check(nc_def_var(ncid, "lat", NC_FLOAT, 1, &station_dim, &lat), "lat");
  text(ncid, lat, "units", "degrees_north");
  check(nc_def_var(ncid, "lon", NC_FLOAT, 1, &station_dim, &lon), "lon");
  text(ncid, lon, "units", "degrees_east");
  const int id_dims[] = {station_dim, strlen_dim};
  check(nc_def_var(ncid, "station_id", NC_CHAR, 2, id_dims, &id), "station_id");
  text(ncid, id, "cf_role", "timeseries_id");
  check(nc_def_var(ncid, "time", NC_DOUBLE, 1, &time_dim, &time), "time");
  text(ncid, time, "units", "days since 1990-01-01");
  if (ragged) {
    check(nc_def_var(ncid, "row_size", NC_INT, 1, &station_dim, &count), "row_size");
    text(ncid, count, "sample_dimension", "obs");
  }
  const char* names[] = {"tas", "pr", "rh"};
  const char* units[] = {"degC", "mm day-1", "percent"};
  const int data_dims[] = {station_dim, time_dim};
  for (int v = 0; v < 3; ++v) {
    check(nc_def_var(ncid, names[v], NC_FLOAT, ragged ? 1 : 2, ragged ? &time_dim : data_dims,
                     &vars[v]),
          names[v]);
    check(nc_def_var_chunking(ncid, vars[v], NC_CONTIGUOUS, nullptr), names[v]);
    text(ncid, vars[v], "units", units[v]);
    const float fill = -9999.0f;
    check(nc_put_att_float(ncid, vars[v], "_FillValue", NC_FLOAT, 1, &fill), names[v]);
  }
  text(ncid, NC_GLOBAL, "featureType", "timeSeries");
  text(ncid, NC_GLOBAL, "Conventions", "CF-1.8");
  check(nc_enddef(ncid), "enddef");

  std::vector<float> lats(static_cast<size_t>(nstn)), lons(static_cast<size_t>(nstn));
  std::vector<char> ids(static_cast<size_t>(nstn) * 8, '\0');
  for (long s = 0; s < nstn; ++s) {
    lats[static_cast<size_t>(s)] = static_cast<float>(-60 + 120.0 * (s % 997) / 997);
    lons[static_cast<size_t>(s)] = static_cast<float>(-180 + 360.0 * (s % 1009) / 1009);
    char name[32];
    const int length = std::snprintf(name, sizeof name, "S%06ld", s % 1000000);
    std::copy(name, name + length, ids.begin() + s * 8);
  }
  check(nc_put_var_float(ncid, lat, lats.data()), "lat");
  check(nc_put_var_float(ncid, lon, lons.data()), "lon");
  check(nc_put_var_text(ncid, id, ids.data()), "station_id");
  if (ragged) {
    check(nc_put_var_int(ncid, count, counts.data()), "row_size");
    std::vector<double> times;
    times.reserve(static_cast<size_t>(nobs));
    std::vector<std::vector<float>> data(3);
    for (long s = 0; s < nstn; ++s) {
      for (long d = 0; d < ntime; ++d) {
        const float a = value(0, s, d), b = value(1, s, d), c = value(2, s, d);
        if (a == -9999.0f && b == -9999.0f && c == -9999.0f) continue;
        times.push_back(static_cast<double>(d));
        data[0].push_back(a);
        data[1].push_back(b);
        data[2].push_back(c);
      }
    }
    check(nc_put_var_double(ncid, time, times.data()), "time");
    for (int v = 0; v < 3; ++v) check(nc_put_var_float(ncid, vars[v], data[v].data()), names[v]);
  } else {
    std::vector<double> times(static_cast<size_t>(ntime));
    for (long d = 0; d < ntime; ++d) times[static_cast<size_t>(d)] = static_cast<double>(d);
    check(nc_put_var_double(ncid, time, times.data()), "time");
    std::vector<float> row(static_cast<size_t>(ntime));
    for (int v = 0; v < 3; ++v) {
      for (long s = 0; s < nstn; ++s) {
        for (long d = 0; d < ntime; ++d) row[static_cast<size_t>(d)] = value(v, s, d);
        const size_t start[] = {static_cast<size_t>(s), 0};
        const size_t edge[] = {1, static_cast<size_t>(ntime)};
        check(nc_put_vara_float(ncid, vars[v], start, edge, row.data()), names[v]);
      }
    }
  }
  check(nc_close(ncid), argv[4]);
  return 0;
}
