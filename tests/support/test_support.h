// Helpers shared by the tests: temporary directories, files, commands, the sample generator, an
// independent packer of GrADS station data, and direct netCDF reads for expected values.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace d2g::testing {

// A fresh directory under $TMPDIR, removed with everything in it when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string read_file(const std::string& path);
// A fingerprint of a file's content (its size and a hash), for comparing large files cheaply.
std::string file_fingerprint(const std::string& path);
void write_file(const std::string& path, const std::string& content);
bool file_exists(const std::string& path);
// Names of the entries of `dir`, sorted, "." and ".." left out.
std::vector<std::string> list_dir(const std::string& dir);

// The regular files of `dir` (hidden ones included, the output lock file left out) with a
// fingerprint of each one's content: compare two snapshots to see what a run changed.
using DirSnapshot = std::map<std::string, std::string>;
DirSnapshot snapshot(const std::string& dir);

// Runs `command` through the shell; returns its exit status, with standard output (and standard
// error, when `merge_stderr`) in `output`.
int run_command(const std::string& command, std::string* output = nullptr,
                bool merge_stderr = true);
std::string shell_quote(const std::string& text);

// What one run of the converter did.
struct ConverterRun {
  int status;
  std::string out;  // standard output
  std::string err;  // standard error
};

// Runs the converter binary in `cwd` with `arguments` (already shell-quoted where needed), after
// the shell commands `limits` ("ulimit -v 150000") when given.
ConverterRun run_converter(const std::string& cwd, const std::string& arguments,
                           const std::string& limits = "");

// The same for any program of the package.
ConverterRun run_program(const std::string& program, const std::string& cwd,
                         const std::string& arguments, const std::string& limits = "");

// Paths fixed at build time.
std::string sample_generator();
std::string converter();
std::string cf2grads();
std::string grads2cf();
std::string plot_program();  // drought2grads-plot
std::string source_dir();    // the tests/ folder of the source tree
std::string build_dir();     // the top of the build tree

// Writes the sample input set into `dir`; the station list is `dir`/SPI_Stn.nc.
void generate_sample(const std::string& dir, int nstn, int numdr_len, int sen_len, int seed = 1);

// A sample input set in `dir` (as generate_sample) already converted once into `dir`/out, as the
// products a later run replaces. Throws if that first run fails.
void sample_with_products(const std::string& dir, int nstn, int numdr_len, int sen_len);

// Turns a CDL text into a netCDF file with ncgen, of format `kind` ("classic", "nc4", ...).
void ncgen(const std::string& cdl_text, const std::string& nc_path,
           const std::string& kind = "classic");

// A netCDF variable read straight through the C library: its values in stored order and the
// lengths of its dimensions in declaration order.
struct NcValues {
  std::vector<size_t> shape;
  std::vector<float> values;
};
NcValues read_nc(const std::string& path, const std::string& variable);

// The bytes a GrADS station data file must hold, packed field by field after the documented
// layout: `values` is indexed [t * nstn + j]; station j's reports carry `ids[j]` blank-padded to
// 8 bytes, or by default its number j + 1.
std::string pack_station_data(const std::vector<float>& values, const std::vector<float>& lon,
                              const std::vector<float>& lat, int nstn, int ntime,
                              std::vector<std::string> ids = {});

// GrADS's own reading of a station data set: opens `ctl` in `dir` and prints every report, time
// step by time step, as "TIME VAR ID LEVEL VALUE" ("sfc" for surface variables, the level of
// each of `levels` for the level-dependent ones, those after the first `surface`; a missing
// value as GrADS prints it, -9.99e+08). Expects GrADS to report no error.
std::vector<std::string> grads_printed_reports(const std::string& dir, const std::string& ctl,
                                               int ntime, const std::vector<std::string>& vars,
                                               std::size_t surface = 99,
                                               const std::vector<int>& levels = {});

}  // namespace d2g::testing
