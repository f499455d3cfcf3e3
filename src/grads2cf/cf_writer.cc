#include "grads2cf/cf_writer.h"

#include <fmt/format.h>
#include <netcdf.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <numeric>
#include <optional>

#include "common/background_task.h"
#include "common/fatal_error.h"
#include "common/float_buffer.h"
#include "common/text_encoding.h"
#include "gradsin/report_scanner.h"

namespace d2g::grads2cf {

namespace {

class Writer {
 public:
  // `path` is this run's own temporary file. It is made anew rather than truncated: ext4 starts
  // writing back a file truncated on opening when it is closed, and waits for it there. The
  // owner and permission bits it was given carry over.
  explicit Writer(const std::string& path) : path_(path) {
    struct stat given {};
    const bool had = ::stat(path.c_str(), &given) == 0;
    if (had && ::unlink(path.c_str()) != 0) fail_on(errno);
    check(nc_create(path.c_str(), NC_NOCLOBBER | NC_NETCDF4, &ncid_), "");
    if (!had) return;
    if (::chown(path.c_str(), given.st_uid, given.st_gid) != 0 && errno != EPERM) fail_on(errno);
    if (::chmod(path.c_str(), given.st_mode & 07777) != 0) fail_on(errno);
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
  [[noreturn]] void fail_on(int error) {
    if (ncid_ >= 0) nc_close(ncid_);  // the destructor does not run for a constructor that throws
    ncid_ = -1;
    throw FatalError::bad_input(path_, fmt::format("cannot be written: {}", std::strerror(error)));
  }

  std::string path_;
  int ncid_ = -1;
};

// The time of each group, and of the groups either side, which report offsets reach into.
class GroupTimes {
 public:
  GroupTimes(const gradsin::StationDataSet& data, long double unit)
      : origin_(data.group_time(0)), unit_(unit) {
    for (int64_t g = -1; g <= data.ntime; ++g) seconds_.push_back(data.group_time(g));
  }
  double group(int64_t g) const { return static_cast<double>((at(g) - origin_) / unit_); }
  double report(int64_t g, float offset) const {
    const long double span = offset >= 0 ? at(g + 1) - at(g) : at(g) - at(g - 1);
    return static_cast<double>((at(g) + static_cast<long double>(offset) * span - origin_) / unit_);
  }

 private:
  long double at(int64_t g) const { return seconds_[static_cast<std::size_t>(g + 1)]; }
  long double origin_, unit_;
  std::vector<long double> seconds_;
};

// Seconds in the unit of the file's time variable.
long double time_unit(const CfPlan& plan) {
  return plan.time_units.rfind("days", 0) == 0 ? 86400.0L : 60.0L;
}

// The variables of the file being written.
struct CfVariables {
  int id = -1, lat = -1, lon = -1, time = -1, count = -1, index = -1, z = -1;
  std::vector<int> data;
};

// Time groups the orthogonal layout holds at once (the groups between looks at the table's
// fullness), and the chunk shape that fills exactly.
constexpr auto kBlockGroups = static_cast<std::size_t>(SparseWatch::kBlockGroups);
constexpr std::size_t kChunkStations = 1024;

}  // namespace

namespace {

// Counts the reports of each station and whether each reports at most once a group.
class Surveyor {
 public:
  Surveyor(const gradsin::StationDataSet& data, Survey& out)
      : out_(out), ntime_(data.ntime), sparse_(data.vars.size()) {}
  void group_begins(int32_t) {}
  void report(const gradsin::Report& r) {
    const auto s = static_cast<std::size_t>(r.station);
    if (s >= out_.per_station.size()) {
      out_.per_station.resize(s + 1, 0);
      last_group_.resize(s + 1, -1);
    }
    ++out_.per_station[s];
    ++reports_;
    out_.level_groups += r.nlevels;
    out_.one_per_group = out_.one_per_group && r.offset == 0 && last_group_[s] != r.group;
    last_group_[s] = r.group;
  }
  // The table is looked at where the orthogonal writer looks at it.
  void group_ends(int32_t group) {
    const int64_t groups = int64_t{group} + 1;
    if (groups % SparseWatch::kBlockGroups == 0 || groups == ntime_) {
      sparse_.look(static_cast<int64_t>(out_.per_station.size()), groups, reports_);
      out_.sparse = sparse_.why();
    }
  }

 private:
  Survey& out_;
  const int64_t ntime_;
  SparseWatch sparse_;
  int64_t reports_ = 0;
  std::vector<int32_t> last_group_;
};

}  // namespace

void SparseWatch::look(int64_t stations, int64_t groups, int64_t reports) {
  constexpr double kMostBytes = 256.0 * 1024 * 1024;
  const double cells = static_cast<double>(stations) * static_cast<double>(groups);
  if (sparse_ || cells <= 4.0 * static_cast<double>(reports) ||
      cells * 4.0 * static_cast<double>(nvar_) <= kMostBytes) {
    return;
  }
  sparse_ = true;
  why_ = fmt::format("a station x time table {} x {} would be {:.1f}% full", stations, groups,
                     100.0 * static_cast<double>(reports) / cells);
}

Survey survey(const gradsin::StationDataSet& data) {
  Survey out;
  Surveyor surveyor(data, out);
  out.stations = gradsin::scan_each(data, surveyor);
  return out;
}

CfPlan plan_cf(const gradsin::StationDataSet& data, const Survey& survey, Layout asked) {
  CfPlan plan;
  plan.profiles = data.vars.size() > data.surface_vars;
  const bool fits = !plan.profiles && survey.one_per_group;
  if (asked == Layout::kOrthogonal && !fits) {
    throw FatalError::bad_input(
        data.control_path,
        plan.profiles ? "--layout orthogonal: level-dependent data need the ragged layout"
                      : "--layout orthogonal: a station reports more than once in a time group, "
                        "or off its group's time; give --layout ragged");
  }
  plan.orthogonal = asked == Layout::kOrthogonal || (asked == Layout::kAuto && fits);
  if (asked == Layout::kAuto && fits && !survey.sparse.empty()) {
    plan.orthogonal = false;
    plan.why_ragged = survey.sparse;
  }
  const cftime::CivilTime& s = data.start;
  const bool days = data.step.months == 0 && data.step.minutes % 1440 == 0;
  plan.time_units = fmt::format("{} since {:04d}-{:02d}-{:02d} {:02d}:{:02d}:00",
                                days || data.step.months > 0 ? "days" : "minutes", s.year, s.month,
                                s.day, s.hour, s.minute);
  plan.calendar = data.calendar == cftime::Calendar::kNoLeap ? "noleap" : "proleptic_gregorian";
  return plan;
}

namespace {

// The sizes of the file's dimensions.
struct Shape {
  std::size_t stations = 0;  // NC_UNLIMITED where the stations are counted while writing
  std::size_t station_chunk = 1;
  std::size_t reports = 0;
  std::size_t level_groups = 0;
};

Shape shape_of(const Survey& survey) {
  const std::size_t nstation = survey.stations.ids.size();
  return {nstation, std::max<std::size_t>(1, std::min(nstation, kChunkStations)),
          static_cast<std::size_t>(survey.stations.reports),
          static_cast<std::size_t>(survey.level_groups)};
}

CfVariables define(Writer& w, const gradsin::StationDataSet& data, const Shape& shape,
                   const CfPlan& plan, const std::string& history) {
  const std::size_t nreport = shape.reports;
  const int station_dim = w.dim("station", shape.stations);
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
    obs_dim = w.dim("obs", shape.level_groups);
    element_dims = {profile_dim};
  }

  CfVariables v;
  v.id = w.var("station_id", NC_STRING, {station_dim});
  w.text(v.id, "cf_role", "timeseries_id");
  w.text(v.id, "long_name", "station identifier");
  v.lat = w.var("lat", NC_FLOAT, {station_dim});
  w.text(v.lat, "standard_name", "latitude");
  w.text(v.lat, "units", "degrees_north");
  v.lon = w.var("lon", NC_FLOAT, {station_dim});
  w.text(v.lon, "standard_name", "longitude");
  w.text(v.lon, "units", "degrees_east");
  v.time = w.var("time", NC_DOUBLE, plan.orthogonal ? std::vector<int>{time_dim} : element_dims);
  w.text(v.time, "standard_name", "time");
  w.text(v.time, "units", plan.time_units);
  w.text(v.time, "calendar", plan.calendar);
  w.text(v.time, "axis", "T");
  if (!plan.orthogonal && !plan.profiles) {
    v.count = w.var("row_size", NC_INT, {station_dim});
    w.text(v.count, "sample_dimension", "obs");
    w.text(v.count, "long_name", "number of observations of the station");
  }
  if (plan.profiles) {
    v.index = w.var("station_index", NC_INT, {profile_dim});
    w.text(v.index, "instance_dimension", "station");
    w.text(v.index, "long_name", "the station of the profile");
    v.count = w.var("row_size", NC_INT, {profile_dim});
    w.text(v.count, "sample_dimension", "obs");
    w.text(v.count, "long_name", "number of levels of the profile");
    v.z = w.var("lev", NC_FLOAT, {obs_dim});
    w.text(v.z, "long_name", "level");
    w.text(v.z, "axis", "Z");
  }
  const std::string coordinates =
      plan.profiles ? "time lat lon lev station_id" : "time lat lon station_id";
  for (const gradsin::VarDecl& var : data.vars) {
    const auto cf_name = var.attributes.find("cf_name");
    const std::string name = cf_name != var.attributes.end() ? cf_name->second : var.name;
    const int id = w.var(name, NC_FLOAT, var.on_levels ? std::vector<int>{obs_dim} : element_dims);
    if (plan.orthogonal && data.ntime > 0) {
      // Chunks that a block of time groups fills exactly, so that each is written once.
      const std::size_t chunks[2] = {shape.station_chunk,
                                     std::min(static_cast<std::size_t>(data.ntime), kBlockGroups)};
      w.check(nc_def_var_chunking(w.id(), id, NC_CHUNKED, chunks), name);
    }
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
    v.data.push_back(id);
  }
  w.text(NC_GLOBAL, "Conventions", "CF-1.8");
  w.text(NC_GLOBAL, "featureType", plan.profiles ? "timeSeriesProfile" : "timeSeries");
  w.text(NC_GLOBAL, "title", data.title);
  w.text(NC_GLOBAL, "history", history);
  w.check(nc_enddef(w.id()), "");
  return v;
}

// The place in the file of station s as the scanner numbers it.
std::size_t place_of(const std::vector<int32_t>& place, int32_t s) {
  return static_cast<std::size_t>(place.empty() ? s : place[static_cast<std::size_t>(s)]);
}

void write_stations(Writer& w, const CfVariables& v, const gradsin::ScanSummary& stations) {
  const std::size_t count = stations.ids.size();
  if (count == 0) return;
  // netCDF strings are UTF-8: an identifier that is not (Latin-1 from an older program) would
  // keep readers such as xarray from opening the file at all.
  std::vector<std::string> texts(count);
  std::vector<float> lat(count), lon(count);
  for (std::size_t s = 0; s < count; ++s) {
    const std::size_t at = place_of(stations.place, static_cast<int32_t>(s));
    texts[at] = as_utf8(stations.ids[s]);
    lat[at] = stations.lat[s];
    lon[at] = stations.lon[s];
  }
  std::vector<const char*> ids;
  for (const std::string& id : texts) ids.push_back(id.c_str());
  const std::size_t start = 0;
  w.check(nc_put_vara_string(w.id(), v.id, &start, &count, ids.data()), "station_id");
  w.check(nc_put_vara_float(w.id(), v.lat, &start, &count, lat.data()), "lat");
  w.check(nc_put_vara_float(w.id(), v.lon, &start, &count, lon.data()), "lon");
}

void write_time_axis(Writer& w, const gradsin::StationDataSet& data, const CfVariables& vars,
                     const GroupTimes& times) {
  std::vector<double> axis(static_cast<std::size_t>(data.ntime));
  for (std::size_t g = 0; g < axis.size(); ++g) axis[g] = times.group(static_cast<int64_t>(g));
  if (!axis.empty()) w.check(nc_put_var_double(w.id(), vars.time, axis.data()), "time");
}

// A block of time groups of every variable, filled group by group as the reports come and
// written station by station (the file's order) when full.
class TimeBlock {
 public:
  TimeBlock(std::size_t nvar, float undef) : values_(nvar), undef_(undef) {}

  // Room for station `s`; new cells hold the marker.
  void reach(std::size_t s) {
    if (s < stations_) return;
    stations_ = std::max(s + 1, stations_ * 2);
    for (auto& v : values_) {
      // Rows are groups: widening them moves the groups already filled.
      std::vector<float> wider(stations_ * kBlockGroups, undef_);
      const std::size_t old = v.size() / kBlockGroups;
      for (std::size_t g = 0; g < kBlockGroups && old > 0; ++g) {
        std::copy_n(v.begin() + static_cast<std::ptrdiff_t>(g * old), old,
                    wider.begin() + static_cast<std::ptrdiff_t>(g * stations_));
      }
      v.swap(wider);
    }
  }
  float* group(std::size_t v, std::size_t g) { return values_[v].data() + g * stations_; }

  // Writes the first `groups` groups of `nstation` stations as groups `first` on, and makes
  // them all marker again (groups past them are untouched: they are never filled).
  void write(Writer& w, const CfVariables& vars, const gradsin::StationDataSet& data,
             std::size_t nstation, std::size_t first, std::size_t groups) {
    transposed_.resize(nstation * groups);
    for (std::size_t v = 0; v < values_.size(); ++v) {
      std::vector<float>& b = values_[v];
      // Station by station, in tiles that stay in the cache.
      constexpr std::size_t kTile = 64;
      for (std::size_t s0 = 0; s0 < nstation; s0 += kTile) {
        const std::size_t s1 = std::min(nstation, s0 + kTile);
        for (std::size_t g = 0; g < groups; ++g) {
          float* row = b.data() + g * stations_;
          for (std::size_t s = s0; s < s1; ++s) {
            transposed_[s * groups + g] = row[s];
            row[s] = undef_;  // while the line is in the cache: the block is reused
          }
        }
      }
      const std::size_t start[2] = {0, first}, count[2] = {nstation, groups};
      if (nstation > 0) {
        w.check(nc_put_vara_float(w.id(), vars.data[v], start, count, transposed_.data()),
                data.vars[v].name);
      }
    }
  }

 private:
  std::vector<std::vector<float>> values_;  // [group][station] of each variable
  float undef_;
  std::size_t stations_ = 0;
  std::vector<float> transposed_;
};

// The second reading met stations the first did not: the data file was being rewritten.
[[noreturn]] void changed(const gradsin::StationDataSet& data) {
  throw FatalError::bad_input(data.dset, "changed while it was read; nothing was written");
}

// Reports placed into the contiguous ragged layout: each station's reports lie together, in time
// order. Times are kept as their group (a report off its group's time noted aside), which is half
// the size of the file's times.
//
// Placing each report as it comes would touch a far place of every table for each report: the
// reports of a group go to as many stations. They are gathered for a block of time groups and
// placed a tile of stations at a time, so that each station's slots fill in runs.
class RaggedPlacer {
 public:
  RaggedPlacer(const gradsin::StationDataSet& data, const Survey& survey)
      : data_(data), missing_(data.undef), nvar_(data.surface_vars), values_(nvar_) {
    const std::size_t nstation = survey.stations.ids.size();
    const auto nreport = static_cast<std::size_t>(survey.stations.reports);
    next_.resize(nstation);
    end_.resize(nstation);
    // The stations' rows in the file's order of stations.
    order_.resize(nstation);
    for (std::size_t s = 0; s < nstation; ++s)
      order_[place_of(survey.stations.place, static_cast<int32_t>(s))] = s;
    std::size_t at = 0;
    for (const std::size_t s : order_) {
      next_[s] = at;
      at += static_cast<std::size_t>(survey.per_station[s]);
      end_[s] = at;
    }
    group_.resize(nreport);
    for (auto& v : values_) v.resize(nreport);
  }

  void group_begins(int32_t group) {
    if (!first_.empty() && group - block_group_ >= static_cast<int32_t>(kBlockGroups)) place();
    if (first_.empty()) block_group_ = group;
    first_.push_back(station_.size());
  }
  void report(const gradsin::Report& r) {
    station_.push_back(r.station);
    offset_.push_back(r.offset);
    for (std::size_t v = 0; v < nvar_; ++v)
      staged_.push_back(missing_(r.values[v]) ? data_.undef : r.values[v]);
  }
  // The tiles take a group's reports in station order; most groups come so already.
  void group_ends(int32_t) {
    const std::size_t begin = first_.back(), end = station_.size();
    if (!std::is_sorted(station_.begin() + static_cast<std::ptrdiff_t>(begin), station_.end())) {
      sort_group(begin, end);
    }
  }

  void write(Writer& w, const CfVariables& vars, const GroupTimes& times) {
    place();
    std::sort(offsets_.begin(), offsets_.end());
    // The times in slabs of a few MiB, so that the doubles are never all in memory.
    constexpr std::size_t kSlab = std::size_t{1} << 19;
    std::vector<double> slab;
    auto offset = offsets_.begin();
    for (std::size_t first = 0; first < group_.size(); first += kSlab) {
      const std::size_t count = std::min(kSlab, group_.size() - first);
      slab.resize(count);
      for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = first + i;
        if (offset != offsets_.end() && offset->first == at) {
          slab[i] = times.report(group_[at], offset->second);
          ++offset;
        } else {
          slab[i] = times.group(group_[at]);
        }
      }
      w.check(nc_put_vara_double(w.id(), vars.time, &first, &count, slab.data()), "time");
    }
    std::vector<int> counts(order_.size());
    for (std::size_t i = 0, at = 0; i < counts.size(); at = end_[order_[i]], ++i)
      counts[i] = static_cast<int>(end_[order_[i]] - at);
    if (!counts.empty()) w.check(nc_put_var_int(w.id(), vars.count, counts.data()), "row_size");
    for (std::size_t v = 0; v < values_.size() && !group_.empty(); ++v) {
      w.check(nc_put_var_float(w.id(), vars.data[v], values_[v].data()), data_.vars[v].name);
    }
  }

 private:
  static constexpr std::size_t kTile = 64;  // stations placed together

  // Reorders the reports [begin, end) of the last group by station, keeping each station's
  // reports in file order.
  void sort_group(std::size_t begin, std::size_t end) {
    std::vector<std::size_t> order(end - begin);
    std::iota(order.begin(), order.end(), begin);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return station_[a] < station_[b]; });
    std::vector<int32_t> station;
    std::vector<float> offset, staged;
    for (std::size_t i : order) {
      station.push_back(station_[i]);
      offset.push_back(offset_[i]);
      staged.insert(staged.end(), staged_.begin() + static_cast<std::ptrdiff_t>(i * nvar_),
                    staged_.begin() + static_cast<std::ptrdiff_t>((i + 1) * nvar_));
    }
    std::copy(station.begin(), station.end(),
              station_.begin() + static_cast<std::ptrdiff_t>(begin));
    std::copy(offset.begin(), offset.end(), offset_.begin() + static_cast<std::ptrdiff_t>(begin));
    std::copy(staged.begin(), staged.end(),
              staged_.begin() + static_cast<std::ptrdiff_t>(begin * nvar_));
  }

  // Places the gathered groups, tile by tile: the next tile starts at the lowest station not
  // yet placed, so that stations without reports in the block cost nothing.
  void place() {
    const std::size_t ngroup = first_.size();
    first_.push_back(station_.size());
    cursor_.assign(first_.begin(), first_.end() - 1);
    for (;;) {
      int32_t low = std::numeric_limits<int32_t>::max();
      for (std::size_t k = 0; k < ngroup; ++k) {
        if (cursor_[k] < first_[k + 1]) low = std::min(low, station_[cursor_[k]]);
      }
      if (low == std::numeric_limits<int32_t>::max()) break;
      const int64_t high = static_cast<int64_t>(low) + static_cast<int64_t>(kTile);
      for (std::size_t k = 0; k < ngroup; ++k) {
        const auto group = static_cast<int32_t>(block_group_ + static_cast<int32_t>(k));
        std::size_t i = cursor_[k];
        for (; i < first_[k + 1] && station_[i] < high; ++i) put(i, group);
        cursor_[k] = i;
      }
    }
    first_.clear();
    station_.clear();
    offset_.clear();
    staged_.clear();
  }

  void put(std::size_t i, int32_t group) {
    const auto s = static_cast<std::size_t>(station_[i]);
    if (s >= next_.size() || next_[s] == end_[s]) changed(data_);
    const std::size_t at = next_[s]++;
    group_[at] = group;
    if (offset_[i] != 0) offsets_.push_back({at, offset_[i]});
    const float* values = staged_.data() + i * nvar_;
    for (std::size_t v = 0; v < nvar_; ++v) values_[v][at] = values[v];
  }

  const gradsin::StationDataSet& data_;
  const gradsin::MissingTest missing_;
  const std::size_t nvar_;
  std::vector<std::size_t> next_, end_;  // of each station, its next slot and the end of its row
  std::vector<std::size_t> order_;       // the stations in the file's order
  Table<int32_t> group_;
  std::vector<std::pair<std::size_t, float>> offsets_;
  std::vector<Table<float>> values_;
  // The block being gathered: from group block_group_ on, each group's first report.
  int32_t block_group_ = 0;
  std::vector<std::size_t> first_, cursor_;
  std::vector<int32_t> station_;
  std::vector<float> offset_, staged_;  // staged_: the values of each report, variable by variable
};

// The contiguous ragged layout: the reports by station, in time order within a station.
void write_ragged(Writer& w, const gradsin::StationDataSet& data, const Survey& survey,
                  const CfVariables& vars, const GroupTimes& times) {
  RaggedPlacer placer(data, survey);
  gradsin::scan_each(data, placer);
  placer.write(w, vars, times);
}

// The ragged timeSeriesProfile layout: profiles in file order, each with its station's index.
void write_profiles(Writer& w, const gradsin::StationDataSet& data, const CfVariables& vars,
                    const GroupTimes& times) {
  const gradsin::StationReports reports = gradsin::read_reports(data);
  const std::size_t nreport = reports.station.size();
  const std::size_t level_vars = data.vars.size() - data.surface_vars;
  auto value = [&](std::size_t r, std::size_t v) {
    const float x = reports.values[static_cast<std::size_t>(reports.first_value[r]) + v];
    return gradsin::is_missing(x, data.undef) ? data.undef : x;
  };
  std::vector<double> time;
  std::vector<int> counts, stations;
  for (std::size_t r = 0; r < nreport; ++r) {
    time.push_back(times.report(reports.group[r], reports.offset[r]));
    counts.push_back(reports.nlevels[r]);
    stations.push_back(static_cast<int>(place_of(reports.place, reports.station[r])));
  }
  if (nreport > 0) {
    w.check(nc_put_var_double(w.id(), vars.time, time.data()), "time");
    w.check(nc_put_var_int(w.id(), vars.count, counts.data()), "row_size");
    w.check(nc_put_var_int(w.id(), vars.index, stations.data()), "station_index");
  }
  std::vector<float> column;
  for (std::size_t v = 0; v < data.surface_vars; ++v) {
    column.clear();
    for (std::size_t r = 0; r < nreport; ++r) column.push_back(value(r, v));
    if (!column.empty())
      w.check(nc_put_var_float(w.id(), vars.data[v], column.data()), data.vars[v].name);
  }
  column.clear();
  for (std::size_t r = 0; r < nreport; ++r) {
    for (int32_t l = 0; l < reports.nlevels[r]; ++l) {
      column.push_back(reports.values[static_cast<std::size_t>(reports.first_value[r]) +
                                      data.surface_vars + l * (1 + level_vars)]);
    }
  }
  if (!column.empty()) w.check(nc_put_var_float(w.id(), vars.z, column.data()), "lev");
  for (std::size_t v = 0; v < level_vars; ++v) {
    column.clear();
    for (std::size_t r = 0; r < nreport; ++r) {
      for (int32_t l = 0; l < reports.nlevels[r]; ++l) {
        column.push_back(value(r, data.surface_vars + l * (1 + level_vars) + 1 + v));
      }
    }
    const std::size_t at = data.surface_vars + v;
    if (!column.empty())
      w.check(nc_put_var_float(w.id(), vars.data[at], column.data()), data.vars[at].name);
  }
}

}  // namespace

void write_cf(const std::string& path, const gradsin::StationDataSet& data, const Survey& survey,
              const CfPlan& plan, const std::string& history) {
  if (plan.orthogonal) {
    if (!write_orthogonal_at_once(path, data, plan, history, false, &survey.stations.place)) {
      changed(data);
    }
    return;
  }
  Writer w(path);
  const CfVariables vars = define(w, data, shape_of(survey), plan, history);
  write_stations(w, vars, survey.stations);
  const GroupTimes times(data, time_unit(plan));
  if (plan.profiles) {
    write_profiles(w, data, vars, times);
  } else {
    write_ragged(w, data, survey, vars, times);
  }
  w.close();
}

namespace {

// The reports of the orthogonal layout, into blocks of time groups that a second thread writes
// while the next block fills. Stations are counted as they come.
class OrthogonalFiller {
 public:
  struct DoesNotFit {};

  // `place`: the file's order of the stations, from a survey; without one, stations go in order
  // of first appearance, and a group that lists them otherwise gives the layout up.
  OrthogonalFiller(Writer& w, const gradsin::StationDataSet& data, const CfPlan& plan,
                   const std::string& history, bool give_up_when_sparse,
                   const std::vector<int32_t>* place)
      : w_(w),
        place_(place),
        data_(data),
        plan_(plan),
        history_(history),
        missing_(data.undef),
        nvar_(data.vars.size()),
        give_up_when_sparse_(give_up_when_sparse),
        sparse_(nvar_),
        blocks_{TimeBlock(nvar_, data.undef), TimeBlock(nvar_, data.undef)},
        rows_(nvar_) {}

  void group_begins(int32_t group) {
    g_ = static_cast<std::size_t>(group);
    previous_ = -1;
    while (g_ >= first_ + kBlockGroups) flush(kBlockGroups);
    point_rows();
  }
  // Surface data only: each report holds exactly one value of each variable.
  void report(const gradsin::Report& r) {
    std::size_t s = static_cast<std::size_t>(r.station);
    if (place_ == nullptr) {
      if (r.station < previous_) throw DoesNotFit{};
      previous_ = r.station;
    } else if (!place_->empty()) {
      if (s >= place_->size()) changed(data_);
      s = static_cast<std::size_t>((*place_)[s]);
    }
    if (s >= nstation_) [[unlikely]] {
      nstation_ = s + 1;
      blocks_[current_].reach(s);
      last_group_.resize(nstation_, -1);
      point_rows();
    }
    if (r.offset != 0 || last_group_[s] == r.group) throw DoesNotFit{};
    last_group_[s] = r.group;
    ++reports_;
    for (std::size_t v = 0; v < nvar_; ++v)
      rows_[v][s] = missing_(r.values[v]) ? data_.undef : r.values[v];
  }
  void group_ends(int32_t) {}

  // Writes what is left, then the stations.
  void finish(const gradsin::ScanSummary& stations) {
    const auto ntime = static_cast<std::size_t>(data_.ntime);
    while (first_ < ntime) flush(std::min(kBlockGroups, ntime - first_));
    if (!defined_) flush(0);
    writer_.wait();
    write_stations(w_, vars_, stations);
  }

 private:
  void point_rows() {
    for (std::size_t v = 0; v < nvar_; ++v) rows_[v] = blocks_[current_].group(v, g_ - first_);
  }

  // The file is defined once the first block is read, its chunks as wide as the stations met.
  void flush(std::size_t groups) {
    if (give_up_when_sparse_) {
      sparse_.look(static_cast<int64_t>(nstation_), static_cast<int64_t>(first_ + groups),
                   reports_);
      if (sparse_.sparse()) throw DoesNotFit{};
    }
    if (!defined_) {
      Shape shape;
      shape.stations = NC_UNLIMITED;
      shape.station_chunk = std::max<std::size_t>(1, std::min(nstation_, kChunkStations));
      vars_ = define(w_, data_, shape, plan_, history_);
      write_time_axis(w_, data_, vars_, GroupTimes(data_, time_unit(plan_)));
      defined_ = true;
    }
    TimeBlock& full = blocks_[current_];
    writer_.submit([this, &full, nstation = nstation_, start = first_, groups] {
      full.write(w_, vars_, data_, nstation, start, groups);
    });
    current_ = 1 - current_;
    if (nstation_ > 0) blocks_[current_].reach(nstation_ - 1);
    first_ += groups;
  }

  Writer& w_;
  const std::vector<int32_t>* place_;
  int32_t previous_ = -1;  // the station of the report before in this group
  const gradsin::StationDataSet& data_;
  const CfPlan& plan_;
  const std::string& history_;
  const gradsin::MissingTest missing_;
  const std::size_t nvar_;
  const bool give_up_when_sparse_;
  SparseWatch sparse_;
  int64_t reports_ = 0;
  CfVariables vars_;
  bool defined_ = false;
  std::vector<int32_t> last_group_;
  TimeBlock blocks_[2];
  int current_ = 0;
  std::vector<float*> rows_;  // the current group's row of each variable
  std::size_t g_ = 0, first_ = 0, nstation_ = 0;
  BackgroundTask writer_;  // declared last: it finishes before the blocks go
};

}  // namespace

std::optional<Survey> write_orthogonal_at_once(const std::string& path,
                                               const gradsin::StationDataSet& data,
                                               const CfPlan& plan, const std::string& history,
                                               bool give_up_when_sparse,
                                               const std::vector<int32_t>* place) {
  Writer w(path);
  Survey out;
  OrthogonalFiller filler(w, data, plan, history, give_up_when_sparse, place);
  try {
    out.stations = gradsin::scan_each(data, filler);
    filler.finish(out.stations);
  } catch (const OrthogonalFiller::DoesNotFit&) {
    return std::nullopt;
  }
  w.close();
  out.per_station.assign(out.stations.ids.size(), 0);
  return out;
}

}  // namespace d2g::grads2cf
