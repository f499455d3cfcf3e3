#include "plot/colour_scale.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace d2g::plot {

namespace {

Rgb hex(unsigned value) {
  return {static_cast<int>(value >> 16 & 0xff), static_cast<int>(value >> 8 & 0xff),
          static_cast<int>(value & 0xff)};
}

// Anchor colours, from ColorBrewer (Brewer, Penn State) and matplotlib's viridis.
const std::map<std::string, std::vector<unsigned>>& anchors() {
  static const std::map<std::string, std::vector<unsigned>> table = {
      {"ylorrd",
       {0xffffcc, 0xffeda0, 0xfed976, 0xfeb24c, 0xfd8d3c, 0xfc4e2a, 0xe31a1c, 0xbd0026, 0x800026}},
      {"viridis",
       {0x440154, 0x482878, 0x3e4989, 0x31688e, 0x26828e, 0x1f9e89, 0x35b779, 0x6ece58, 0xb5de2b,
        0xfde725}},
      {"rdbu",
       {0x053061, 0x2166ac, 0x4393c3, 0x92c5de, 0xd1e5f0, 0xf7f7f7, 0xfddbc7, 0xf4a582, 0xd6604d,
        0xb2182b, 0x67001f}},
      {"brbg",
       {0x003c30, 0x01665e, 0x35978f, 0x80cdc1, 0xc7eae5, 0xf5f5f5, 0xf6e8c3, 0xdfc27d, 0xbf812d,
        0x8c510a, 0x543005}},
      {"significance", {0x08306b, 0x2171b5, 0x6baed6, 0xc6dbef, 0xdedede}},
  };
  return table;
}

double round_step(double range, int most) {
  const double raw = range / most;
  double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (double factor : {1.0, 2.0, 2.5, 5.0, 10.0}) {
    if (range / (factor * power) <= most) return factor * power;
  }
  return 10 * power;
}

}  // namespace

const std::vector<std::string>& palette_names() {
  static const std::vector<std::string> names = {"ylorrd", "viridis", "rdbu", "brbg",
                                                 "significance"};
  return names;
}

std::vector<Rgb> palette_colours(const std::string& name, std::size_t count, bool reversed) {
  std::vector<unsigned> anchor = anchors().at(name);
  if (reversed) std::reverse(anchor.begin(), anchor.end());
  std::vector<Rgb> colours;
  // The significance palette is a set of classes, not a ramp: its first colours are its own.
  if (name == "significance" && count <= anchor.size()) {
    for (std::size_t i = 0; i < count; ++i) colours.push_back(hex(anchor[i]));
    if (count > 1 && !reversed) colours.back() = hex(anchor.back());
    return colours;
  }
  for (std::size_t i = 0; i < count; ++i) {
    // Class centres spread evenly over the ramp, so that a diverging ramp stays symmetric.
    const double at =
        count == 1 ? 0.5 : (static_cast<double>(i) + 0.5) / static_cast<double>(count);
    const double x = at * static_cast<double>(anchor.size() - 1);
    const std::size_t k = std::min(static_cast<std::size_t>(x), anchor.size() - 2);
    const double f = x - static_cast<double>(k);
    const Rgb a = hex(anchor[k]), b = hex(anchor[k + 1]);
    colours.push_back({static_cast<int>(std::lround(a.r + f * (b.r - a.r))),
                       static_cast<int>(std::lround(a.g + f * (b.g - a.g))),
                       static_cast<int>(std::lround(a.b + f * (b.b - a.b)))});
  }
  return colours;
}

std::vector<double> round_levels(double lo, double hi) {
  // One value alone still gets a scale of a few classes round it (GrADS colours marks by
  // classes only from two levels on).
  if (!(hi > lo)) {
    const double spread = lo != 0 ? std::fabs(lo) * 0.2 : 1.0;
    return round_levels(lo - spread, lo + spread);
  }
  const double step = round_step(hi - lo, 8);
  std::vector<double> levels;
  for (double v = std::floor(lo / step + 1) * step; v < hi - 1e-9 * step; v += step) {
    levels.push_back(std::fabs(v) < 1e-9 * step ? 0.0 : v);
  }
  if (levels.empty()) levels.push_back((lo + hi) / 2);
  return levels;
}

std::vector<double> zero_centred_levels(double lo, double hi) {
  const double reach = std::max(std::fabs(lo), std::fabs(hi));
  if (!(reach > 0)) return {0.0};
  const double step = round_step(reach, 4);
  std::vector<double> levels;
  const int n = static_cast<int>(std::ceil(reach / step - 1e-9));
  for (int k = -n + 1; k < n; ++k) levels.push_back(k * step);
  return levels;
}

ColourScale colour_scale(const ProductKind& kind, double lo, double hi,
                         const std::vector<double>& levels, const std::string& palette) {
  ColourScale scale;
  std::string name = palette;
  if (kind.palette == PaletteKind::kSignificance) {
    scale.levels = {0.01, 0.05, 0.1};
    if (name.empty()) name = "significance";
  } else if (kind.palette == PaletteKind::kDiverging) {
    scale.levels = zero_centred_levels(lo, hi);
    if (name.empty()) name = "rdbu";
  } else {
    scale.levels = round_levels(lo, hi);
    if (name.empty()) name = "ylorrd";
  }
  if (!levels.empty()) scale.levels = levels;
  scale.colours = palette_colours(name, scale.levels.size() + 1, kind.smaller_is_more);
  return scale;
}

std::string level_text(double level) {
  if (std::fabs(level) < 1e-12) return "0";
  return fmt::format("{:.6g}", level);
}

}  // namespace d2g::plot
