// grads2cf: converts GrADS station data into CF netCDF.

#include <netcdf.h>

#include <CLI/CLI.hpp>
#include <csignal>
#include <cstring>
#include <iostream>
#include <optional>

#include "common/exit_status.h"
#include "common/interruption.h"
#include "common/program_frame.h"
#include "common/program_name.h"
#include "grads2cf/run.h"
#include "ncinput/library_guard.h"

namespace {

std::optional<int> parse(int argc, char** argv, d2g::grads2cf::Options& options) {
  CLI::App app{
      "Converts a GrADS station data set (PRODUCT.ctl and its data files) into a CF netCDF-4\n"
      "file (featureType timeSeries or timeSeriesProfile) that xarray and netCDF tools read.",
      "grads2cf"};
  app.add_option("control", options.control, "The control file of the station data set")
      ->type_name("PRODUCT.ctl")
      ->required();
  app.add_option("-o,--output", options.output,
                 "The netCDF file to write (default: the control file's name with .nc)")
      ->type_name("OUT.nc");
  std::string layout = "auto";
  app.add_option("--layout", layout,
                 "orthogonal (station x time), ragged (contiguous ragged), or auto: orthogonal "
                 "where every station reports at most once per group at its group's time, "
                 "unless that table would be a quarter full or less and over 256 MiB")
      ->type_name("ragged|orthogonal|auto")
      ->check(CLI::IsMember({"ragged", "orthogonal", "auto"}))
      ->capture_default_str();
  app.add_flag("--check", options.check,
               "Read and check everything, print what would be written, write nothing");
  app.add_flag("-q,--quiet", options.quiet, "Print no progress log");
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--version") == 0) {
      const std::string library = nc_inq_libvers();
      std::cout << "grads2cf " << D2G_VERSION << "\nnetCDF library "
                << library.substr(0, library.find(' ')) << "\n";
      return d2g::exit_status::kSuccess;
    }
  }
  app.add_flag("--version", "Print the version and the netCDF library's, then exit");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return d2g::exit_status::kSuccess;
  } catch (const CLI::ParseError& error) {
    std::cerr << "grads2cf: error: " << error.what() << "\n"
              << "Try 'grads2cf --help' for more information.\n";
    return d2g::exit_status::kUsage;
  }
  options.layout = layout == "ragged"       ? d2g::grads2cf::Layout::kRagged
                   : layout == "orthogonal" ? d2g::grads2cf::Layout::kOrthogonal
                                            : d2g::grads2cf::Layout::kAuto;
  return std::nullopt;
}

}  // namespace

int main(int argc, char** argv) {
  d2g::set_program_name("grads2cf");
  d2g::grads2cf::Options options;
  if (const auto status = parse(argc, argv, options)) {
    std::cout.flush();
    return *status;
  }
  std::signal(SIGXFSZ, SIG_IGN);
  d2g::exit_at_once_on_interrupt();
  d2g::install_library_crash_handlers();
  return d2g::run_in_frame(options.quiet, "the file was written",
                           [&](std::ostream& log) { d2g::grads2cf::run(options, log, std::cerr); });
}
