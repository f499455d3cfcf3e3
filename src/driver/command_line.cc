#include "driver/command_line.h"

#include <netcdf.h>

#include <CLI/CLI.hpp>

#include "common/exit_status.h"

namespace d2g {

namespace {

constexpr char kVersion[] = D2G_VERSION;

// An option given an empty value would silently fall back to a default (the working directory,
// a marker of 0.0): refuse it instead.
const CLI::Validator kNonEmpty(
    [](std::string& value) { return value.empty() ? std::string("must not be empty") : ""; }, "",
    "NONEMPTY");

// "4.9.0 of Aug  7 2022 ... $" without the build date.
std::string library_version() {
  const std::string text = nc_inq_libvers();
  return text.substr(0, text.find(' '));
}

}  // namespace

std::optional<int> parse_command_line(int argc, const char* const* argv, Options& options,
                                      std::ostream& out, std::ostream& err) {
  CLI::App app{
      "Converts the drought statistics in Num_Drou_Mon_Stn.nc, Sen_Prob_idx_Stn.nc,\n"
      "Spell_Time_Arr_Stn.nc and Fre_Mag_Stn.nc, with the station list, into 31 GrADS\n"
      "station-data products (NAME.dat, NAME.ctl, NAME.dat.map).",
      "drought2grads"};
  std::string undef_text = "-999.0";
  app.add_option("--stations", options.stations, "Station-list netCDF file (lon, lat, reg)")
      ->type_name("PATH")
      ->check(kNonEmpty)
      ->capture_default_str();
  app.add_option("-i,--input", options.inputs,
                 "A file holding result variables; repeat it for several, looked up in the order "
                 "given (default: the four result files in the input directory)")
      ->type_name("FILE")
      ->check(kNonEmpty)
      ->take_all();
  app.add_option("--input-dir", options.input_dir,
                 "Directory of the four result files, or of relative --input files (default: the "
                 "working directory)")
      ->type_name("DIR")
      ->check(kNonEmpty);
  app.add_option("--output-dir", options.output_dir,
                 "Directory for the products (default: the working directory)")
      ->type_name("DIR")
      ->check(kNonEmpty);
  app.add_option("--undef", undef_text,
                 "Missing-value marker of every control file: a finite number, or nan")
      ->type_name("VALUE")
      ->check(kNonEmpty)
      ->capture_default_str();
  app.add_option(
         "--station-ids", options.station_ids,
         "Station identifiers: VAR (a char, string or integer variable of the station list), "
         "number or legacy (default: the cf_role=timeseries_id variable, else numbers)")
      ->type_name("VAR|number|legacy")
      ->check(kNonEmpty);
  app.add_flag("-q,--quiet", options.quiet, "Print no progress log");
  app.add_flag("--check", options.check,
               "Read and check everything a run would, print what it would write, write nothing");
  app.add_flag("--sync", options.sync,
               "Flush every product to the disk before replacing the next (survives power loss)");
  std::string time_axis = "index";
  app.add_option("--time-axis", time_axis,
                 "Time axes: index (jan1980 1mo, one step per position) or cf (the real start and "
                 "step of a CF time coordinate, where the second axis has one)")
      ->type_name("index|cf")
      ->check(CLI::IsMember({"index", "cf"}))
      ->capture_default_str();
  app.add_flag("--describe", options.describe,
               "Control files carry the inputs' title, long_name and units (q file, q attr)");
  app.add_flag("--seasonal", options.seasonal,
               "Also write Fre_IDX_SEV and Mag_IDX_SEV, one per combination, over the 12 months");
  bool version = false;
  app.add_flag("--version", version, "Print the version and the netCDF library's, then exit");

  auto usage_error = [&](const std::string& what) {
    err << "drought2grads: error: " << what << "\n"
        << "Try 'drought2grads --help' for more information.\n";
    return exit_status::kUsage;
  };
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return exit_status::kSuccess;
  } catch (const CLI::ExtrasError& error) {
    const std::vector<std::string> extras = app.remaining();
    const std::string first = extras.empty() ? std::string() : extras.front();
    if (!first.empty() && first[0] == '-') return usage_error("unknown option: " + first);
    return usage_error("unexpected argument: " + first + " (the program takes options only)");
  } catch (const CLI::ParseError& error) {
    return usage_error(error.what());
  }
  if (version) {
    out << "drought2grads " << kVersion << "\n"
        << "netCDF library " << library_version() << "\n";
    return exit_status::kSuccess;
  }
  const std::optional<float> undef = parse_undef(undef_text);
  if (!undef) {
    return usage_error("--undef: " + undef_text +
                       " is not a finite single-precision number (nor nan)");
  }
  options.undef = *undef;
  options.time_axis_cf = time_axis == "cf";
  return std::nullopt;
}

}  // namespace d2g
