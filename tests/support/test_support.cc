#include "support/test_support.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <netcdf.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

namespace d2g::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "d2g-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests may leave read-only or private directories behind; open them up before removing.
  run_command("chmod -R u+rwx " + shell_quote(path_) + " 2>/dev/null");
  fs::remove_all(path_, ignored);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

std::string file_fingerprint(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::vector<char> chunk(std::size_t{1} << 20);
  std::size_t size = 0;
  std::size_t hash = 0;
  while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
    const auto n = static_cast<std::size_t>(in.gcount());
    size += n;
    hash = hash * 1000003u ^ std::hash<std::string_view>{}(std::string_view(chunk.data(), n));
  }
  return std::to_string(size) + ":" + std::to_string(hash);
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool file_exists(const std::string& path) {
  std::error_code ignored;
  return fs::symlink_status(path, ignored).type() != fs::file_type::not_found;
}

std::vector<std::string> list_dir(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

DirSnapshot snapshot(const std::string& dir) {
  DirSnapshot files;
  for (const std::string& name : list_dir(dir)) {
    const std::string path = dir + "/" + name;
    if (name == ".drought2grads.lock" || !fs::is_regular_file(path)) continue;
    files[name] = file_fingerprint(path);
  }
  return files;
}

std::string shell_quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

int run_command(const std::string& command, std::string* output, bool merge_stderr) {
  const std::string full = merge_stderr ? command + " 2>&1" : command;
  FILE* pipe = ::popen(full.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("popen failed: " + command);
  std::string text;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  const int status = ::pclose(pipe);
  if (output != nullptr) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

ConverterRun run_converter(const std::string& cwd, const std::string& arguments,
                           const std::string& limits) {
  return run_program(converter(), cwd, arguments, limits);
}

ConverterRun run_program(const std::string& program, const std::string& cwd,
                         const std::string& arguments, const std::string& limits) {
  TempDir scratch;
  const std::string err_file = scratch.file("stderr");
  ConverterRun run;
  run.status =
      run_command("cd " + shell_quote(cwd) + " && " + (limits.empty() ? "" : limits + " && ") +
                      shell_quote(program) + " " + arguments + " 2>" + shell_quote(err_file),
                  &run.out, false);
  run.err = read_file(err_file);
  return run;
}

std::string sample_generator() { return D2G_SAMPLE_GENERATOR; }
std::string converter() { return D2G_CONVERTER; }
std::string cf2grads() { return D2G_CF2GRADS; }
std::string grads2cf() { return D2G_GRADS2CF; }
std::string plot_program() { return D2G_PLOT; }

std::string source_dir() { return D2G_TESTS_SOURCE_DIR; }
std::string build_dir() { return D2G_BUILD_DIR; }

void generate_sample(const std::string& dir, int nstn, int numdr_len, int sen_len, int seed) {
  std::string output;
  const std::string command = shell_quote(sample_generator()) + " --out " + shell_quote(dir) +
                              " --stations " + std::to_string(nstn) + " --numdr-len " +
                              std::to_string(numdr_len) + " --sen-len " + std::to_string(sen_len) +
                              " --seed " + std::to_string(seed);
  if (run_command(command, &output) != 0) {
    throw std::runtime_error("sample generator failed: " + output);
  }
}

void sample_with_products(const std::string& dir, int nstn, int numdr_len, int sen_len) {
  generate_sample(dir, nstn, numdr_len, sen_len);
  fs::create_directory(dir + "/out");
  const ConverterRun run = run_converter(dir, "-q --output-dir out --stations SPI_Stn.nc");
  if (run.status != 0) throw std::runtime_error("first conversion failed: " + run.err);
}

void ncgen(const std::string& cdl_text, const std::string& nc_path, const std::string& kind) {
  const std::string cdl_path = nc_path + ".cdl";
  write_file(cdl_path, cdl_text);
  std::string output;
  if (run_command(
          "ncgen -b -k " + kind + " -o " + shell_quote(nc_path) + " " + shell_quote(cdl_path),
          &output) != 0) {
    throw std::runtime_error("ncgen failed: " + output);
  }
  fs::remove(cdl_path);
}

NcValues read_nc(const std::string& path, const std::string& variable) {
  int ncid = -1;
  if (nc_open(path.c_str(), NC_NOWRITE, &ncid) != NC_NOERR) {
    throw std::runtime_error("cannot open " + path);
  }
  NcValues result;
  int varid = -1;
  int ndims = 0;
  int dimids[NC_MAX_VAR_DIMS];
  if (nc_inq_varid(ncid, variable.c_str(), &varid) != NC_NOERR ||
      nc_inq_var(ncid, varid, nullptr, nullptr, &ndims, dimids, nullptr) != NC_NOERR) {
    nc_close(ncid);
    throw std::runtime_error("no variable " + variable + " in " + path);
  }
  std::size_t count = 1;
  for (int d = 0; d < ndims; ++d) {
    std::size_t length = 0;
    nc_inq_dimlen(ncid, dimids[d], &length);
    result.shape.push_back(length);
    count *= length;
  }
  result.values.resize(count);
  if (count > 0) nc_get_var_float(ncid, varid, result.values.data());
  nc_close(ncid);
  return result;
}

namespace {

void append_le(std::string& out, uint32_t bits) {
  for (int byte = 0; byte < 4; ++byte)
    out.push_back(static_cast<char>((bits >> (8 * byte)) & 0xFF));
}

void append_float(std::string& out, float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, 4);
  append_le(out, bits);
}

}  // namespace

std::string pack_station_data(const std::vector<float>& values, const std::vector<float>& lon,
                              const std::vector<float>& lat, int nstn, int ntime,
                              std::vector<std::string> ids) {
  for (int j = static_cast<int>(ids.size()); j < nstn; ++j) ids.push_back(std::to_string(j + 1));
  for (std::string& id : ids) id.resize(8, ' ');
  std::string out;
  for (int t = 0; t < ntime; ++t) {
    for (int j = 0; j < nstn; ++j) {
      out += ids[j];
      append_float(out, lat[j]);
      append_float(out, lon[j]);
      append_float(out, 0.0f);
      append_le(out, 1);
      append_le(out, 1);
      append_float(out, values[static_cast<std::size_t>(t) * nstn + j]);
    }
    out += nstn > 0 ? ids[nstn - 1] : std::string("Station_");
    append_float(out, nstn > 0 ? lat[nstn - 1] : 0.0f);
    append_float(out, nstn > 0 ? lon[nstn - 1] : 0.0f);
    append_float(out, 0.0f);
    append_le(out, 0);
    append_le(out, 1);
  }
  return out;
}

// What GrADS printed: "TIME VAR ID LEVEL VALUE" per report of each variable, at each of
// `levels` for the level-dependent ones (those after the first `surface`).
std::vector<std::string> grads_printed_reports(const std::string& dir, const std::string& ctl,
                                               int ntime, const std::vector<std::string>& vars,
                                               std::size_t surface,
                                               const std::vector<int>& levels) {
  std::string script = "'open " + ctl +
                       "'\n'set lon -180 180'\n'set lat -90 90'\n"
                       "'set gxout print'\n'set stnprint on'\n";
  for (int t = 1; t <= ntime; ++t) {
    script += fmt::format("'set t {}'\n'q time'\nsay 'TIME ' subwrd(result,3)\n", t);
    for (std::size_t v = 0; v < vars.size(); ++v) {
      const std::string show = "'d " + vars[v] + "'\nsay '" + vars[v] + "'\nsay result\n";
      if (v < surface) script += show;
      for (int level : v < surface ? std::vector<int>{} : levels) {
        script += fmt::format("'set lev {}'\n", level) + show;
      }
    }
  }
  write_file(dir + "/read.gs", script);
  std::string out;
  run_command("cd " + shell_quote(dir) + " && grads -blc 'run read.gs'", &out);
  EXPECT_THAT(out, ::testing::Not(::testing::HasSubstr("Error")));
  std::vector<std::string> reports;
  std::istringstream in(out);
  std::string line, time, var;
  int left = 0;
  while (std::getline(in, line)) {
    if (line.rfind("TIME ", 0) == 0) {
      time = line.substr(5);
    } else if (std::find(vars.begin(), vars.end(), line) != vars.end()) {
      var = line;
    } else if (std::sscanf(line.c_str(), "Printing Stations -- %d Reports", &left) == 1) {
    } else if (left > 0) {
      char id[16], level[32];
      float lon, lat;
      if (std::sscanf(line.c_str(), "%15s %f %f %31s", id, &lon, &lat, level) == 4) {
        std::string value;
        std::getline(in, value);
        value.erase(value.find_last_not_of(' ') + 1);
        const std::string lev = std::string(level) == "-9.99e+08" ? "sfc" : level;
        reports.push_back(fmt::format("{} {} {} {} {}", time, var, id, lev, value));
        --left;
      }
    }
  }
  return reports;
}

}  // namespace d2g::testing
