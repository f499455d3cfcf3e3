// What drought2grads-plot is asked to draw.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plot/page_layout.h"

namespace d2g::plot {

struct Options {
  std::string control;
  std::string output;           // its extension chooses the format
  std::optional<int64_t> step;  // -t, 1-based
  bool sheet = false;
  std::vector<std::string> stations;  // --station: a series
  std::string var;
  std::optional<float> level;
  std::string palette;
  std::vector<double> levels;
  std::string title;
  std::optional<Extent> extent;
  std::string units;
  bool ids = false;
};

// The formats GrADS's printer writes, by the output's extension.
const std::vector<std::string>& output_extensions();

}  // namespace d2g::plot
