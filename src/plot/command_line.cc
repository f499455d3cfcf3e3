#include "plot/command_line.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cmath>

#include "common/exit_status.h"
#include "plot/colour_scale.h"

namespace d2g::plot {

namespace {

std::vector<double> numbers(const std::string& text, const std::string& option) {
  std::vector<double> values;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t comma = std::min(text.find(',', at), text.size());
    const std::string item = text.substr(at, comma - at);
    char* end = nullptr;
    const double value = std::strtod(item.c_str(), &end);
    if (item.empty() || *end != '\0' || !std::isfinite(value)) {
      throw CLI::ValidationError(option, "\"" + item + "\" is not a number");
    }
    values.push_back(value);
    at = comma + 1;
  }
  return values;
}

std::string extension_of(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

}  // namespace

const std::vector<std::string>& output_extensions() {
  static const std::vector<std::string> extensions = {".png", ".pdf", ".svg", ".eps", ".ps"};
  return extensions;
}

std::optional<int> parse_command_line(int argc, const char* const* argv, Options& options,
                                      std::ostream& out, std::ostream& err) {
  CLI::App app{
      "Draws a GrADS station product (from drought2grads, cf2grads or any other writer) with\n"
      "GrADS in batch mode: a map of one time step, a sheet of maps of every time step, or the\n"
      "series of one or more stations. The output's extension chooses the format: .png, .pdf,\n"
      ".svg, .eps or .ps. The path of each page written is printed.",
      "drought2grads-plot"};
  app.add_option("control", options.control, "The product's control file")
      ->type_name("PRODUCT.ctl")
      ->required();
  app.add_option("-o,--output", options.output,
                 "The picture to write; a sheet of several pages writes OUT-1.EXT, OUT-2.EXT, ...")
      ->type_name("OUT.png")
      ->required();
  auto* step = app.add_option("-t,--time", options.step, "The time step to map (default 1)")
                   ->type_name("T")
                   ->check(CLI::PositiveNumber);
  auto* sheet = app.add_flag("--sheet", options.sheet, "Every time step as a map, on one sheet");
  auto* station = app.add_option("--station", options.stations,
                                 "A station's series over the time axis; repeat to compare")
                      ->type_name("ID");
  step->excludes(sheet)->excludes(station);
  sheet->excludes(station);
  app.add_option("--var", options.var, "The variable to draw (default: the first)")
      ->type_name("NAME");
  app.add_option("--lev", options.level, "The level of a level-dependent variable")
      ->type_name("LEV");
  app.add_option("--palette", options.palette,
                 "Colours: ylorrd or viridis (sequential), rdbu or brbg (diverging), "
                 "significance (default: by the kind of product)")
      ->type_name("NAME")
      ->check(CLI::IsMember(palette_names()));
  std::string levels, extent;
  app.add_option("--levels", levels, "Colour levels, increasing")->type_name("L1,L2,...");
  app.add_option("--title", options.title, "The title (default: what the product holds)")
      ->type_name("TEXT");
  app.add_option("--extent", extent, "The map's extent (default: the stations', with a margin)")
      ->type_name("LON1,LON2,LAT1,LAT2");
  app.add_option("--units", options.units,
                 "Units for the colour bar or value axis (default: the control file's @ units)")
      ->type_name("TEXT");
  app.add_flag("--ids", options.ids, "Label the stations on maps with their identifiers");
  bool version = false;
  app.add_flag("--version", version, "Print the version, then exit");
  for (int i = 1; i < argc; ++i) {
    if (std::string(argv[i]) == "--version") {
      out << "drought2grads-plot " << D2G_VERSION << "\n";
      return exit_status::kSuccess;
    }
  }
  try {
    app.parse(argc, argv);
    if (!levels.empty()) {
      options.levels = numbers(levels, "--levels");
      if (!std::is_sorted(options.levels.begin(), options.levels.end(), std::less_equal<>())) {
        throw CLI::ValidationError("--levels", "levels must increase");
      }
    }
    if (!extent.empty()) {
      const std::vector<double> e = numbers(extent, "--extent");
      if (e.size() != 4 || !(e[1] > e[0]) || !(e[3] > e[2]) || e[2] < -90 || e[3] > 90) {
        throw CLI::ValidationError(
            "--extent", "needs LON1,LON2,LAT1,LAT2 with LON1 < LON2 and -90 <= LAT1 < LAT2 <= 90");
      }
      options.extent = Extent{e[0], e[1], e[2], e[3]};
    }
    const std::string ext = extension_of(options.output);
    const auto& known = output_extensions();
    if (std::find(known.begin(), known.end(), ext) == known.end()) {
      throw CLI::ValidationError(
          "--output", "\"" + options.output +
                          "\": GrADS draws into .png, .pdf, .svg, .eps or .ps files; name the "
                          "picture with one of these extensions");
    }
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return exit_status::kSuccess;
  } catch (const CLI::ParseError& error) {
    err << "drought2grads-plot: error: " << error.what() << "\n"
        << "Try 'drought2grads-plot --help' for more information.\n";
    return exit_status::kUsage;
  }
  return std::nullopt;
}

}  // namespace d2g::plot
