// A GrADS script under construction: commands quoted as GrADS's script language wants them, and
// the drawing pieces every figure shares (colours, titles, a colour bar, one map panel).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "plot/colour_scale.h"
#include "plot/page_layout.h"
#include "plot/plot_data.h"

namespace d2g::plot {

// GrADS draws only plain ASCII and takes "`" as a font switch: such characters become
// harmless ones.
std::string drawable_text(const std::string& text);

// The size of `text` that fits it into `width` inches, at most `largest`.
double fitted_size(const std::string& text, double width, double largest);

class GradsScript {
 public:
  // A GrADS command, as one quoted line of the script.
  void command(const std::string& text);
  // A line of script language as it stands.
  void line(const std::string& text) { text_ += text + "\n"; }
  void define_colour(int number, const Rgb& colour);
  void text(double x, double y, const std::string& justification, double size,
            const std::string& what, int thickness = 4, int rotation = 0);
  // Prints the page into `file` (PNG at `width` x `height` pixels; vector formats ignore them)
  // and stops the script if GrADS made no file.
  void print(const std::string& file, int width, int height);
  const std::string& str() const { return text_; }

 private:
  std::string text_;
};

// Opens the product and sets what every figure wants: no GrADS stamp, no time stamp, grey
// coastlines at the finest resolution.
void begin_figure(GradsScript& script, const std::string& control);

struct MapPanel {
  Box box;
  Extent extent;
  int64_t t = 0;  // 0-based
  std::optional<float> level;
  std::string var;
  double label_size = 0.12;
  bool lon_labels = true, lat_labels = true;
  double mark = 0.1;
  bool draw_ids = false;
};
// One map of station marks coloured by `scale` (colours defined from number 16 on), with the
// stations of `field` that have no value at the panel's time as small hollow grey marks.
void map_panel(GradsScript& script, const MapPanel& panel, const ColourScale& scale,
               const PlotField& field);

// Colour numbers 16, 17, ... for the scale's colours.
void define_scale(GradsScript& script, const ColourScale& scale);

// A horizontal bar of the scale's colours centred at `centre_x`, its top at `top`, with the levels
// between the boxes, `caption` under it, and, when `missing_mark` is not 0, a hollow mark
// saying that such marks are stations without a value.
void colour_bar(GradsScript& script, const ColourScale& scale, double centre_x, double top,
                const std::string& caption, double missing_mark);

}  // namespace d2g::plot
