// Where things go on the page, in GrADS's page inches: the map fitted to the stations' extent
// (GrADS's lat-lon projection keeps a degree of latitude as long as one of longitude), the
// orientation that gives the larger map, the grid of a sheet's panels, and axis label intervals
// that leave room between labels.
#pragma once

#include <optional>
#include <vector>

#include "plot/plot_data.h"

namespace d2g::plot {

struct Extent {
  double lon0 = 0, lon1 = 0, lat0 = 0, lat1 = 0;
  double width() const { return lon1 - lon0; }
  double height() const { return lat1 - lat0; }
};

struct Box {
  double x0 = 0, x1 = 0, y0 = 0, y1 = 0;
  double width() const { return x1 - x0; }
  double height() const { return y1 - y0; }
};

struct Page {
  bool portrait = false;
  double width() const { return portrait ? 8.5 : 11.0; }
  double height() const { return portrait ? 11.0 : 8.5; }
};

// The stations' extent with a margin, or `given`; a lone station gets a few degrees around it.
Extent map_extent(const PlotField& field, const std::optional<Extent>& given);

struct MapLayout {
  Page page;
  Box map;
};
// One map: a title above, the colour bar below.
MapLayout map_layout(const Extent& extent);

struct SheetLayout {
  Page page;
  int columns = 1, rows = 1;
  int per_page = 1;         // panels on one page
  std::vector<Box> panels;  // the map box of each position on a page, row by row
};
// `count` panels, on as many pages as keep each map at least about 1.3 inches across. With
// `fixed_columns` (for instance 6 or 3 for the 18 combinations), only those column counts.
SheetLayout sheet_layout(const Extent& extent, int count, const std::vector<int>& fixed_columns);

struct AxisTicks {
  double lon_interval = 1, lat_interval = 1;
};
// Label intervals of 0.1 ... 90 degrees such that labels of `label_size` inches never touch.
AxisTicks axis_ticks(const Extent& extent, const Box& map, double label_size);

// The size of a station mark: smaller where stations crowd.
double mark_size(const Box& map, std::size_t stations);

}  // namespace d2g::plot
