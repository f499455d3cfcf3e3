#include "plot/figures.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "plot/grads_script.h"

namespace d2g::plot {

namespace {

// PNG pages at 150 pixels an inch.
constexpr int kDotsPerInch = 150;

struct Range {
  double lo = 0, hi = 0;
  bool any = false;
};

Range value_range(const PlotField& field, int64_t first, int64_t last,
                  const std::vector<std::size_t>& stations = {}) {
  Range range;
  const std::size_t nstation = field.ids.size();
  for (int64_t t = first; t < last; ++t) {
    for (std::size_t k = 0; k < (stations.empty() ? nstation : stations.size()); ++k) {
      const float v = field.at(t, stations.empty() ? k : stations[k]);
      if (std::isnan(v)) continue;
      if (!range.any || v < range.lo) range.lo = v;
      if (!range.any || v > range.hi) range.hi = v;
      range.any = true;
    }
  }
  return range;
}

ColourScale scale_for(const FigureRequest& request, int64_t first, int64_t last) {
  const Range range = value_range(*request.field, first, last);
  return colour_scale(request.kind, range.lo, range.hi, request.levels, request.palette);
}

bool any_missing(const PlotField& field, int64_t first, int64_t last) {
  for (int64_t t = first; t < last; ++t) {
    for (std::size_t s = 0; s < field.ids.size(); ++s) {
      if (std::isnan(field.at(t, s))) return true;
    }
  }
  return false;
}

std::string level_words(const PlotField& field) {
  return field.level ? fmt::format(" at level {:g}", *field.level) : "";
}

std::string page_name(const FigureRequest& request, int page) {
  return fmt::format("page{}{}", page + 1, request.extension);
}

void print_page(GradsScript& script, const FigureRequest& request, const Page& page, int number,
                Figure& figure) {
  const std::string name = page_name(request, number);
  script.print(name, static_cast<int>(page.width() * kDotsPerInch),
               static_cast<int>(page.height() * kDotsPerInch));
  figure.pages.push_back(name);
}

}  // namespace

std::string quantity_caption(const ProductKind& kind) {
  return kind.units.empty() ? kind.quantity : kind.quantity + " (" + kind.units + ")";
}

Figure map_figure(const FigureRequest& request, int64_t t) {
  const PlotField& field = *request.field;
  const Extent extent = map_extent(field, request.extent);
  const MapLayout layout = map_layout(extent);
  const ColourScale scale = scale_for(request, t, t + 1);
  Figure figure;
  figure.portrait = layout.page.portrait;
  GradsScript script;
  begin_figure(script, request.control);
  define_scale(script, scale);

  MapPanel panel;
  panel.box = layout.map;
  panel.extent = extent;
  panel.t = t;
  panel.level = field.level;
  panel.var = field.var;
  panel.label_size = 0.13;
  panel.mark = mark_size(layout.map, field.ids.size());
  panel.draw_ids = request.ids;
  map_panel(script, panel, scale, field);

  const double centre = (layout.map.x0 + layout.map.x1) / 2;
  const std::string title =
      request.title.empty() ? request.kind.quantity + level_words(field) : request.title;
  const std::string subtitle =
      fmt::format("{}, {}", request.kind.name, step_label(request.kind, *request.data, t));
  script.text(centre, layout.page.height() - 0.45, "c",
              fitted_size(title, layout.page.width() - 0.6, 0.2), title, 6);
  script.text(centre, layout.page.height() - 0.78, "c",
              fitted_size(subtitle, layout.page.width() - 0.6, 0.14), subtitle, 3);
  colour_bar(script, scale, centre, layout.map.y0 - 0.55, quantity_caption(request.kind),
             any_missing(field, t, t + 1) ? std::max(0.04, panel.mark * 0.75) : 0);
  print_page(script, request, layout.page, 0, figure);
  script.command("quit");
  figure.script = script.str();
  return figure;
}

Figure sheet_figure(const FigureRequest& request) {
  const PlotField& field = *request.field;
  const int64_t count = field.ntime;
  const Extent extent = map_extent(field, request.extent);
  const bool combinations = request.kind.axis == StepAxis::kCombinations;
  const SheetLayout layout = sheet_layout(
      extent, static_cast<int>(count), combinations ? std::vector<int>{6, 3} : std::vector<int>{});
  const ColourScale scale = scale_for(request, 0, count);
  const bool missing = any_missing(field, 0, count);
  Figure figure;
  figure.portrait = layout.page.portrait;
  GradsScript script;
  begin_figure(script, request.control);

  const int pages = static_cast<int>((count + layout.per_page - 1) / layout.per_page);
  const double label_size =
      std::clamp(std::min(layout.panels[0].width(), layout.panels[0].height()) / 16, 0.08, 0.11);
  const double mark = std::min(0.12, mark_size(layout.panels[0], field.ids.size()) * 1.1);
  // Panel titles as large as the narrowest panel lets the longest of them be.
  std::size_t longest = 1;
  for (int64_t t = 0; t < count; ++t)
    longest = std::max(longest, step_label(request.kind, *request.data, t).size());
  const double title_size = std::clamp(
      (layout.panels[0].width() + 0.1) / (0.95 * static_cast<double>(longest)), 0.08, 0.14);
  for (int page = 0; page < pages; ++page) {
    if (page > 0) script.command("clear");
    define_scale(script, scale);
    script.command("set grads off");
    for (int k = 0; k < layout.per_page; ++k) {
      const int64_t t = static_cast<int64_t>(page) * layout.per_page + k;
      if (t >= count) break;
      // The 18 combinations keep their table: a row per severity and a column per index, or
      // the other way round where the domain is tall.
      int position = k;
      if (combinations && layout.columns == 3) position = static_cast<int>((t % 6) * 3 + t / 6);
      const int row = position / layout.columns, column = position % layout.columns;
      const int last_row =
          static_cast<int>((std::min<int64_t>(count - static_cast<int64_t>(page) * layout.per_page,
                                              layout.per_page) -
                            1) /
                           layout.columns);
      MapPanel panel;
      panel.box = layout.panels[static_cast<std::size_t>(position)];
      panel.extent = extent;
      panel.t = t;
      panel.level = field.level;
      panel.var = field.var;
      panel.label_size = label_size;
      panel.lon_labels = row == last_row || (combinations && row == layout.rows - 1);
      panel.lat_labels = column == 0;
      panel.mark = mark;
      panel.draw_ids = request.ids;
      map_panel(script, panel, scale, field);
      script.text((panel.box.x0 + panel.box.x1) / 2, panel.box.y1 + 0.08, "bc", title_size,
                  step_label(request.kind, *request.data, t), 4);
    }
    // The title and the colour bar hug the grid, which a tall domain leaves short of the page.
    const double centre = layout.page.width() / 2;
    const double grid_top = layout.panels.front().y1 + 0.3;
    const double grid_bottom = layout.panels.back().y0 - 0.3;
    std::string title =
        request.title.empty() ? request.kind.quantity + level_words(field) : request.title;
    if (pages > 1) title += fmt::format(" ({} of {})", page + 1, pages);
    script.text(centre, std::min(layout.page.height() - 0.45, grid_top + 0.35), "c",
                fitted_size(title, layout.page.width() - 0.6, 0.2), title, 6);
    colour_bar(script, scale, centre, std::max(1.15, grid_bottom - 0.25),
               quantity_caption(request.kind), missing ? std::max(0.04, mark * 0.75) : 0);
    print_page(script, request, layout.page, page, figure);
  }
  script.command("quit");
  figure.script = script.str();
  return figure;
}

Figure series_figure(const FigureRequest& request, const std::vector<std::size_t>& stations) {
  // Okabe and Ito's colours, told apart by colour-blind readers.
  static const unsigned kLineColours[] = {0x0072b2, 0xd55e00, 0x009e73, 0xcc79a7,
                                          0xe69f00, 0x56b4e9, 0x000000, 0xf0e442};
  const PlotField& field = *request.field;
  const gradsin::StationDataSet& data = *request.data;
  const ProductKind& kind = request.kind;
  const int64_t count = field.ntime;
  Figure figure;
  GradsScript script;
  begin_figure(script, request.control);
  const Page page{false};
  const Box plot{1.3, 10.3, kind.axis == StepAxis::kCombinations ? 2.0 : 1.5, 7.2};

  Range range = value_range(field, 0, count, stations);
  if (!range.any) range = {0, 1, true};
  std::vector<double> ticks = round_levels(range.lo, range.hi);
  double step = ticks.size() > 1 ? ticks[1] - ticks[0] : std::max(std::fabs(range.lo), 1.0) / 2;
  double lo = std::floor(range.lo / step) * step, hi = std::ceil(range.hi / step) * step;
  if (hi <= lo) lo -= step, hi += step;
  const auto x_of = [&](int64_t t) {
    return count == 1
               ? (plot.x0 + plot.x1) / 2
               : plot.x0 + 0.3 +
                     (plot.width() - 0.6) * static_cast<double>(t) / static_cast<double>(count - 1);
  };
  const auto y_of = [&](double v) { return plot.y0 + plot.height() * (v - lo) / (hi - lo); };

  // Grid and value axis.
  script.command("set line 15 1 1");
  for (double v = lo; v <= hi + step / 2; v += step) {
    const double y = y_of(v);
    script.command(fmt::format("draw line {:.4f} {:.4f} {:.4f} {:.4f}", plot.x0, y, plot.x1, y));
  }
  script.command("set string 1 r 3 0");
  script.command("set strsiz 0.12");
  for (double v = lo; v <= hi + step / 2; v += step) {
    script.command(fmt::format("draw string {:.4f} {:.4f} {}", plot.x0 - 0.1, y_of(v),
                               level_text(std::fabs(v) < step * 1e-9 ? 0.0 : v)));
  }
  const std::string caption = quantity_caption(kind);
  script.text(plot.x0 - 0.85, (plot.y0 + plot.y1) / 2, "c",
              fitted_size(caption, plot.height(), 0.14), caption, 4, 90);

  // Time axis: every step labelled where labels fit, else every k-th; labels upright where they
  // fit, else turned.
  std::size_t longest = 0;
  for (int64_t t = 0; t < count; ++t)
    longest = std::max(longest, step_tick_label(kind, data, t).size());
  const double label_size = 0.11, slot = (plot.width() - 0.6) / std::max<int64_t>(count - 1, 1);
  const double label_width = static_cast<double>(longest) * 0.85 * label_size + 0.1;
  int64_t every = 1;
  if (kind.axis == StepAxis::kTimes) {
    const double fit = std::max(1.0, (plot.width() - 0.6) / std::max(label_width, 0.25));
    while (static_cast<double>(count) / static_cast<double>(every) > fit) {
      every = every < 10 && 10 % (every * 2) != 0 ? every + 1 : every * 2;
      if (every == 4) every = 5;
    }
  }
  const bool turned =
      kind.axis != StepAxis::kTimes && label_width > slot * static_cast<double>(every);
  script.command("set line 1 1 3");
  for (int64_t t = 0; t < count; t += every) {
    const double x = x_of(t);
    script.command(
        fmt::format("draw line {:.4f} {:.4f} {:.4f} {:.4f}", x, plot.y0, x, plot.y0 - 0.06));
    if (turned) {
      script.text(x, plot.y0 - 0.12, "r", label_size, step_tick_label(kind, data, t), 3, 90);
    } else {
      script.text(x, plot.y0 - 0.1, "tc", label_size, step_tick_label(kind, data, t), 3);
    }
  }
  if (kind.axis == StepAxis::kCombinations) {
    // The severity once under each group of six, the groups parted by lines.
    for (int64_t group = 0; group * 6 < count; ++group) {
      const double left = x_of(group * 6),
                   right = x_of(std::min<int64_t>(group * 6 + 5, count - 1));
      script.text((left + right) / 2, plot.y0 - (turned ? 0.85 : 0.4), "tc", 0.13,
                  severity_name(group * 6), 4);
      if (group > 0) {
        const double x = (x_of(group * 6 - 1) + left) / 2;
        script.command("set line 15 2 2");
        script.command(
            fmt::format("draw line {:.4f} {:.4f} {:.4f} {:.4f}", x, plot.y0, x, plot.y1));
      }
    }
  }
  script.command("set line 1 1 4");
  script.command(
      fmt::format("draw rec {:.4f} {:.4f} {:.4f} {:.4f}", plot.x0, plot.y0, plot.x1, plot.y1));

  // One line per station, broken where it has no value and between severity groups (they are
  // categories, not a sequence), a mark at every value.
  for (std::size_t k = 0; k < stations.size(); ++k) {
    const int colour = 40 + static_cast<int>(k % 8);
    const unsigned c = kLineColours[k % 8];
    script.define_colour(colour, {static_cast<int>(c >> 16), static_cast<int>(c >> 8 & 0xff),
                                  static_cast<int>(c & 0xff)});
    script.command(fmt::format("set line {} {} 6", colour, 1 + static_cast<int>(k / 8)));
    for (int64_t t = 0; t < count; ++t) {
      const float v = field.at(t, stations[k]);
      if (std::isnan(v)) continue;
      const bool group_ends = kind.axis == StepAxis::kCombinations && (t + 1) % 6 == 0;
      if (t + 1 < count && !group_ends && !std::isnan(field.at(t + 1, stations[k]))) {
        script.command(fmt::format("draw line {:.4f} {:.4f} {:.4f} {:.4f}", x_of(t), y_of(v),
                                   x_of(t + 1), y_of(field.at(t + 1, stations[k]))));
      }
      if (count <= 120)
        script.command(fmt::format("draw mark 3 {:.4f} {:.4f} 0.07", x_of(t), y_of(v)));
    }
    // The legend, top right, a line and the station's identifier.
    std::size_t longest_id = 1;
    for (std::size_t s : stations) longest_id = std::max(longest_id, field.ids[s].size());
    const double entry = 0.42 + 0.85 * 0.12 * static_cast<double>(8 + longest_id) + 0.3;
    const std::size_t in_row = std::min<std::size_t>(stations.size() - k / 4 * 4, 4);
    const double ly = plot.y1 + 0.22 + 0.22 * static_cast<double>(k / 4);
    const double lx = plot.x1 - entry * static_cast<double>(in_row - k % 4);
    script.command(fmt::format("draw line {:.4f} {:.4f} {:.4f} {:.4f}", lx, ly, lx + 0.35, ly));
    script.text(lx + 0.42, ly, "l", 0.12, "station " + field.ids[stations[k]], 4);
  }

  const std::string title =
      request.title.empty() ? kind.quantity + level_words(field) : request.title;
  std::string subtitle = kind.name;
  if (stations.size() == 1) {
    const std::size_t s = stations[0];
    subtitle += fmt::format(", station {} ({:.2f}{}, {:.2f}{})", field.ids[s],
                            std::fabs(field.lat[s]), field.lat[s] < 0 ? "S" : "N",
                            std::fabs(field.lon[s]), field.lon[s] < 0 ? "W" : "E");
  }
  script.text(page.width() / 2, page.height() - 0.5, "c",
              fitted_size(title, page.width() - 0.6, 0.2), title, 6);
  script.text(page.width() / 2, page.height() - 0.82, "c",
              fitted_size(subtitle, page.width() - 0.6, 0.13), subtitle, 3);
  print_page(script, request, page, 0, figure);
  script.command("quit");
  figure.script = script.str();
  return figure;
}

}  // namespace d2g::plot
