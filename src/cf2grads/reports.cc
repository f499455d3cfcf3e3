#include "cf2grads/reports.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <queue>
#include <utility>

namespace d2g::cf2grads {

namespace {

// Walks one series' usable observations in time order, knowing the group of the next one.
struct Cursor {
  int64_t k = 0;
  int64_t count = 0;
  int64_t group = 0;  // of observation k; beyond the last group when done
  double offset = 0;
};

class ReportBuilder {
 public:
  ReportBuilder(const DataSet& data, float undef, ReportStream& stream)
      : data_(data), undef_(undef), stream_(stream), surface_(data.surface_vars) {
    for (const cf::FeatureData& f : data.files) {
      std::vector<Surface> refs;
      for (std::size_t v = 0; v < data.surface_vars; ++v) {
        const std::size_t source = data.vars[v].source;
        const cf::Strides& strides = f.layout.data[source].at.strides;
        refs.push_back({f.values[source].data(), strides.station, strides.element});
      }
      surfaces_.push_back(std::move(refs));
    }
    for (const Station& station : data.stations) {
      std::array<char, 8> id;
      id.fill(' ');
      for (std::size_t c = 0; c < station.grads_id.size() && c < 8; ++c)
        id[c] = station.grads_id[c];
      ids_.push_back(id);
    }
  }

  void advance(const Series& series, Cursor& cursor, ReportTally& tally) const {
    if (series.usable.empty()) {
      for (; cursor.k < cursor.count; ++cursor.k) {
        // Values are looked at as the report is packed.
        const Observation kind = classify(data_, series, cursor.k, false);
        if (kind == Observation::kUsable) break;
        tally.no_time += kind == Observation::kNoTime;
        tally.no_position += kind == Observation::kNoPosition;
        tally.no_value += kind == Observation::kNoValue;
      }
    } else {
      while (cursor.k < cursor.count && !series.usable[static_cast<std::size_t>(cursor.k)]) {
        ++cursor.k;
      }
    }
    if (cursor.k >= cursor.count) {
      cursor.group = data_.ngroups;
      return;
    }
    const cf::FeatureData& f = data_.files[series.file];
    const int64_t e = f.element(series.station, cursor.k);
    const Placement& placement = data_.placements[series.file];
    if (!placement.group.empty()) {
      cursor.group = placement.group[static_cast<std::size_t>(e)];
      cursor.offset = placement.offset[static_cast<std::size_t>(e)];
      return;
    }
    const double t = f.time[static_cast<std::size_t>(
        cf::FeatureData::at(f.layout.time.strides, series.station, e, 0))];
    const auto [group, offset] = data_.grid->place(t);
    cursor.group = group;
    cursor.offset = offset;
  }

  // Writes observation `cursor.k` of `series` unless every value of it is missing; says whether
  // it wrote it.
  bool emit(const Series& series, const Cursor& cursor, int32_t slot, ReportTally& tally) {
    const cf::FeatureData& f = data_.files[series.file];
    const cf::DsgLayout& l = f.layout;
    const int64_t s = series.station;
    const int64_t e = f.element(s, cursor.k);
    const Surface* surface = surfaces_[series.file].data();
    bool any = false;
    for (std::size_t v = 0; v < data_.surface_vars; ++v) {
      const float value = surface[v].values[s * surface[v].station + e * surface[v].element];
      surface_[v] = value;
      any |= !missing(value);
    }
    levels_.clear();
    const std::size_t level_vars = data_.vars.size() - data_.surface_vars;
    int32_t nlevels = 0;
    if (level_vars > 0) {
      for (int64_t i = 0, n = f.level_count(e); i < n; ++i) {
        const int64_t level = f.level(e, i);
        const double z =
            f.z[static_cast<std::size_t>(cf::FeatureData::at(l.z->strides, s, e, level))];
        if (std::isnan(z)) continue;
        const std::size_t mark = levels_.size();
        levels_.push_back(static_cast<float>(z));
        bool level_any = false;
        for (std::size_t v = data_.surface_vars; v < data_.vars.size(); ++v) {
          const DataVar& var = data_.vars[v];
          const float value = f.values[var.source][static_cast<std::size_t>(
              cf::FeatureData::at(l.data[var.source].at.strides, s, e, level))];
          levels_.push_back(value);
          level_any |= !missing(value);
        }
        // A level without a value is padding of a shorter profile.
        if (!level_any) {
          levels_.resize(mark);
        } else {
          ++nlevels;
        }
      }
    }
    if (!any && nlevels == 0) {
      ++tally.no_value;
      return false;
    }
    const double lat = f.lat[static_cast<std::size_t>(cf::FeatureData::at(l.lat.strides, s, e, 0))];
    const double lon = f.lon[static_cast<std::size_t>(cf::FeatureData::at(l.lon.strides, s, e, 0))];
    stream_.report(slot, ids_[static_cast<std::size_t>(series.global)].data(),
                   static_cast<float>(lat), static_cast<float>(lon),
                   static_cast<float>(cursor.offset), surface_.data(),
                   static_cast<int32_t>(data_.surface_vars), levels_.data(), nlevels,
                   static_cast<int32_t>(level_vars));
    ++tally.reports;
    return true;
  }

 private:
  // Where a file's surface variable keeps its values.
  struct Surface {
    const float* values;
    int64_t station;
    int64_t element;
  };

  bool missing(float value) const {
    return value == undef_ || (std::isnan(undef_) && std::isnan(value));
  }

  const DataSet& data_;
  float undef_;
  ReportStream& stream_;
  std::vector<std::array<char, 8>> ids_;
  std::vector<std::vector<Surface>> surfaces_;  // per file
  std::vector<float> surface_;
  std::vector<float> levels_;
};

}  // namespace

ReportTally write_reports(const DataSet& data, float undef, ReportStream& stream,
                          const std::function<void(int64_t group)>& before_group) {
  ReportTally tally;
  ReportBuilder builder(data, undef, stream);
  std::vector<Cursor> cursors(data.series.size());
  int64_t observations = 0;
  for (std::size_t i = 0; i < data.series.size(); ++i) {
    const Series& series = data.series[i];
    cursors[i].count = data.files[series.file].element_count(series.station);
    observations += cursors[i].count;
    builder.advance(series, cursors[i], tally);
  }
  // Emits series i's observations before group `end`, each into the slot of its group.
  auto drain = [&](std::size_t i, int64_t first, int64_t end, std::vector<int64_t>& counts) {
    Cursor& cursor = cursors[i];
    while (cursor.group < end) {
      const int32_t slot = static_cast<int32_t>(cursor.group - first);
      if (builder.emit(data.series[i], cursor, slot, tally))
        ++counts[static_cast<std::size_t>(slot)];
      ++cursor.k;
      builder.advance(data.series[i], cursor, tally);
    }
  };
  auto end_groups = [&](int64_t first, int64_t end, std::vector<int64_t>& counts) {
    for (int64_t g = first; g < end; ++g) {
      before_group(g);
      int64_t& count = counts[static_cast<std::size_t>(g - first)];
      if (count == 0) ++tally.empty_groups;
      count = 0;
      stream.end_group(static_cast<int32_t>(g - first));
    }
  };
  // Where most groups hold most series, every series is visited for a block of groups at a
  // time: its values then lie together in memory, whichever way the file stores them. Where
  // the groups are sparse, a queue of the series by their next group.
  const bool dense = static_cast<double>(data.ngroups) * static_cast<double>(cursors.size()) <=
                     8.0 * static_cast<double>(observations) + 1e7;
  if (dense) {
    constexpr int64_t kBlock = 16;
    stream.stage(static_cast<int32_t>(kBlock));
    std::vector<int64_t> counts(kBlock, 0);
    for (int64_t first = 0; first < data.ngroups; first += kBlock) {
      const int64_t end = std::min(data.ngroups, first + kBlock);
      for (std::size_t i = 0; i < cursors.size(); ++i) drain(i, first, end, counts);
      end_groups(first, end, counts);
    }
    return tally;
  }
  using Next = std::pair<int64_t, std::size_t>;
  std::priority_queue<Next, std::vector<Next>, std::greater<>> queue;
  for (std::size_t i = 0; i < cursors.size(); ++i) {
    if (cursors[i].group < data.ngroups) queue.emplace(cursors[i].group, i);
  }
  std::vector<int64_t> counts(1, 0);
  for (int64_t g = 0; g < data.ngroups; ++g) {
    while (!queue.empty() && queue.top().first == g) {
      const std::size_t i = queue.top().second;
      queue.pop();
      drain(i, g, g + 1, counts);
      if (cursors[i].group < data.ngroups) queue.emplace(cursors[i].group, i);
    }
    end_groups(g, g + 1, counts);
  }
  return tally;
}

}  // namespace d2g::cf2grads
