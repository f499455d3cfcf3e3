// drought2grads-plot draws a product with GrADS: one time step as a map, or every time step as
// a sheet of small maps. The pictures are decoded and looked at: their size, and that they hold
// coloured station marks rather than a blank page.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <map>

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

// Pixels of each colour that is neither white, black nor grey (coastlines, grid and text are
// grey or black) in the rows above `below`: the station marks, without the colour bar at the foot.
std::map<uint32_t, int> coloured_pixels(const Picture& picture, uint32_t below) {
  std::map<uint32_t, int> counts;
  const std::size_t end = 3 * static_cast<std::size_t>(picture.width) * below;
  for (std::size_t i = 0; i + 2 < end && i + 2 < picture.rgb.size(); i += 3) {
    const uint8_t r = picture.rgb[i], g = picture.rgb[i + 1], b = picture.rgb[i + 2];
    if (r == g && g == b) continue;
    ++counts[(uint32_t{r} << 16) | (uint32_t{g} << 8) | b];
  }
  return counts;
}

TEST(Plot, DrawsOneTimeStepAndASheetOfAllOfThem) {
  TempDir dir;
  testing::generate_sample(dir.path(), 60, 4, 3);
  ASSERT_EQ(testing::run_converter(dir.path(), "-q --stations SPI_Stn.nc").status, 0);
  const std::string plot = testing::source_dir() + "/../scripts/drought2grads-plot";

  struct Case {
    const char* arguments;
    int min_colours;  // distinct colours of marks and bar
  };
  const Case cases[] = {{"Fre_03.ctl -t 8", 3},
                        {"Fre_03.ctl --sheet", 3},
                        {"Num_Dr_Mon.ctl --sheet", 3},
                        {"Sensl.ctl", 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    std::string output;
    ASSERT_EQ(
        testing::run_command("cd " + testing::shell_quote(dir.path()) + " && " +
                                 testing::shell_quote(plot) + " " + c.arguments + " -o picture.png",
                             &output),
        0)
        << output;
    EXPECT_EQ(output, dir.file("picture.png") + "\n");
    const Picture picture = decode_png(testing::read_file(dir.file("picture.png")));
    EXPECT_EQ(picture.width, 1100u);
    EXPECT_EQ(picture.height, 850u);
    // The page is 11 x 8.5 inches at 100 pixels an inch; the colour bar lies below 0.7 inches.
    const std::map<uint32_t, int> colours = coloured_pixels(picture, 850 - 70);
    int pixels = 0;
    for (const auto& [colour, count] : colours) pixels += count;
    EXPECT_GE(static_cast<int>(colours.size()), c.min_colours);
    EXPECT_GT(pixels, 300) << "hardly any station was drawn";
  }

  // Bad requests are refused with a message.
  std::string output;
  EXPECT_EQ(testing::run_command("cd " + testing::shell_quote(dir.path()) + " && " +
                                     testing::shell_quote(plot) + " Fre_03.ctl -t 19 -o x.png",
                                 &output),
            1);
  EXPECT_THAT(output, ::testing::HasSubstr("the product has time steps 1 to 18"));
  EXPECT_EQ(testing::run_command(testing::shell_quote(plot) + " Fre_03.ctl", &output), 2);
}

}  // namespace
}  // namespace d2g
