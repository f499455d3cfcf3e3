#include "grads2cf/run.h"

#include <fmt/format.h>

#include <algorithm>

#include "common/fatal_error.h"
#include "common/interruption.h"
#include "common/text_encoding.h"
#include "gradsin/station_reports.h"
#include "gradsout/output_dir.h"
#include "gradsout/output_lock.h"
#include "gradsout/pending_file.h"
#include "gradsout/product_swap.h"

namespace d2g::grads2cf {

namespace {

std::string output_path(const Options& options) {
  if (!options.output.empty()) return options.output;
  std::string path = options.control;
  if (path.size() > 4 && path.compare(path.size() - 4, 4, ".ctl") == 0)
    path.resize(path.size() - 4);
  return path + ".nc";
}

}  // namespace

namespace {

// "1 station", "2 stations".
template <typename Count>
std::string counted(Count n, const char* one, const char* many) {
  return fmt::format("{} {}", n, n == 1 ? one : many);
}

void log_plan(std::ostream& log, const Survey& found, const CfPlan& plan) {
  const gradsin::ScanSummary& reports = found.stations;
  log << fmt::format(
      " read      {} of {}{}\n", counted(reports.reports, "report", "reports"),
      counted(reports.ids.size(), "station", "stations"),
      reports.files_missing > 0
          ? fmt::format(" ({} missing: empty groups)",
                        counted(reports.files_missing, "template file", "template files"))
          : "");
  for (const std::string& note : reports.notes) log << " note:     " << note << "\n";
  const auto not_utf8 = std::count_if(reports.ids.begin(), reports.ids.end(),
                                      [](const std::string& id) { return !is_utf8(id); });
  if (not_utf8 > 0) {
    log << fmt::format(
        " note:     {} not UTF-8, read as ISO-8859-1 (Latin-1) and written in UTF-8\n",
        counted(not_utf8, "station identifier", "station identifiers"));
  }
  log << fmt::format(" layout    {}, time in {} ({})\n",
                     plan.profiles     ? "timeSeriesProfile, ragged (stations indexed)"
                     : plan.orthogonal ? "timeSeries, orthogonal (station, time)"
                     : plan.why_ragged.empty()
                         ? "timeSeries, contiguous ragged"
                         : "timeSeries, contiguous ragged, as " + plan.why_ragged,
                     plan.time_units, plan.calendar);
}

}  // namespace

void run(const Options& options, std::ostream& log, std::ostream& diag) {
  const gradsin::StationDataSet data = gradsin::read_control(options.control);
  const std::string path = output_path(options);
  const std::size_t slash = path.find_last_of('/');
  const std::string prefix = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string history =
      fmt::format("grads2cf {}: converted from {}", D2G_VERSION, options.control);

  log << fmt::format(" input     {}: {} ({} surface), {} from {} step {}\n", options.control,
                     counted(data.vars.size(), "variable", "variables"), data.surface_vars,
                     counted(data.ntime, "time group", "time groups"),
                     cftime::grads_time(data.start), cftime::step_text(data.step));
  const OutputDir output(prefix, name, kDataUnit);
  require_creatable(output, name, kDataUnit);
  if (options.check) {
    const Survey found = survey(data);
    const gradsin::ScanSummary& reports = found.stations;
    const CfPlan plan = plan_cf(data, found, options.layout);
    log_plan(log, found, plan);
    require_replaceable(output, name, kDataUnit);
    log << fmt::format(" --check: nothing written; a run would write {}:\n", path);
    const int64_t levels = found.level_groups;
    const std::string dims =
        plan.profiles ? fmt::format("station = {}, profile = {}, obs = {}", reports.ids.size(),
                                    reports.reports, levels)
        : plan.orthogonal
            ? fmt::format("station = {}, time = {}", reports.ids.size(), data.ntime)
            : fmt::format("station = {}, obs = {}", reports.ids.size(), reports.reports);
    log << "   dimensions: " << dims << "\n   variables: station_id lat lon time";
    for (const gradsin::VarDecl& var : data.vars) {
      const auto cf_name = var.attributes.find("cf_name");
      log << " " << (cf_name != var.attributes.end() ? cf_name->second : var.name);
    }
    log << "\n";
    return;
  }
  block_interrupt_signals();
  const OutputLock lock(output, name, kDataUnit, diag);
  remove_stale_temporaries(output, {name});
  PendingFile file(output, name, kDataUnit);
  file.finish();
  const std::string temp = output.path(file.temp_name());
  // Surface data that may fit the orthogonal layout are written in one reading; where they do
  // not, the file is written anew from a survey of the reports.
  std::optional<Survey> found;
  CfPlan plan;
  if (options.layout != Layout::kRagged && data.vars.size() == data.surface_vars) {
    plan = plan_cf(data, Survey{}, Layout::kOrthogonal);
    found = write_orthogonal_at_once(temp, data, plan, history, options.layout == Layout::kAuto);
  }
  if (!found) {
    found = survey(data);
    plan = plan_cf(data, *found, options.layout);
    write_cf(temp, data, *found, plan, history);
  }
  log_plan(log, *found, plan);
  stop_if_interrupted();
  ProductSwap swap(output);
  swap.put(file);
  swap.complete(nullptr);
  log << fmt::format(" wrote     {}\n", path);
}

}  // namespace d2g::grads2cf
