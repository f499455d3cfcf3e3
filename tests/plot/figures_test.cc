// drought2grads-plot draws any station product with GrADS: a map, a sheet of maps, one or more
// stations' series. The pictures are decoded and looked at: their size and orientation, the
// station marks, the colour bar with its labels, and that GrADS reported no error.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <map>

#include "cf2grads/cf_fixtures.h"
#include "support/test_support.h"

namespace d2g {
namespace {

using testing::TempDir;

struct Picture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgb;  // 3 bytes a pixel, rows top to bottom
};

uint32_t big_endian(const std::string& bytes, std::size_t at) {
  return (uint32_t{static_cast<uint8_t>(bytes[at])} << 24) |
         (uint32_t{static_cast<uint8_t>(bytes[at + 1])} << 16) |
         (uint32_t{static_cast<uint8_t>(bytes[at + 2])} << 8) | static_cast<uint8_t>(bytes[at + 3]);
}

// Decodes an 8-bit RGB PNG without interlacing (what GrADS's printim writes).
Picture decode_png(const std::string& file) {
  Picture picture;
  if (file.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) throw std::runtime_error("not a PNG");
  std::string compressed;
  for (std::size_t at = 8; at + 8 <= file.size();) {
    const uint32_t length = big_endian(file, at);
    const std::string type = file.substr(at + 4, 4);
    if (type == "IHDR") {
      picture.width = big_endian(file, at + 8);
      picture.height = big_endian(file, at + 12);
      if (file[at + 16] != 8 || file[at + 17] != 2 || file[at + 20] != 0) {
        throw std::runtime_error("not an 8-bit RGB PNG without interlacing");
      }
    }
    if (type == "IDAT") compressed += file.substr(at + 8, length);
    at += 12 + length;
  }
  const std::size_t stride = 3 * static_cast<std::size_t>(picture.width);
  std::vector<uint8_t> raw((stride + 1) * picture.height);
  uLongf raw_size = raw.size();
  if (uncompress(raw.data(), &raw_size, reinterpret_cast<const Bytef*>(compressed.data()),
                 compressed.size()) != Z_OK ||
      raw_size != raw.size()) {
    throw std::runtime_error("cannot inflate the image data");
  }
  picture.rgb.resize(stride * picture.height);
  for (uint32_t y = 0; y < picture.height; ++y) {
    const uint8_t filter = raw[y * (stride + 1)];
    const uint8_t* in = &raw[y * (stride + 1) + 1];
    uint8_t* row = &picture.rgb[y * stride];
    const uint8_t* up = y > 0 ? &picture.rgb[(y - 1) * stride] : nullptr;
    for (std::size_t x = 0; x < stride; ++x) {
      const int a = x >= 3 ? row[x - 3] : 0;
      const int b = up ? up[x] : 0;
      const int c = up && x >= 3 ? up[x - 3] : 0;
      int predictor = 0;
      switch (filter) {
        case 1:
          predictor = a;
          break;
        case 2:
          predictor = b;
          break;
        case 3:
          predictor = (a + b) / 2;
          break;
        case 4: {
          const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
          predictor = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
          break;
        }
      }
      row[x] = static_cast<uint8_t>(in[x] + predictor);
    }
  }
  return picture;
}

bool grey(const uint8_t* p) { return p[0] == p[1] && p[1] == p[2]; }

// Distinct colours that are not grey (coastlines, grid and text are grey or black) among the
// pixels of rows [top, bottom).
std::map<uint32_t, int> coloured_pixels(const Picture& picture, uint32_t top, uint32_t bottom) {
  std::map<uint32_t, int> counts;
  for (uint32_t y = top; y < bottom && y < picture.height; ++y) {
    for (uint32_t x = 0; x < picture.width; ++x) {
      const uint8_t* p = &picture.rgb[3 * (static_cast<std::size_t>(y) * picture.width + x)];
      if (!grey(p)) ++counts[(uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]];
    }
  }
  return counts;
}

// The colour bar: the lowest row that holds at least `boxes` runs of one colour each wider
// than a third of an inch (150 pixels an inch); -1 when there is none.
int colour_bar_row(const Picture& picture, int boxes) {
  for (int y = static_cast<int>(picture.height) - 1; y >= 0; --y) {
    int runs = 0, length = 0;
    uint32_t last = 0xffffffff;
    for (uint32_t x = 0; x < picture.width; ++x) {
      const uint8_t* p = &picture.rgb[3 * (static_cast<std::size_t>(y) * picture.width + x)];
      const uint32_t colour =
          grey(p) ? 0xffffffff : (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
      length = colour == last ? length + 1 : 1;
      last = colour;
      if (colour != 0xffffffff && length == 50) ++runs;
    }
    if (runs >= boxes) return y;
  }
  return -1;
}

// Dark (text) pixels in rows [top, bottom).
int dark_pixels(const Picture& picture, uint32_t top, uint32_t bottom) {
  int count = 0;
  for (uint32_t y = top; y < bottom && y < picture.height; ++y) {
    for (uint32_t x = 0; x < picture.width; ++x) {
      const uint8_t* p = &picture.rgb[3 * (static_cast<std::size_t>(y) * picture.width + x)];
      count += p[0] < 90 && p[1] < 90 && p[2] < 90;
    }
  }
  return count;
}

class Figures : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir;
    const auto sample = [](const std::string& name, int stations, const std::string& box,
                           const std::string& extra) {
      const std::string at = dir_->file(name);
      ASSERT_EQ(testing::run_command(testing::shell_quote(testing::sample_generator()) + " --out " +
                                     testing::shell_quote(at) + " --stations " +
                                     std::to_string(stations) + " --numdr-len 60" + box),
                0);
      ASSERT_EQ(testing::run_converter(at, "-q --stations SPI_Stn.nc " + extra).status, 0);
    };
    sample("iberia", 400, "", "--seasonal");
    sample("plains", 90, " --box -104 -95 33 49", "");
    sample("strip", 90, " --box -20 40 30 45", "");
    sample("one", 1, "", "");
    for (const std::string fixture : {"indexed", "profile_ragged"}) {
      const std::string at = dir_->file(fixture);
      ASSERT_EQ(testing::run_command("mkdir " + testing::shell_quote(at)), 0);
      testing::ncgen(testing::cdl_fixture(fixture), at + "/" + fixture + ".nc", "nc4");
      ASSERT_EQ(testing::run_program(testing::cf2grads(), at, fixture + ".nc -o . -q").status, 0);
    }
  }
  static void TearDownTestSuite() { delete dir_; }

  // Runs the plot command in `sub`; returns its status and output.
  static testing::ConverterRun plot(const std::string& sub, const std::string& arguments) {
    return testing::run_program(testing::plot_program(), dir_->file(sub), arguments);
  }
  static std::string file(const std::string& sub, const std::string& name) {
    return dir_->file(sub) + "/" + name;
  }

  static TempDir* dir_;
};

TempDir* Figures::dir_ = nullptr;

TEST_F(Figures, MapsSheetsAndSeriesOfEveryKindOfProduct) {
  struct Case {
    const char* where;
    const char* arguments;
    bool portrait;
    int bar_boxes;  // colour boxes the bar must show; for a series, minus its station count
  };
  const Case cases[] = {
      {"iberia", "Fre_03.ctl -t 8", false, 4},          // 18 combinations, wide domain
      {"iberia", "Fre_03.ctl --sheet --ids", true, 4},  // 400 stations, labelled
      {"iberia", "Sensl.ctl -t 3", false, 4},           // signed: diverging
      {"iberia", "Prob.ctl --sheet", true, 3},          // probabilities: 0.01, 0.05, 0.1, then grey
      {"iberia", "Fre_spi03_sev.ctl --sheet", false, 4},  // seasonal: 12 months
      {"iberia", "Mag_01.ctl --station 42 --station 7", false, -2},
      {"iberia", "Fre_spi03_sev.ctl --station 42", false, -1},
      {"plains", "Fre_03.ctl -t 8", true, 4},  // tall domain
      {"plains", "Spell_Max.ctl --sheet", true, 4},
      {"plains", "Num_Dr_Mon.ctl --station 3", false, -1},  // 60 numbered steps
      {"strip", "Time_Arr_Ave.ctl -t 2", false, 4},
      {"one", "Spell_Ave.ctl -t 1", true, 4},  // one station: a square map, the taller page
      {"indexed", "indexed.ctl -t 6 --ids --units degC", false, 4},  // real time, missing
      {"indexed", "indexed.ctl --station SYDNEY --station madrid", false, -2},
      {"profile_ragged", "profile_ragged.ctl --var temperature --lev 850 -t 1", false, 4},
      {"profile_ragged", "profile_ragged.ctl --var wind --lev 500 --station ALPHA", false, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.where) + ": " + c.arguments);
    const testing::ConverterRun run = plot(c.where, std::string(c.arguments) + " -o picture.png");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, file(c.where, "picture.png") + "\n");
    EXPECT_EQ(run.err, "");
    const Picture picture = decode_png(testing::read_file(file(c.where, "picture.png")));
    EXPECT_EQ(picture.width, c.portrait ? 1275u : 1650u);
    EXPECT_EQ(picture.height, c.portrait ? 1650u : 1275u);
    if (c.bar_boxes > 0) {
      const int bar = colour_bar_row(picture, c.bar_boxes);
      ASSERT_GT(bar, static_cast<int>(picture.height) / 2) << "no colour bar";
      // Level labels and the caption under the bar; station marks above it.
      EXPECT_GT(
          dark_pixels(picture, static_cast<uint32_t>(bar) + 2, static_cast<uint32_t>(bar) + 120),
          200);
      const auto marks = coloured_pixels(picture, 0, static_cast<uint32_t>(bar) - 60);
      int pixels = 0;
      for (const auto& [colour, count] : marks) pixels += count;
      EXPECT_GT(pixels, 40) << "hardly any station was drawn";
    } else {
      // A series: a colour per station (its line, marks and legend), a frame and labels.
      const auto lines = coloured_pixels(picture, 0, picture.height);
      int strong = 0;
      for (const auto& [colour, count] : lines) strong += count > 100;
      EXPECT_GE(strong, -c.bar_boxes);
      EXPECT_GT(dark_pixels(picture, 0, picture.height), 3000);
    }
  }
}

TEST_F(Figures, VectorFormatsAndSheetsOfSeveralPages) {
  struct Case {
    const char* output;
    const char* magic;
  };
  for (const Case& c :
       {Case{"map.pdf", "%PDF"}, Case{"map.svg", "<?xml"}, Case{"map.eps", "%!PS-Adobe"}}) {
    SCOPED_TRACE(c.output);
    const testing::ConverterRun run = plot("iberia", std::string("Fre_03.ctl -t 2 -o ") + c.output);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(testing::read_file(file("iberia", c.output)).rfind(c.magic, 0), 0u);
  }
  // Sixty maps do not fit one page: they are spread over several, each written and named.
  const testing::ConverterRun run = plot("plains", "Num_Dr_Mon.ctl --sheet -o pages/num.png");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> pages = testing::list_dir(file("plains", "pages"));
  ASSERT_GE(pages.size(), 2u);
  std::string expected;
  for (std::size_t p = 0; p < pages.size(); ++p) {
    EXPECT_EQ(pages[p], "num-" + std::to_string(p + 1) + ".png");
    expected += file("plains", "pages/num-" + std::to_string(p + 1) + ".png") + "\n";
    EXPECT_GT(
        colour_bar_row(decode_png(testing::read_file(file("plains", "pages/" + pages[p]))), 4), 0);
  }
  EXPECT_EQ(run.out, expected);
  // One map under the same name: the pages of the sheet are gone with it, not left to pass for
  // this run's.
  ASSERT_EQ(plot("plains", "Num_Dr_Mon.ctl -o pages/num.png").status, 0);
  EXPECT_EQ(testing::list_dir(file("plains", "pages")), std::vector<std::string>{"num.png"});
  ASSERT_EQ(plot("plains", "Num_Dr_Mon.ctl --sheet -o pages/num.png").status, 0);
  EXPECT_EQ(testing::list_dir(file("plains", "pages")), pages);
}

TEST_F(Figures, RefusalsSayWhyAndWriteNothing) {
  testing::write_file(file("iberia", "grid.ctl"),
                      "dset ^grid.dat\nundef -9.99e8\nxdef 4 linear 0 1\nydef 4 linear 0 1\n"
                      "zdef 1 levels 1000\ntdef 1 linear 00z01jan2000 1dy\nvars 1\nv 0 99 v\n"
                      "endvars\n");
  testing::write_file(
      file("iberia", "broken.ctl"),
      "dset ^Fre_03.dat\ndtype station\nundef -999.0\nvars 1\nfre 0 99 f\nendvars\n");
  struct Case {
    const char* where;
    const char* arguments;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {"iberia", "Fre_03.ctl -o x.gif", 2, "GrADS draws into .png, .pdf, .svg, .eps or .ps"},
      {"iberia", "Fre_03.ctl --sheet --station 1 -o x.png", 2, "excludes"},
      {"iberia", "Fre_03.ctl --extent 5,1,30,40 -o x.png", 2, "LON1 < LON2"},
      {"iberia", "Fre_03.ctl --palette rainbow -o x.png", 2, "--palette"},
      {"iberia", "Fre_03.ctl --levels 1,x -o x.png", 2, "\"x\" is not a number"},
      {"iberia", "grid.ctl -o x.png", 1, "grid.ctl: no \"dtype station\": not a station product"},
      {"iberia", "broken.ctl -o x.png", 1, "broken.ctl: no tdef line"},
      {"iberia", "Fre_03.ctl -t 19 -o x.png", 1, "-t 19: the product has time steps 1 to 18"},
      {"iberia", "Fre_03.ctl --station nosuch -o x.png", 1, "no station \"nosuch\""},
      {"iberia", "Fre_03.ctl --var rain -o x.png", 1, "no variable \"rain\"; the product has fre"},
      {"profile_ragged", "profile_ragged.ctl --var temperature -o x.png", 1,
       "variable \"temperature\" has levels: choose one with --lev"},
      {"profile_ragged", "profile_ragged.ctl --var temperature --lev 700 -o x.png", 1,
       "has no level 700; its levels are 500 850 1000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const testing::DirSnapshot before = testing::snapshot(dir_->file(c.where));
    const testing::ConverterRun run = plot(c.where, c.arguments);
    EXPECT_EQ(run.status, c.status);
    EXPECT_THAT(run.err, ::testing::HasSubstr(c.message));
    EXPECT_THAT(run.err, ::testing::StartsWith("drought2grads-plot: "));
    EXPECT_EQ(testing::snapshot(dir_->file(c.where)), before);
  }
}

}  // namespace
}  // namespace d2g
