// Colour scales: the levels between colour classes and one colour more than levels, from
// palettes that stay readable for colour-blind readers and in grey print.
#pragma once

#include <string>
#include <vector>

#include "plot/product_kind.h"

namespace d2g::plot {

struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb& other) const { return r == other.r && g == other.g && b == other.b; }
};

struct ColourScale {
  std::vector<double> levels;  // increasing
  std::vector<Rgb> colours;    // levels.size() + 1: below the first level ... above the last
};

// The palettes --palette takes: "ylorrd" and "viridis" (sequential), "rdbu" and "brbg"
// (diverging, with their light middle at zero), "significance" (dark for the smallest values).
const std::vector<std::string>& palette_names();

// `count` colours of palette `name`, from its first to its last anchor colour (the other way
// round with `reversed`). Unknown names are refused by the command line before this.
std::vector<Rgb> palette_colours(const std::string& name, std::size_t count, bool reversed);

// Up to ten round levels (1, 2, 2.5 or 5 times a power of ten apart) inside [lo, hi].
std::vector<double> round_levels(double lo, double hi);
// Levels symmetric about zero, zero among them, covering [lo, hi].
std::vector<double> zero_centred_levels(double lo, double hi);

// The scale for values in [lo, hi] of a product of `kind`: `levels` and `palette` when given,
// else the product kind's own (probabilities at 0.01, 0.05 and 0.1).
ColourScale colour_scale(const ProductKind& kind, double lo, double hi,
                         const std::vector<double>& levels, const std::string& palette);

// A level as GrADS and the colour bar print it: at most six significant digits, no trailing
// zeros ("0.05", "-2.5", "120").
std::string level_text(double level);

}  // namespace d2g::plot
