#include "plot/page_layout.h"

#include <algorithm>
#include <cmath>

namespace d2g::plot {

namespace {

// The largest box of the extent's shape inside `space`, centred in it.
Box fit(const Extent& extent, const Box& space) {
  const double aspect = extent.height() / extent.width();
  double width = space.width(), height = width * aspect;
  if (height > space.height()) {
    height = space.height();
    width = height / aspect;
  }
  const double x = space.x0 + (space.width() - width) / 2;
  const double y = space.y0 + (space.height() - height) / 2;
  return {x, x + width, y, y + height};
}

double round_out(double value, double step, bool up) {
  return (up ? std::ceil(value / step) : std::floor(value / step)) * step;
}

// Room around the maps: the title above, the colour bar with its caption below, latitude
// labels to the left.
constexpr double kTitleRoom = 1.0, kBarRoom = 1.45, kLeftRoom = 0.85, kRightRoom = 0.45;
// Around each panel of a sheet: its title above, longitude labels below, latitudes left.
constexpr double kPanelTitle = 0.3, kPanelBottom = 0.3, kPanelLeft = 0.6, kPanelGap = 0.15;
constexpr double kSmallestPanel = 1.3;

}  // namespace

Extent map_extent(const PlotField& field, const std::optional<Extent>& given) {
  if (given) return *given;
  Extent e{1e9, -1e9, 1e9, -1e9};
  for (std::size_t s = 0; s < field.ids.size(); ++s) {
    e.lon0 = std::min(e.lon0, static_cast<double>(field.lon[s]));
    e.lon1 = std::max(e.lon1, static_cast<double>(field.lon[s]));
    e.lat0 = std::min(e.lat0, static_cast<double>(field.lat[s]));
    e.lat1 = std::max(e.lat1, static_cast<double>(field.lat[s]));
  }
  if (field.ids.empty()) e = {-180, 180, -90, 90};
  const double pad_x = std::max(0.5, 0.06 * e.width()), pad_y = std::max(0.5, 0.06 * e.height());
  e = {e.lon0 - pad_x, e.lon1 + pad_x, e.lat0 - pad_y, e.lat1 + pad_y};
  // A lone station, or a row of them, still gets a map with some land around it.
  if (e.width() < 4) e.lon0 -= (4 - e.width()) / 2, e.lon1 = e.lon0 + 4;
  if (e.height() < 4) e.lat0 -= (4 - e.height()) / 2, e.lat1 = e.lat0 + 4;
  // Edges on round degrees read better.
  const double step = std::max(e.width(), e.height()) > 20 ? 1.0 : 0.5;
  e = {round_out(e.lon0, step, false), round_out(e.lon1, step, true),
       std::max(-90.0, round_out(e.lat0, step, false)),
       std::min(90.0, round_out(e.lat1, step, true))};
  return e;
}

MapLayout map_layout(const Extent& extent) {
  MapLayout best;
  double best_area = -1;
  for (bool portrait : {false, true}) {
    const Page page{portrait};
    const Box space{kLeftRoom, page.width() - kRightRoom, kBarRoom, page.height() - kTitleRoom};
    const Box map = fit(extent, space);
    // Landscape wins a tie: it is what GrADS users expect.
    if (map.width() * map.height() > best_area * 1.02) {
      best = {page, map};
      best_area = map.width() * map.height();
    }
  }
  return best;
}

SheetLayout sheet_layout(const Extent& extent, int count, const std::vector<int>& fixed_columns) {
  SheetLayout best;
  double best_side = -1;
  const double aspect = extent.height() / extent.width();
  for (int pages = 1; pages <= count; ++pages) {
    const int per_page = (count + pages - 1) / pages;
    for (bool portrait : {false, true}) {
      const Page page{portrait};
      const Box space{0.3, page.width() - 0.3, kBarRoom - 0.1, page.height() - 0.8};
      for (int columns = 1; columns <= per_page; ++columns) {
        if (!fixed_columns.empty() &&
            std::find(fixed_columns.begin(), fixed_columns.end(), columns) == fixed_columns.end())
          continue;
        const int rows = (per_page + columns - 1) / columns;
        // Latitude labels left of the first column only, longitude labels under the last row.
        const double by_width = (space.width() - kPanelLeft - columns * kPanelGap) / columns;
        const double by_height =
            (space.height() - kPanelBottom - rows * (kPanelTitle + kPanelGap)) / (rows * aspect);
        const double map_w = std::min(by_width, by_height), map_h = map_w * aspect;
        if (map_w <= 0) continue;
        const double side = std::min(map_w, map_h);
        if (side > best_side * 1.02) {
          best_side = side;
          best.page = page;
          best.columns = columns;
          best.rows = rows;
          best.per_page = per_page;
          best.panels.clear();
          const double grid_w = kPanelLeft + columns * (map_w + kPanelGap) - kPanelGap;
          const double grid_h = kPanelBottom + rows * (map_h + kPanelTitle + kPanelGap) - kPanelGap;
          const double left = space.x0 + (space.width() - grid_w) / 2 + kPanelLeft;
          const double top = space.y1 - (space.height() - grid_h) / 2;
          for (int r = 0; r < rows; ++r) {
            for (int c = 0; c < columns; ++c) {
              const double x = left + c * (map_w + kPanelGap);
              const double y = top - kPanelTitle - r * (map_h + kPanelTitle + kPanelGap);
              best.panels.push_back({x, x + map_w, y - map_h, y});
            }
          }
        }
      }
    }
    if (best_side >= kSmallestPanel || !fixed_columns.empty()) break;
  }
  return best;
}

AxisTicks axis_ticks(const Extent& extent, const Box& map, double label_size) {
  static const double kIntervals[] = {0.1, 0.2, 0.25, 0.5, 1,  2,  2.5, 5,
                                      10,  15,  20,   30,  45, 60, 90};
  AxisTicks ticks;
  for (double interval : kIntervals) {
    // "104W" is four characters, "103.5W" six; GrADS's font is about 0.9 of its size wide.
    const double chars = interval >= 1 ? 4.5 : 6.5;
    const double labels = std::floor(extent.width() / interval) + 1;
    ticks.lon_interval = interval;
    if (labels * (chars * 0.9 * label_size + 0.2) <= map.width()) break;
  }
  for (double interval : kIntervals) {
    const double labels = std::floor(extent.height() / interval) + 1;
    ticks.lat_interval = interval;
    if (labels * (3.5 * label_size) <= map.height()) break;
  }
  return ticks;
}

double mark_size(const Box& map, std::size_t stations) {
  const double spacing = std::sqrt(map.width() * map.height() / std::max<std::size_t>(stations, 1));
  return std::clamp(0.45 * spacing, 0.05, 0.16);
}

}  // namespace d2g::plot
