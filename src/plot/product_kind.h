// What a station product is, as a reader of the picture needs it said: the quantity, what its
// time steps stand for (the 18 index-and-severity combinations, the six indices, the months of a
// seasonal product, real times), its units, and which kind of palette suits its values.
#pragma once

#include <cstdint>
#include <string>

#include "gradsin/station_control.h"
#include "plot/plot_data.h"

namespace d2g::plot {

enum class StepAxis {
  kCombinations,  // 18 steps: index fastest, then severity (moderate, severe, extreme)
  kIndices,       // 6 steps: pdsi, scpdsi, spi01, spi03, spi06, spi12
  kMonths,        // 12 steps: January ... December of a seasonal product
  kTimes,         // the control file's real time axis
  kSteps,         // a drought2grads axis of another length: numbered steps
};

enum class PaletteKind {
  kSequential,    // larger means more (of drought)
  kDiverging,     // signed values around zero
  kSignificance,  // probabilities, read at 0.01, 0.05 and 0.1
};

struct ProductKind {
  std::string name;      // the product's name, "Fre_03"
  std::string quantity;  // "March frequency", "Sen slope", or the variable's description
  StepAxis axis = StepAxis::kTimes;
  PaletteKind palette = PaletteKind::kSequential;
  bool smaller_is_more = false;  // magnitudes written as negative numbers
  std::string units;             // from the control file's "@ var String units" line
};

ProductKind product_kind(const gradsin::StationDataSet& data, const PlotField& field);

// A time step in words: "severe SPI-3", "SPI-12", "March", "Mar 1995", "3 Jan 2000 12:00".
std::string step_label(const ProductKind& kind, const gradsin::StationDataSet& data, int64_t t);
// The same, as short as an axis label can be: "SPI-3" (the severity is said once for six
// steps), "Mar", or a date.
std::string step_tick_label(const ProductKind& kind, const gradsin::StationDataSet& data,
                            int64_t t);
// The name of a severity group of six combination steps: "moderate", "severe", "extreme".
std::string severity_name(int64_t t);

}  // namespace d2g::plot
