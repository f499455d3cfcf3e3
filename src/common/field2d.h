// Field2D: a table of single-precision values indexed (station, time step), station index fastest,
// so that one time step's values for all stations lie side by side.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/float_buffer.h"

namespace d2g {

// A block of consecutive time steps of a table, for a read that fills it in place.
struct Field2DBlock {
  float* data;
  int32_t nstn;
  int32_t ntime;
  std::size_t size() const {
    return static_cast<std::size_t>(nstn) * static_cast<std::size_t>(ntime);
  }
};

class Field2D {
 public:
  Field2D() = default;
  // A table of zeros. Extents below 1 give an empty table.
  Field2D(int32_t nstn, int32_t ntime) : Field2D(nstn, ntime, 0.0f) {}

  // A table whose values are left unset, for a caller that fills every one of them at once.
  static Field2D unfilled(int32_t nstn, int32_t ntime) {
    Field2D table;
    table.resize(nstn, ntime);
    return table;
  }

  int32_t nstn() const { return nstn_; }
  int32_t ntime() const { return ntime_; }
  std::size_t size() const { return values_.size(); }

  // 0-based station and time step.
  float& at(int32_t station, int32_t time) { return values_[index(station, time)]; }
  float at(int32_t station, int32_t time) const { return values_[index(station, time)]; }

  // The nstn() values of one time step.
  const float* time_step(int32_t time) const { return values_.data() + index(0, time); }

  // Time steps first ... first + count - 1, to be filled in place.
  Field2DBlock block(int32_t first, int32_t count) {
    return {values_.data() + index(0, first), nstn_, count};
  }
  Field2DBlock all() { return block(0, ntime_); }

  float* data() { return values_.data(); }
  const float* data() const { return values_.data(); }

 private:
  Field2D(int32_t nstn, int32_t ntime, float value) {
    resize(nstn, ntime);
    std::fill(values_.begin(), values_.end(), value);
  }
  void resize(int32_t nstn, int32_t ntime) {
    nstn_ = nstn > 0 ? nstn : 0;
    ntime_ = ntime > 0 ? ntime : 0;
    values_.resize(static_cast<std::size_t>(nstn_) * static_cast<std::size_t>(ntime_));
  }
  std::size_t index(int32_t station, int32_t time) const {
    return static_cast<std::size_t>(time) * static_cast<std::size_t>(nstn_) +
           static_cast<std::size_t>(station);
  }

  int32_t nstn_ = 0;
  int32_t ntime_ = 0;
  FloatBuffer values_;
};

}  // namespace d2g
