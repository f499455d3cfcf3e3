// What the command line can change. The defaults reproduce a run without arguments: inputs in
// the working directory, the station list at its fixed path, products in the working directory.
#pragma once

#include "common/marker.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace d2g {

inline constexpr char kDefaultStationList[] = "/home/rufal/MERIDOX/RES/SPI_Res/SPI_Stn.nc";

struct Options {
  std::string stations = kDefaultStationList;
  std::string input_dir;  // empty: the working directory, files opened by bare name
  // The files the result variables are looked up in, in order (--input); empty: the four
  // default files in input_dir.
  std::vector<std::string> inputs;
  std::string output_dir;  // empty: the working directory, through the prefix "./"
  float undef = -999.0f;
  bool quiet = false;
  bool check = false;         // read and check everything, print the plan, write nothing
  bool sync = false;          // make every replaced product durable before going on
  bool time_axis_cf = false;  // tdef from the second axis's CF time coordinate, where it has one
  bool describe = false;      // titles, descriptions and attributes from the inputs
  bool seasonal = false;      // 36 more products, one per combination, over the 12 months
  // Where the station identifiers come from: empty for the default (a cf_role variable, else
  // numbers), "number", "legacy", or the name of a station-list variable.
  std::string station_ids;
};

// The path of input file `name`, as it is opened and logged.
std::string input_path(const Options& options, const std::string& name);

// The directory prefix handed to the product writer, ending in "/".
std::string output_prefix(const Options& options);

}  // namespace d2g
