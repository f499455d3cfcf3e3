// Colour scales and page layout: the choices that make a figure readable, checked without GrADS.
#include <gtest/gtest.h>

#include <cmath>

#include "plot/colour_scale.h"
#include "plot/page_layout.h"

namespace d2g::plot {
namespace {

TEST(ColourScale, EachKindOfProductGetsItsOwnLevelsAndPalette) {
  ProductKind probability;
  probability.palette = PaletteKind::kSignificance;
  const ColourScale p = colour_scale(probability, 0.0003, 0.998, {}, "");
  EXPECT_EQ(p.levels, (std::vector<double>{0.01, 0.05, 0.1}));
  ASSERT_EQ(p.colours.size(), 4u);
  // The significant end is the darkest; the rest is grey.
  EXPECT_LT(p.colours[0].r + p.colours[0].g + p.colours[0].b,
            p.colours[2].r + p.colours[2].g + p.colours[2].b);
  EXPECT_TRUE(p.colours[3].r == p.colours[3].g && p.colours[3].g == p.colours[3].b);

  ProductKind slope;
  slope.palette = PaletteKind::kDiverging;
  for (const auto& [lo, hi] :
       {std::pair{-0.05, 0.05}, std::pair{-3.0, 0.4}, std::pair{-1.0, 7.0}}) {
    const ColourScale d = colour_scale(slope, lo, hi, {}, "");
    SCOPED_TRACE(lo);
    ASSERT_EQ(d.colours.size(), d.levels.size() + 1);
    // Symmetric about zero, zero a level, the classes either side mirror images in lightness.
    for (std::size_t i = 0; i < d.levels.size(); ++i) {
      EXPECT_NEAR(d.levels[i], -d.levels[d.levels.size() - 1 - i], 1e-12);
    }
    EXPECT_NE(std::find(d.levels.begin(), d.levels.end(), 0.0), d.levels.end());
    EXPECT_LE(d.levels.front(), lo + (d.levels[1] - d.levels[0]));
    EXPECT_GE(d.levels.back(), hi - (d.levels[1] - d.levels[0]));
  }

  ProductKind counts;
  const ColourScale s = colour_scale(counts, 0, 120, {}, "");
  EXPECT_GE(s.levels.size(), 4u);
  EXPECT_LE(s.levels.size(), 10u);
  EXPECT_GT(s.levels.front(), 0);
  EXPECT_LT(s.levels.back(), 120);
  // Larger means more: darker.
  const auto lightness = [](const Rgb& c) { return c.r + c.g + c.b; };
  EXPECT_GT(lightness(s.colours.front()), lightness(s.colours.back()));
  counts.smaller_is_more = true;
  const ColourScale negative = colour_scale(counts, -3, 0, {}, "");
  EXPECT_LT(lightness(negative.colours.front()), lightness(negative.colours.back()));

  // What the user asks for wins.
  const ColourScale asked = colour_scale(probability, 0, 1, {0.2, 0.4}, "viridis");
  EXPECT_EQ(asked.levels, (std::vector<double>{0.2, 0.4}));
  EXPECT_EQ(asked.colours.size(), 3u);
  // A single value still gets classes.
  EXPECT_GE(colour_scale(counts, 22, 22, {}, "").levels.size(), 2u);
}

TEST(PageLayout, TheMapFillsThePageInTheDomainsShapeAndLabelsLeaveRoom) {
  struct Case {
    Extent extent;
    bool portrait;
  };
  const Case cases[] = {{{-105, -94, 32, 50}, true},    // the Great Plains: tall
                        {{-10, 4, 35, 44.5}, false},    // Iberia: wide
                        {{-20, 40, 30, 45}, false},     // a wide strip
                        {{149, 153, -36, -32}, true}};  // square: the taller page is larger
  for (const Case& c : cases) {
    const MapLayout layout = map_layout(c.extent);
    SCOPED_TRACE(c.extent.lon0);
    EXPECT_EQ(layout.page.portrait, c.portrait);
    EXPECT_NEAR(layout.map.height() / layout.map.width(), c.extent.height() / c.extent.width(),
                1e-9);
    EXPECT_GE(layout.map.x0, 0.5);
    EXPECT_LE(layout.map.x1, layout.page.width() - 0.3);
    // Most of the page's width or height is map.
    EXPECT_TRUE(layout.map.width() > 0.8 * layout.page.width() ||
                layout.map.height() > 0.6 * layout.page.height());
    const AxisTicks ticks = axis_ticks(c.extent, layout.map, 0.13);
    const double labels = std::floor(c.extent.width() / ticks.lon_interval) + 1;
    EXPECT_LE(labels * (4.5 * 0.9 * 0.13 + 0.2), layout.map.width());
  }
}

TEST(PageLayout, SheetsKeepPanelsReadableAndSpillOntoMorePages) {
  const Extent iberia{-10, 4, 35, 44.5};
  const SheetLayout eighteen = sheet_layout(iberia, 18, {6, 3});
  EXPECT_EQ(eighteen.per_page, 18);
  EXPECT_TRUE(eighteen.columns == 6 || eighteen.columns == 3);
  EXPECT_EQ(eighteen.panels.size(), 18u);
  // Panels do not overlap.
  for (std::size_t i = 1; i < eighteen.panels.size(); ++i) {
    const Box& a = eighteen.panels[i - 1];
    const Box& b = eighteen.panels[i];
    EXPECT_TRUE(a.x1 <= b.x0 || b.x1 <= a.x0 || a.y1 <= b.y0 || b.y1 <= a.y0);
  }
  const SheetLayout many = sheet_layout(iberia, 120, {});
  EXPECT_LT(many.per_page, 120);
  EXPECT_GE(std::min(many.panels[0].width(), many.panels[0].height()), 1.2);
  const SheetLayout twelve = sheet_layout(iberia, 12, {});
  EXPECT_EQ(twelve.per_page, 12);
}

}  // namespace
}  // namespace d2g::plot
