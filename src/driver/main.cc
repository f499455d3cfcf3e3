// drought2grads: converts station-based drought statistics from netCDF into GrADS station data.

#include <CLI/CLI.hpp>
#include <csignal>
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "common/exit_status.h"
#include "common/fatal_error.h"
#include "common/interruption.h"
#include "driver/options.h"
#include "driver/run.h"

int main(int argc, char** argv) {
  d2g::Options options;
  bool quiet = false;
  CLI::App app{
      "Converts the drought statistics in Num_Drou_Mon_Stn.nc, Sen_Prob_idx_Stn.nc,\n"
      "Spell_Time_Arr_Stn.nc and Fre_Mag_Stn.nc, with the station list, into 31 GrADS\n"
      "station-data products (NAME.dat, NAME.ctl, NAME.dat.map).",
      "drought2grads"};
  app.add_option("--stations", options.stations, "Station-list netCDF file (lon, lat, reg)")
      ->capture_default_str();
  app.add_option("--input-dir", options.input_dir,
                 "Directory of the four result files (default: the working directory)");
  app.add_option("--output-dir", options.output_dir,
                 "Directory for the products (default: the working directory)");
  app.add_option("--undef", options.undef, "Missing-value marker written to every control file")
      ->capture_default_str();
  app.add_flag("-q,--quiet", quiet, "Print no progress log");
  app.set_version_flag("--version", "drought2grads " D2G_VERSION);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? d2g::exit_status::kSuccess : d2g::exit_status::kUsage;
  }

  // A file-size limit should end a write with "error during write", not kill the process.
  std::signal(SIGXFSZ, SIG_IGN);
  d2g::block_interrupt_signals();
  std::ostream null_log(nullptr);
  std::ostream& log = quiet ? null_log : std::cout;
  // Every failure ends here: the log so far, then one message on standard error.
  auto fail = [](const std::string& message, int status) {
    std::cout.flush();
    std::cerr << "drought2grads: " << message << '\n';
    return status;
  };
  try {
    d2g::run(options, log, std::cerr);
  } catch (const d2g::FatalError& error) {
    return fail(error.what(), error.exit_status());
  } catch (const std::bad_alloc&) {
    const d2g::FatalError error = d2g::FatalError::out_of_memory();
    return fail(error.what(), error.exit_status());
  } catch (const std::exception& error) {
    // A broken invariant of the program itself, never an input's fault.
    return fail(std::string("internal error: ") + error.what(), d2g::exit_status::kInternalError);
  }
  std::cout.flush();
  return d2g::exit_status::kSuccess;
}
