// Writing GrADS station reports as a CF discrete-sampling-geometry netCDF-4 file: orthogonal
// (station x time) where every station reports at most once per time group at its group's time,
// else the contiguous ragged timeSeries layout, or for level-dependent data the ragged
// timeSeriesProfile layout of the CF conventions (stations indexed, profiles contiguous).
#pragma once

#include <optional>
#include <string>

#include "gradsin/station_control.h"
#include "gradsin/station_reports.h"

namespace d2g::grads2cf {

enum class Layout { kAuto, kOrthogonal, kRagged };

// Watches, as a data set is read, whether a station x time table of it would be mostly empty:
// a quarter full or less and over 256 MiB. `auto` then takes the ragged layout, which holds
// only the reports; small tables stay orthogonal whatever they hold. The table is looked at
// after every 64 time groups and at the end, so that a sparse data set is given up early.
class SparseWatch {
 public:
  static constexpr int64_t kBlockGroups = 64;

  explicit SparseWatch(std::size_t nvar) : nvar_(static_cast<int64_t>(nvar)) {}
  // The table so far: `groups` time groups read, with `stations` met and `reports` read.
  void look(int64_t stations, int64_t groups, int64_t reports);
  bool sparse() const { return sparse_; }
  // Where it was found sparse, "at group 64 of 105120, a 2000 x 64 table 1.4% full".
  const std::string& why() const { return why_; }

 private:
  int64_t nvar_;
  bool sparse_ = false;
  std::string why_;
};

// What a first reading of the data set learns, holding no values: the stations and how the
// reports fall into time groups.
struct Survey {
  gradsin::ScanSummary stations;
  std::vector<int64_t> per_station;  // reports of each station
  int64_t level_groups = 0;          // levels of all reports
  bool one_per_group = true;         // each station at most once a group, at the group's time
  std::string sparse;                // why a station x time table would be mostly empty, if so
};
Survey survey(const gradsin::StationDataSet& data);

struct CfPlan {
  bool orthogonal = false;
  std::string why_ragged;  // where auto takes ragged for surface data that would fit
  bool profiles = false;
  std::string time_units;
  std::string calendar;
};

// How the data set will be written; `asked` kOrthogonal where it cannot fit ends the run.
CfPlan plan_cf(const gradsin::StationDataSet& data, const Survey& survey, Layout asked);

// Writes the file at `path` (a new file: the caller swaps it in), reading the data set a second
// time. Surface data stream through: the orthogonal layout holds a block of time groups, the
// ragged one its own output; profiles are read whole.
void write_cf(const std::string& path, const gradsin::StationDataSet& data, const Survey& survey,
              const CfPlan& plan, const std::string& history);

// The orthogonal layout in one reading, stations counted as they come (the station dimension is
// then unlimited; a station first met late has the marker before). Nothing where a station
// reports twice in a group or off its group's time, where a group lists the stations otherwise
// than in order of first appearance (without `place`, the order a survey found), or with
// `give_up_when_sparse` where the table is found mostly empty: the file at `path` is then to be
// written anew. `plan` is an orthogonal plan.
std::optional<Survey> write_orthogonal_at_once(const std::string& path,
                                               const gradsin::StationDataSet& data,
                                               const CfPlan& plan, const std::string& history,
                                               bool give_up_when_sparse,
                                               const std::vector<int32_t>* place = nullptr);

}  // namespace d2g::grads2cf
