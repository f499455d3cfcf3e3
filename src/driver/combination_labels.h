// Labelled dimensions of the result variables. Besides the fixed layouts (a combination axis of 18
// in the products' order, one 2-D variable per frequency and magnitude), results may come as a
// Python pipeline writes them: a drought-index dimension and a severity dimension, or one
// combination dimension, each told apart by the text labels of its coordinate variable ("pdsi",
// "sev", "pdsi_mod"), in any order. The labels say where each combination's values lie.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "driver/run_tables.h"
#include "ncinput/nc_file.h"
#include "ncinput/variable.h"

namespace d2g {

enum class LabelKind { kIndex, kSeverity, kCombination };

// A labelled dimension: what its labels name, and for each of those things (in the products'
// order: the six indices, the three severities, or the 18 combinations) its position along the
// dimension.
struct LabelledDimension {
  std::size_t dim = 0;
  LabelKind kind = LabelKind::kIndex;
  std::vector<std::size_t> position;
};

// The labelled dimension `dim` of `var`, or nothing when its coordinate has no text labels. Labels
// are compared without regard to case or to blanks, hyphens and underscores between an index and a
// severity; "moderate", "severe" and "extreme" stand for "mod", "sev" and "ext". A label outside
// the expected set, a repeated label or a missing one ends the run naming the variable, the
// dimension and the label. Not `strict`, a dimension whose first label names nothing of the kind
// (station names along a dimension that may be the station one) has no labels.
std::optional<LabelledDimension> labelled_dimension(const NcFile& file, const Variable& var,
                                                    std::size_t dim, bool strict = true);

// Combination k's position (0-based, the products' order) along a variable's labelled dimensions.
std::size_t index_of_combination(int32_t k);     // 0 ... 5
std::size_t severity_of_combination(int32_t k);  // 0 ... 2

}  // namespace d2g
