// The layout of a CF discrete-sampling-geometry station file: which variables hold the time,
// the positions, the identifiers, the levels and the data, and how the observations of each
// station are found in them. Variables are recognised by their attributes (featureType,
// coordinates, cf_role, standard_name, axis, units, positive, sample_dimension,
// instance_dimension), never by fixed names.
//
// Every representation the conventions define reduces to one model. A station (instance) has a
// series of elements: its times (timeSeries) or its profiles (timeSeriesProfile). Elements are
// found through the element dimension directly (multidimensional layouts), through a count
// variable (contiguous ragged: each station's elements are one block) or through an index
// variable (indexed ragged: each element names its station). A profile's levels are found
// through the level dimension (multidimensional) or through a count variable (ragged). A
// variable's value for station s, element e and level l then sits at
//   s * strides.station + e * strides.element + l * strides.level
// in its stored order, where e and l are the element's and level's places along their
// dimensions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ncinput/nc_file.h"
#include "ncinput/variable.h"

namespace d2g::cf {

enum class FeatureType { kTimeSeries, kTimeSeriesProfile };

// How instances find their elements, and elements their levels.
enum class Link { kDimension, kCount, kIndex };

struct Strides {
  int64_t station = 0;
  int64_t element = 0;
  int64_t level = 0;
};

// A variable and where its values lie.
struct Located {
  Variable var;
  Strides strides;
  bool on_elements() const { return strides.element != 0; }
};

struct DataVariable {
  Located at;
  bool on_levels = false;
  std::string long_name;
  std::string units;
  std::string standard_name;
};

struct DsgLayout {
  FeatureType feature = FeatureType::kTimeSeries;
  std::string representation;  // in words, for the log
  int64_t nstation = 1;
  std::optional<Dimension> station_dim;  // none for a single station
  Dimension element_dim;
  std::optional<Dimension> level_dim;  // profiles only
  Link elements = Link::kDimension;
  std::optional<Variable> element_link;  // the count or index variable
  Link levels = Link::kDimension;
  std::optional<Variable> level_link;  // the profiles' count variable
  Located time;
  std::string time_units;
  std::string calendar;
  Located lat;
  Located lon;
  std::optional<Located> z;
  std::optional<Variable> id;  // the identifiers, one per station
  std::vector<DataVariable> data;
  std::vector<std::string> notes;  // variables left out, and why
};

// Finds the layout of `file`. `wanted`, when not empty, names the data variables to take (in
// that order); each must be one the layout can carry. `id_variable`, when not empty, names the
// variable that holds the identifiers instead of the cf_role one. Anything the layout cannot
// carry ends the run with a message naming the file and the variable.
DsgLayout find_layout(const NcFile& file, const std::vector<std::string>& wanted,
                      const std::string& id_variable, int32_t& status);

}  // namespace d2g::cf
