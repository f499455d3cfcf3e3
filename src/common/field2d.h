// Field2D: a table of single-precision values indexed (station, time step), station index fastest,
// so that one time step's values for all stations lie side by side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace d2g {

class Field2D {
 public:
  Field2D() = default;
  // Extents below 1 give an empty table.
  Field2D(int32_t nstn, int32_t ntime)
      : nstn_(nstn > 0 ? nstn : 0),
        ntime_(ntime > 0 ? ntime : 0),
        values_(static_cast<std::size_t>(nstn_) * static_cast<std::size_t>(ntime_)) {}

  int32_t nstn() const { return nstn_; }
  int32_t ntime() const { return ntime_; }
  std::size_t size() const { return values_.size(); }

  // 0-based station and time step.
  float& at(int32_t station, int32_t time) { return values_[index(station, time)]; }
  float at(int32_t station, int32_t time) const { return values_[index(station, time)]; }

  // The nstn() values of one time step.
  const float* time_step(int32_t time) const { return values_.data() + index(0, time); }

  float* data() { return values_.data(); }
  const float* data() const { return values_.data(); }

 private:
  std::size_t index(int32_t station, int32_t time) const {
    return static_cast<std::size_t>(time) * static_cast<std::size_t>(nstn_) +
           static_cast<std::size_t>(station);
  }

  int32_t nstn_ = 0;
  int32_t ntime_ = 0;
  std::vector<float> values_;
};

}  // namespace d2g
