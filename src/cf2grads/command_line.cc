#include "cf2grads/command_line.h"

#include <netcdf.h>

#include <CLI/CLI.hpp>

#include "common/exit_status.h"
#include "common/marker.h"

namespace d2g::cf2grads {

namespace {

constexpr char kVersion[] = D2G_VERSION;

const CLI::Validator kNonEmpty(
    [](std::string& value) { return value.empty() ? std::string("must not be empty") : ""; }, "",
    "NONEMPTY");

std::vector<std::string> split_list(const std::string& text) {
  std::vector<std::string> items;
  std::string item;
  for (char c : text + ",") {
    if (c != ',') {
      item += c;
    } else if (!item.empty()) {
      items.push_back(item);
      item.clear();
    }
  }
  return items;
}

}  // namespace

std::optional<int> parse_command_line(int argc, const char* const* argv, Options& options,
                                      std::ostream& out, std::ostream& err) {
  CLI::App app{
      "Converts CF station time series (featureType timeSeries or timeSeriesProfile, in any of\n"
      "the conventions' representations) from netCDF into one GrADS station-data product\n"
      "(NAME.dat, NAME.ctl, NAME.dat.map) that GrADS opens without stnmap.",
      "cf2grads"};
  app.add_option("inputs", options.inputs,
                 "CF station files; several are one data set when they share the stations")
      ->type_name("INPUT.nc")
      ->check(kNonEmpty)
      ->required();
  app.add_option("-o,--output-dir", options.output_dir, "Directory for the product")
      ->type_name("DIR")
      ->check(kNonEmpty)
      ->required();
  app.add_option("--name", options.name, "Product name (default: the first input's base name)")
      ->type_name("NAME")
      ->check(kNonEmpty);
  std::string vars_text;
  app.add_option("--vars", vars_text,
                 "Data variables to convert, in this order (default: every data variable)")
      ->type_name("V1,V2,...")
      ->check(kNonEmpty);
  app.add_option("--step", options.step,
                 "Time step of the groups: 30mn, 12hr, 1dy, 1mo, 1yr (default: the greatest "
                 "common step of the times)")
      ->type_name("STEP")
      ->check(kNonEmpty);
  app.add_option("--station-ids", options.station_ids,
                 "Station identifiers: VAR (a char, string or integer variable over the stations) "
                 "or number (default: the cf_role=timeseries_id variable)")
      ->type_name("VAR|number")
      ->check(kNonEmpty);
  std::string undef_text = "-999.0";
  app.add_option("--undef", undef_text,
                 "Missing-value marker of the control file: a finite number, or nan")
      ->type_name("VALUE")
      ->check(kNonEmpty)
      ->capture_default_str();
  std::string order = "little";
  app.add_option("--byte-order", order, "Byte order of the data file")
      ->type_name("little|big")
      ->check(CLI::IsMember({"little", "big"}))
      ->capture_default_str();
  std::string split = "none";
  app.add_option("--split", split,
                 "One data file per year or month (NAME_%y4.dat, NAME_%y4%m2.dat) with options "
                 "template")
      ->type_name("none|year|month")
      ->check(CLI::IsMember({"none", "year", "month"}))
      ->capture_default_str();
  app.add_flag("--check", options.check,
               "Read and check everything a run would, print what it would write, write nothing");
  app.add_flag("--sync", options.sync, "Flush the product to the disk before replacing it");
  app.add_flag("-q,--quiet", options.quiet, "Print no progress log");
  bool version = false;
  app.add_flag("--version", version, "Print the version and the netCDF library's, then exit");

  auto usage_error = [&](const std::string& what) {
    err << "cf2grads: error: " << what << "\n"
        << "Try 'cf2grads --help' for more information.\n";
    return exit_status::kUsage;
  };
  // --version and --help stand alone: the required inputs are not asked for.
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--version") {
      const std::string library = nc_inq_libvers();
      out << "cf2grads " << kVersion << "\nnetCDF library " << library.substr(0, library.find(' '))
          << "\n";
      return exit_status::kSuccess;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return exit_status::kSuccess;
  } catch (const CLI::ExtrasError&) {
    const std::vector<std::string> extras = app.remaining();
    return usage_error("unknown option: " + (extras.empty() ? std::string() : extras.front()));
  } catch (const CLI::ParseError& error) {
    return usage_error(error.what());
  }
  (void)version;
  const std::optional<float> undef = parse_undef(undef_text);
  if (!undef) {
    return usage_error("--undef: " + undef_text +
                       " is not a finite single-precision number (nor nan)");
  }
  options.undef = *undef;
  options.byte_order = order == "big" ? ByteOrder::kBig : ByteOrder::kLittle;
  options.split = split == "year" ? Split::kYear : split == "month" ? Split::kMonth : Split::kNone;
  options.vars = split_list(vars_text);
  if (!vars_text.empty() && options.vars.empty()) return usage_error("--vars: no variable named");
  if (options.name.find('/') != std::string::npos) {
    return usage_error("--name: " + options.name + " is a path; give the directory with -o");
  }
  return std::nullopt;
}

}  // namespace d2g::cf2grads
