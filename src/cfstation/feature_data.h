// The values of one CF station file, read after its layout: every station's identifier and
// position, every observation's time, the levels and the data, with the CF value rules of the
// ncinput library (unpacking, _FillValue, missing_value, the default fill).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cfstation/dsg_layout.h"
#include "cftime/cf_time.h"
#include "common/float_buffer.h"
#include "ncinput/nc_file.h"

namespace d2g::cf {

struct FeatureData {
  std::string path;
  DsgLayout layout;
  cftime::Calendar calendar = cftime::Calendar::kStandard;
  std::vector<std::string> ids;  // one per station, "" where missing or where there are none
  // Time in seconds from 0001-01-01 (cftime::absolute_seconds), NaN where missing.
  Table<double> time;
  Table<double> lat, lon, z;         // NaN where missing
  std::vector<Table<float>> values;  // per data variable, missing cells the marker
  int64_t unplaced = 0;              // elements whose index names no station

  // The elements of station s: their count, and the k-th one's place along the element dimension.
  int64_t element_count(int64_t s) const {
    return layout.elements == Link::kDimension ? layout.element_dim.length
                                               : first_[s + 1] - first_[s];
  }
  int64_t element(int64_t s, int64_t k) const {
    switch (layout.elements) {
      case Link::kDimension:
        return k;
      case Link::kCount:
        return first_[s] + k;
      case Link::kIndex:
        return order_[first_[s] + k];
    }
    return k;
  }
  // The levels of element e, and the l-th one's place along the level dimension.
  int64_t level_count(int64_t e) const {
    if (!layout.level_dim) return 0;
    if (layout.levels == Link::kDimension) return layout.level_dim->length;
    return level_first_[e + 1] - level_first_[e];
  }
  int64_t level(int64_t e, int64_t l) const {
    return layout.levels == Link::kDimension ? l : level_first_[e] + l;
  }
  static int64_t at(const Strides& strides, int64_t s, int64_t e, int64_t l) {
    return s * strides.station + e * strides.element + l * strides.level;
  }
  // Puts station s's elements in time order, when they are not.
  void sort_station(int64_t s);

 private:
  friend FeatureData read_feature(const NcFile&, DsgLayout, float, int32_t&,
                                  std::vector<std::string>&);
  std::vector<int64_t> first_;        // elements of station s: [first_[s], first_[s + 1])
  std::vector<int64_t> order_;        // with an index (or once sorted): elements by station
  std::vector<int64_t> level_first_;  // levels of element e: [level_first_[e], ...[e + 1])
};

// Reads the file after `layout`; missing data cells become `marker`.
FeatureData read_feature(const NcFile& file, DsgLayout layout, float marker, int32_t& status,
                         std::vector<std::string>& notes);

}  // namespace d2g::cf
