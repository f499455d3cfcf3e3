#include "driver/options.h"

#include <strings.h>

#include <cmath>
#include <cstdlib>
#include <limits>

namespace d2g {

namespace {

std::string with_slash(const std::string& dir) { return dir.back() == '/' ? dir : dir + "/"; }

}  // namespace

std::string input_path(const Options& options, const std::string& name) {
  return options.input_dir.empty() ? name : with_slash(options.input_dir) + name;
}

std::string output_prefix(const Options& options) {
  return options.output_dir.empty() ? "./" : with_slash(options.output_dir);
}

}  // namespace d2g
