// The three figures: a map of one time step, a sheet of maps of every time step, and the series
// of one or more stations over the time axis. Each is a GrADS script that prints its pages.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "gradsin/station_control.h"
#include "plot/colour_scale.h"
#include "plot/page_layout.h"
#include "plot/plot_data.h"
#include "plot/product_kind.h"

namespace d2g::plot {

struct FigureRequest {
  const gradsin::StationDataSet* data = nullptr;
  const PlotField* field = nullptr;
  ProductKind kind;
  std::string control;  // the control file as GrADS opens it
  std::string title;    // empty: the figure's own
  std::vector<double> levels;
  std::string palette;
  std::optional<Extent> extent;
  bool ids = false;
  std::string extension;  // ".png", ".pdf", ...
};

struct Figure {
  bool portrait = false;
  std::string script;
  std::vector<std::string> pages;  // the files the script prints, in the working directory
};

Figure map_figure(const FigureRequest& request, int64_t t);
Figure sheet_figure(const FigureRequest& request);
Figure series_figure(const FigureRequest& request, const std::vector<std::size_t>& stations);

// The colour bar's caption: the quantity and its units.
std::string quantity_caption(const ProductKind& kind);

}  // namespace d2g::plot
