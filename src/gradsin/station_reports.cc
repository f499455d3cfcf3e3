#include "gradsin/station_reports.h"

#include "gradsin/report_scanner.h"

namespace d2g::gradsin {

namespace {

// Gathers the reports of each time group into one GroupReports and shows it on.
class GroupCollector {
 public:
  GroupCollector(const StationDataSet& data, const std::function<void(const GroupReports&)>& visit)
      : visit_(visit),
        surface_floats_(data.surface_vars),
        level_floats_(1 + data.vars.size() - data.surface_vars) {}

  void group_begins(int32_t group) {
    batch_.group = group;
    batch_.station.clear();
    batch_.offset.clear();
    batch_.nlevels.clear();
    batch_.first_value.clear();
    batch_.values.clear();
  }
  void report(const Report& report) {
    batch_.station.push_back(report.station);
    batch_.offset.push_back(report.offset);
    batch_.nlevels.push_back(report.nlevels);
    batch_.first_value.push_back(static_cast<int64_t>(batch_.values.size()));
    batch_.values.insert(
        batch_.values.end(), report.values,
        report.values + surface_floats_ + static_cast<std::size_t>(report.nlevels) * level_floats_);
  }
  void group_ends(int32_t) { visit_(batch_); }

 private:
  const std::function<void(const GroupReports&)>& visit_;
  std::size_t surface_floats_;
  std::size_t level_floats_;  // per level: the level and the level-dependent values
  GroupReports batch_;
};

}  // namespace

ScanSummary scan_reports(const StationDataSet& data,
                         const std::function<void(const GroupReports&)>& visit) {
  GroupCollector collector(data, visit);
  return scan_each(data, collector);
}

StationReports read_reports(const StationDataSet& data) {
  StationReports out;
  ScanSummary summary = scan_reports(data, [&](const GroupReports& batch) {
    const auto base = static_cast<int64_t>(out.values.size());
    out.station.insert(out.station.end(), batch.station.begin(), batch.station.end());
    out.group.insert(out.group.end(), batch.size(), batch.group);
    out.offset.insert(out.offset.end(), batch.offset.begin(), batch.offset.end());
    out.nlevels.insert(out.nlevels.end(), batch.nlevels.begin(), batch.nlevels.end());
    for (int64_t first : batch.first_value) out.first_value.push_back(base + first);
    out.values.insert(out.values.end(), batch.values.begin(), batch.values.end());
  });
  out.ids = std::move(summary.ids);
  out.lat = std::move(summary.lat);
  out.lon = std::move(summary.lon);
  out.place = std::move(summary.place);
  out.files_missing = summary.files_missing;
  out.notes = std::move(summary.notes);
  return out;
}

}  // namespace d2g::gradsin
