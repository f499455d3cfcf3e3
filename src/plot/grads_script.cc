#include "plot/grads_script.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace d2g::plot {

namespace {

constexpr int kFirstScaleColour = 16;
constexpr int kGrey = 15;

std::string number(double value) { return fmt::format("{:.4f}", value); }

}  // namespace

std::string drawable_text(const std::string& text) {
  std::string out;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u > 126) {
      if (out.empty() || out.back() != '?') out += u >= 0x80 ? '?' : ' ';
      if (u >= 0x80) continue;
    } else if (c == '`') {
      out += '\'';
    } else {
      out += c;
    }
  }
  return out;
}

double fitted_size(const std::string& text, double width, double largest) {
  // GrADS's Hershey letters are about 0.85 of their size wide, with their spacing.
  return std::min(largest,
                  width / (0.85 * static_cast<double>(std::max<std::size_t>(text.size(), 1))));
}

void GradsScript::command(const std::string& text) {
  // A command is a string of the script language: quoted with whichever quote it lacks.
  if (text.find('\'') == std::string::npos) {
    text_ += "'" + text + "'\n";
  } else {
    std::string safe = text;
    for (char& c : safe) {
      if (c == '"') c = '\'';
    }
    text_ += "\"" + safe + "\"\n";
  }
}

void GradsScript::define_colour(int number, const Rgb& colour) {
  command(fmt::format("set rgb {} {} {} {}", number, colour.r, colour.g, colour.b));
}

void GradsScript::text(double x, double y, const std::string& justification, double size,
                       const std::string& what, int thickness, int rotation) {
  command(fmt::format("set string 1 {} {} {}", justification, thickness, rotation));
  command(fmt::format("set strsiz {}", number(size)));
  command(fmt::format("draw string {} {} {}", number(x), number(y), drawable_text(what)));
}

void GradsScript::print(const std::string& file, int width, int height) {
  command(file.size() > 4 && file.compare(file.size() - 4, 4, ".png") == 0
              ? fmt::format("gxprint {} white x{} y{}", file, width, height)
              : fmt::format("gxprint {} white", file));
  line("if (subwrd(result, 1) != 'Created'); say 'PLOT-FAILED 'result; 'quit'; endif");
}

void begin_figure(GradsScript& script, const std::string& control) {
  script.command("open " + control);
  script.line("if (rc != 0); say 'PLOT-FAILED cannot open the product'; 'quit'; endif");
  script.command("set grads off");
  script.command("set timelab off");
  script.command("set mpdset hires");
  script.command(fmt::format("set map {} 1 3", kGrey));
  script.command("set grid on 5 15");
}

void define_scale(GradsScript& script, const ColourScale& scale) {
  for (std::size_t i = 0; i < scale.colours.size(); ++i) {
    script.define_colour(kFirstScaleColour + static_cast<int>(i), scale.colours[i]);
  }
}

void map_panel(GradsScript& script, const MapPanel& panel, const ColourScale& scale,
               const PlotField& field) {
  const Box& b = panel.box;
  script.command(
      fmt::format("set parea {} {} {} {}", number(b.x0), number(b.x1), number(b.y0), number(b.y1)));
  script.command(fmt::format("set lon {} {}", panel.extent.lon0, panel.extent.lon1));
  script.command(fmt::format("set lat {} {}", panel.extent.lat0, panel.extent.lat1));
  script.command(fmt::format("set t {}", panel.t + 1));
  if (panel.level) script.command(fmt::format("set lev {:g}", *panel.level));
  const AxisTicks ticks = axis_ticks(panel.extent, b, panel.label_size);
  script.command(fmt::format("set xlint {:g}", ticks.lon_interval));
  script.command(fmt::format("set ylint {:g}", ticks.lat_interval));
  script.command(fmt::format("set xlopts 1 3 {}", number(panel.label_size)));
  script.command(fmt::format("set ylopts 1 3 {}", number(panel.label_size)));
  script.command(panel.lon_labels ? "set xlab on" : "set xlab off");
  script.command(panel.lat_labels ? "set ylab on" : "set ylab off");
  script.command("set gxout stnmark");
  // The frame, grid and coastlines first, with marks of no shape: GrADS draws a display's grid
  // over its marks, and the map would cross them.
  script.command("set grid on 5 15");
  script.command("set cmark 0");
  script.command("set mpdraw off");
  script.command("d " + panel.var);
  script.command("set mpdraw on");
  script.command("draw map");
  script.command("set grid off");
  script.command("set xlab off");
  script.command("set ylab off");
  script.command("set cmark 3");
  script.command(fmt::format("set digsiz {}", number(panel.mark)));
  std::string levels, colours;
  for (double level : scale.levels) levels += " " + level_text(level);
  for (std::size_t i = 0; i < scale.colours.size(); ++i)
    colours += fmt::format(" {}", kFirstScaleColour + static_cast<int>(i));
  script.command("set clevs" + levels);
  script.command("set ccols" + colours);
  script.command("set mpdraw off");
  script.command("d " + panel.var);
  // A thin dark ring round every mark keeps the palette's light end visible on white.
  script.command("set cmark 2");
  script.command("set clevs 0");
  script.command("set ccols 1 1");
  script.command("d " + panel.var);
  script.command("set mpdraw on");

  const std::size_t nstation = field.ids.size();
  std::size_t valued = 0;
  for (std::size_t s = 0; s < nstation; ++s) valued += std::isnan(field.at(panel.t, s)) ? 0 : 1;
  // GrADS colours a lone station by its default colour whatever the levels: draw it over.
  for (std::size_t s = 0; s < nstation && valued == 1; ++s) {
    const float v = field.at(panel.t, s);
    if (std::isnan(v)) continue;
    const auto colour =
        std::upper_bound(scale.levels.begin(), scale.levels.end(), v) - scale.levels.begin();
    script.command(fmt::format("q w2xy {} {}", field.lon[s], field.lat[s]));
    script.line("x = subwrd(result, 3); y = subwrd(result, 6)");
    script.command(fmt::format("set line {} 1 3", kFirstScaleColour + static_cast<int>(colour)));
    script.line(fmt::format("'draw mark 3 'x' 'y' {}'", number(panel.mark * 1.05)));
    script.command("set line 1 1 2");
    script.line(fmt::format("'draw mark 2 'x' 'y' {}'", number(panel.mark * 1.05)));
  }
  const double hollow = std::max(0.04, panel.mark * 0.75);
  for (std::size_t s = 0; s < nstation; ++s) {
    const bool missing = std::isnan(field.at(panel.t, s));
    if (!missing && !panel.draw_ids) continue;
    if (field.lon[s] < panel.extent.lon0 || field.lon[s] > panel.extent.lon1 ||
        field.lat[s] < panel.extent.lat0 || field.lat[s] > panel.extent.lat1)
      continue;
    script.command(fmt::format("q w2xy {} {}", field.lon[s], field.lat[s]));
    script.line("x = subwrd(result, 3); y = subwrd(result, 6)");
    if (missing) {
      script.command(fmt::format("set line {} 1 3", kGrey));
      script.line(fmt::format("'draw mark 2 'x' 'y' {}'", number(hollow)));
    }
    if (panel.draw_ids) {
      script.command("set string 1 l 2 0");
      script.command(fmt::format("set strsiz {}", number(panel.label_size * 0.7)));
      script.line(fmt::format("'draw string 'x + {}' 'y' {}'", number(panel.mark * 0.6),
                              drawable_text(field.ids[s])));
    }
  }
}

void colour_bar(GradsScript& script, const ColourScale& scale, double centre_x, double top,
                const std::string& caption, double missing_mark) {
  const double n = static_cast<double>(scale.colours.size());
  const double width = std::min(0.75, 6.0 / n), height = 0.22;
  const double x0 = centre_x - n * width / 2;
  for (std::size_t i = 0; i < scale.colours.size(); ++i) {
    const double x = x0 + static_cast<double>(i) * width;
    script.command(fmt::format("set line {}", kFirstScaleColour + static_cast<int>(i)));
    script.command(fmt::format("draw recf {} {} {} {}", number(x), number(top - height),
                               number(x + width), number(top)));
    script.command("set line 1 1 3");
    script.command(fmt::format("draw rec {} {} {} {}", number(x), number(top - height),
                               number(x + width), number(top)));
  }
  script.command("set string 1 tc 3 0");
  script.command("set strsiz 0.11");
  for (std::size_t i = 0; i < scale.levels.size(); ++i) {
    script.command(fmt::format("draw string {} {} {}",
                               number(x0 + static_cast<double>(i + 1) * width),
                               number(top - height - 0.06), level_text(scale.levels[i])));
  }
  script.text(centre_x, top - height - 0.42, "c", fitted_size(caption, 7.5, 0.14), caption, 4);
  if (missing_mark > 0) {
    const double x = x0 + n * width + 0.35;
    script.command(fmt::format("set line {} 1 3", kGrey));
    script.command(fmt::format("draw mark 2 {} {} {}", number(x), number(top - height / 2),
                               number(missing_mark)));
    script.text(x + 0.15, top - height / 2, "l", 0.11, "no value", 3);
  }
}

}  // namespace d2g::plot
