#include "plot/run.h"

#include <fmt/format.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/fatal_error.h"
#include "common/interruption.h"
#include "gradsout/output_dir.h"
#include "gradsout/pending_file.h"
#include "gradsout/product_swap.h"
#include "plot/figures.h"

namespace d2g::plot {

namespace {

// A scratch directory for GrADS, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/drought2grads-plot.XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
      throw FatalError::bad_input(
          pattern, std::string("cannot create a scratch directory: ") + std::strerror(errno));
    }
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

bool on_path(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    if (access(((dir.empty() ? "." : dir) + "/" + program).c_str(), X_OK) == 0) return true;
  }
  return false;
}

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string extension_of(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  std::string ext = path.substr(dot);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// The name of page `page` of `count`: OUT itself for one page, OUT-1.EXT ... for several.
std::string page_path(const std::string& output, std::size_t page, std::size_t count) {
  if (count == 1) return output;
  const std::size_t dot = output.find_last_of('.');
  return fmt::format("{}-{}{}", output.substr(0, dot), page + 1, output.substr(dot));
}

// What GrADS said that went wrong, or "" when it drew every page.
std::string grads_trouble(const std::string& log) {
  std::istringstream lines(log);
  std::string line, trouble;
  while (std::getline(lines, line)) {
    const bool bad = line.rfind("PLOT-FAILED", 0) == 0 || line.find("Error") != std::string::npos ||
                     line.find("error:") != std::string::npos;
    if (bad)
      trouble +=
          (trouble.empty() ? "" : "; ") + line.substr(line.rfind("PLOT-FAILED", 0) == 0 ? 12 : 0);
  }
  return trouble;
}

}  // namespace

void run(const Options& options, std::ostream& out) {
  if (!on_path("grads")) {
    throw FatalError::bad_input(options.control,
                                "cannot be drawn: GrADS is not installed "
                                "(Debian package grads)");
  }
  const gradsin::StationDataSet data = gradsin::read_control(options.control);
  const gradsin::StationReports reports = gradsin::read_reports(data);
  if (reports.ids.empty())
    throw FatalError::bad_input(options.control, "the product has no stations");
  const gradsin::VarDecl& var = choose_variable(data, options.var, options.level);
  const PlotField field = plot_field(data, reports, var, options.level);
  if (options.step && *options.step > data.ntime) {
    throw FatalError::bad_input(
        options.control,
        fmt::format("-t {}: the product has time steps 1 to {}", *options.step, data.ntime));
  }
  std::vector<std::size_t> stations;
  for (const std::string& id : options.stations) {
    stations.push_back(find_station(field, options.control, id));
  }

  ScratchDir scratch;
  // GrADS splits its commands at blanks: it opens the product through a link without any.
  const std::filesystem::path control = std::filesystem::absolute(options.control);
  const std::string control_name = control.filename().string();
  if (control_name.find_first_of(" \t") != std::string::npos) {
    throw FatalError::bad_input(options.control,
                                "GrADS cannot open a control file whose name "
                                "has blanks");
  }
  std::filesystem::create_directory_symlink(control.parent_path(), scratch.path() + "/product");

  FigureRequest request;
  request.data = &data;
  request.field = &field;
  request.kind = product_kind(data, field);
  if (!options.units.empty()) request.kind.units = options.units;
  request.control = "product/" + control_name;
  request.title = options.title;
  request.levels = options.levels;
  request.palette = options.palette;
  request.extent = options.extent;
  request.ids = options.ids;
  request.extension = extension_of(options.output);
  const Figure figure = !stations.empty() ? series_figure(request, stations)
                        : options.sheet   ? sheet_figure(request)
                                          : map_figure(request, options.step.value_or(1) - 1);

  {
    std::ofstream script(scratch.path() + "/plot.gs");
    script << figure.script;
    if (!script) throw FatalError::bad_input(scratch.path() + "/plot.gs", "cannot be written");
  }
  const std::string command =
      fmt::format("cd '{}' && grads -b{}c 'run plot.gs' > grads.log 2>&1 < /dev/null",
                  scratch.path(), figure.portrait ? "p" : "l");
  const int status = std::system(command.c_str());
  // std::system ignores SIGINT while GrADS runs: an interrupted GrADS ends this run as one.
  if (status != -1 && WIFSIGNALED(status)) throw FatalError::interrupted(WTERMSIG(status));
  if (status != -1 && WIFEXITED(status) && WEXITSTATUS(status) > 128) {
    const int signal = WEXITSTATUS(status) - 128;
    if (signal == SIGINT || signal == SIGTERM || signal == SIGHUP)
      throw FatalError::interrupted(signal);
  }
  const std::string log = read_all(scratch.path() + "/grads.log");
  const std::string trouble = grads_trouble(log);
  bool drawn = status == 0 && trouble.empty();
  for (const std::string& page : figure.pages) {
    struct stat info {};
    drawn = drawn && stat((scratch.path() + "/" + page).c_str(), &info) == 0 && info.st_size > 0;
  }
  if (!drawn) {
    throw FatalError::bad_input(options.control,
                                "GrADS drew no picture" + (trouble.empty() ? "" : ": " + trouble));
  }

  // Every page goes into place together, each under its final name only when complete.
  block_interrupt_signals();
  const std::size_t slash = options.output.find_last_of('/');
  const std::string prefix =
      slash == std::string::npos ? "./" : options.output.substr(0, slash + 1);
  std::error_code ignored;
  std::filesystem::create_directories(prefix, ignored);
  const OutputDir dir(prefix, options.output.substr(slash + 1), kDataUnit);
  std::vector<std::unique_ptr<PendingFile>> files;
  std::vector<std::string> written;
  for (std::size_t p = 0; p < figure.pages.size(); ++p) {
    const std::string path = page_path(options.output, p, figure.pages.size());
    files.push_back(std::make_unique<PendingFile>(dir, path.substr(slash + 1), kDataUnit));
    const std::string bytes = read_all(scratch.path() + "/" + figure.pages[p]);
    files.back()->write(bytes.data(), bytes.size());
    files.back()->finish();
    written.push_back(std::filesystem::absolute(path).lexically_normal().string());
  }
  stop_if_interrupted();
  ProductSwap swap(dir);
  for (auto& file : files) swap.put(*file);
  // Pages an earlier run drew under these names and this one does not would pass for its own.
  const std::size_t pages = figure.pages.size();
  const auto name_of = [&](const std::string& path) { return path.substr(slash + 1); };
  if (pages > 1 && std::filesystem::exists(options.output)) {
    swap.withdraw(name_of(options.output), kDataUnit);
  }
  for (std::size_t p = pages > 1 ? pages : 0;
       std::filesystem::exists(page_path(options.output, p, p + 2)); ++p) {
    swap.withdraw(name_of(page_path(options.output, p, p + 2)), kDataUnit);
  }
  swap.complete(nullptr);
  for (const std::string& path : written) out << path << "\n";
}

}  // namespace d2g::plot
