// One data set out of one or more CF station files: the stations of every file merged by their
// identifiers, the variables in the order GrADS needs (surface first), GrADS names for both,
// and the time groups every observation falls into.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cf2grads/options.h"
#include "cfstation/feature_data.h"
#include "cftime/time_grid.h"

namespace d2g::cf2grads {

struct Station {
  std::string source_id;  // as the files name it ("" when they do not)
  std::string grads_id;   // what the reports carry
  double lat = 0;
  double lon = 0;
};

struct DataVar {
  std::size_t source = 0;  // its place among the files' data variables
  std::string cf_name;
  std::string grads_name;
  bool on_levels = false;
  std::string long_name, units, standard_name;
};

// One station's observations in one file.
struct Series {
  std::size_t file = 0;
  int64_t station = 0;  // in the file
  int32_t global = 0;   // in the data set
  // Per observation, in time order, whether it has a time, a position and a value; empty where
  // the stations share their times, whose observations are looked at as they are written.
  std::vector<bool> usable;
};

// The groups and offsets of a time axis that a file's stations share, by element.
struct Placement {
  std::vector<int64_t> group;
  std::vector<double> offset;
};

struct DataSet {
  std::vector<cf::FeatureData> files;
  std::string title;  // the first file's
  std::vector<Station> stations;
  std::vector<Series> series;  // by station, then file
  std::vector<DataVar> vars;   // surface variables first
  std::size_t surface_vars = 0;
  bool numbered = false;  // stations carry their numbers; the reason is in id_note
  std::string id_note;
  cftime::Calendar calendar = cftime::Calendar::kStandard;
  cftime::Step step;
  std::optional<cftime::TimeGrid> grid;
  std::vector<Placement> placements;  // per file; empty where each station has its own times
  int64_t ngroups = 0;
  // Observations, and those left out for want of a time, a position, an identifier or a value
  // (as far as known before the reports are written: see ReportTally).
  int64_t observations = 0;
  int64_t no_time = 0;
  int64_t no_position = 0;
  int64_t no_id = 0;
  int64_t no_value = 0;  // every value missing
  float undef = -999.0f;
  std::vector<std::string> notes;
};

// Reads every input and builds the data set; anything that cannot be converted ends the run
// with a message naming the file and the variable.
DataSet load_data_set(const Options& options);

enum class Observation { kUsable, kNoTime, kNoPosition, kNoValue };

// What observation k (in time order) of `series` is: a report, or left out for want of a time,
// a position or (when `values`) any value.
Observation classify(const DataSet& data, const Series& series, int64_t k, bool values);
// Its element along the file's element dimension.
int64_t element_of(const DataSet& data, const Series& series, int64_t k);

}  // namespace d2g::cf2grads
