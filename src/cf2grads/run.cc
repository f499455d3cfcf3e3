#include "cf2grads/run.h"

#include <dirent.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include <memory>
#include <set>

#include "cf2grads/data_set.h"
#include "cf2grads/reports.h"
#include "common/fatal_error.h"
#include "common/interruption.h"
#include "gradsout/file_reaper.h"
#include "gradsout/output_dir.h"
#include "gradsout/output_lock.h"
#include "gradsout/pending_file.h"
#include "gradsout/product_commit.h"
#include "gradsout/station_control.h"
#include "gradsout/station_map.h"

namespace d2g::cf2grads {

namespace {

constexpr int kStationTableUnit = 2003;

std::string base_name(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  const std::size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

// RFC 4180: a field with a comma, a quote or a line break is quoted, its quotes doubled.
std::string csv_field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

std::string station_table(const DataSet& data) {
  std::string text = "grads_id,station_id,lat,lon\r\n";
  for (const Station& s : data.stations) {
    text += fmt::format("{},{},{},{}\r\n", csv_field(s.grads_id), csv_field(s.source_id),
                        static_cast<float>(s.lat), static_cast<float>(s.lon));
  }
  return text;
}

// The file of time group g: one for all, or one per year or month.
std::string data_file_name(const DataSet& data, const std::string& name, Split split, int64_t g) {
  if (split == Split::kNone) return name + ".dat";
  const cftime::CivilTime t = cftime::civil_time(data.grid->group_time(g), data.calendar);
  if (split == Split::kYear) return fmt::format("{}_{:04d}.dat", name, t.year);
  return fmt::format("{}_{:04d}{:02d}.dat", name, t.year, t.month);
}

StationControl control_of(const DataSet& data, const Options& options, const std::string& name) {
  StationControl control;
  control.dset = options.split == Split::kNone   ? "^" + name + ".dat"
                 : options.split == Split::kYear ? "^" + name + "_%y4.dat"
                                                 : "^" + name + "_%y4%m2.dat";
  control.stnmap = "^" + name + ".dat.map";
  control.undef = options.undef;
  control.title = data.title.empty() ? name : data.title;
  control.options.push_back(options.byte_order == ByteOrder::kBig ? "big_endian" : "little_endian");
  if (options.split != Split::kNone) control.options.push_back("template");
  if (cftime::needs_365_day_option(data.calendar)) control.options.push_back("365_day_calendar");
  control.ntime = data.ngroups;
  control.tdef_start = cftime::grads_time(data.grid->start());
  control.tdef_step = cftime::step_text(data.step);
  for (const DataVar& var : data.vars) {
    ControlVariable out;
    out.name = var.grads_name;
    out.on_levels = var.on_levels;
    out.description = !var.long_name.empty()       ? var.long_name
                      : !var.standard_name.empty() ? var.standard_name
                                                   : var.cf_name;
    if (!var.units.empty()) out.attributes.emplace_back("units", var.units);
    if (!var.long_name.empty()) out.attributes.emplace_back("long_name", var.long_name);
    if (!var.standard_name.empty()) out.attributes.emplace_back("standard_name", var.standard_name);
    if (var.cf_name != var.grads_name) out.attributes.emplace_back("cf_name", var.cf_name);
    control.vars.push_back(std::move(out));
  }
  return control;
}

// Data files an earlier run of another --split left: NAME.dat, NAME_YYYY.dat, NAME_YYYYMM.dat.
std::vector<std::string> other_data_files(const OutputDir& output, const std::string& name,
                                          const std::set<std::string>& keep) {
  std::vector<std::string> found;
  const int fd = ::openat(output.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return found;
  DIR* dir = ::fdopendir(fd);
  if (dir == nullptr) {
    ::close(fd);
    return found;
  }
  while (const dirent* entry = ::readdir(dir)) {
    const std::string file = entry->d_name;
    if (keep.count(file) > 0 || file.size() < name.size() + 4) continue;
    if (file == name + ".dat") {
      found.push_back(file);
      continue;
    }
    if (file.compare(0, name.size() + 1, name + "_") != 0 ||
        file.compare(file.size() - 4, 4, ".dat") != 0) {
      continue;
    }
    const std::string digits = file.substr(name.size() + 1, file.size() - name.size() - 5);
    if ((digits.size() == 4 || digits.size() == 6) &&
        digits.find_first_not_of("0123456789") == std::string::npos) {
      found.push_back(file);
    }
  }
  ::closedir(dir);
  return found;
}

}  // namespace

void run(const Options& options, std::ostream& log, std::ostream& diag) {
  DataSet data = load_data_set(options);
  const std::string name = options.name.empty() ? base_name(options.inputs.front()) : options.name;
  if (name.empty() || name.find_first_of(" \t\n") != std::string::npos) {
    throw FatalError::bad_input(options.inputs.front(),
                                "no product name can be made of its name: give --name");
  }
  const std::string prefix =
      options.output_dir.back() == '/' ? options.output_dir : options.output_dir + "/";
  const std::string control_name = name + ".ctl";
  const std::string map_name = name + ".dat.map";
  const std::string table_name = name + ".stations.csv";
  const std::string first_data = data_file_name(data, name, options.split, 0);

  // What the log says of the inputs.
  for (const cf::FeatureData& f : data.files) {
    log << fmt::format(
        " input     {}: {}, {}, {} station{}\n", f.path,
        f.layout.feature == cf::FeatureType::kTimeSeries ? "timeSeries" : "timeSeriesProfile",
        f.layout.representation, f.layout.nstation, f.layout.nstation == 1 ? "" : "s");
  }
  for (const std::string& note : data.notes) log << " note:     " << note << "\n";
  for (const DataVar& var : data.vars) {
    log << fmt::format(" variable  {:<15} {} from {}\n", var.grads_name,
                       var.on_levels ? "levels " : "surface", var.cf_name);
  }
  log << fmt::format(" time      {} groups from {} step {}\n", data.ngroups,
                     cftime::grads_time(data.grid->start()), cftime::step_text(data.step));
  log << fmt::format(" stations  {}{}\n", data.stations.size(),
                     data.numbered ? fmt::format(", numbered 1 ... {} ({}); the numbers are "
                                                 "mapped in {}",
                                                 data.stations.size(), data.id_note, table_name)
                                   : "");

  const OutputDir output(prefix, first_data, kDataUnit);
  require_creatable(output, first_data, kDataUnit);
  const std::string control = station_control_text(control_of(data, options, name));

  WriteBuffer buffer;
  ReportStream stream(options.byte_order, buffer);
  std::vector<std::unique_ptr<PendingFile>> data_files;
  std::vector<std::string> data_names;
  const bool writing = !options.check;
  auto too_large = [&](const std::string& file) {
    return FatalError::bad_input(
        output.path(file),
        "the data file would pass 2 GiB, beyond the offsets a station map can hold: give "
        "--split year (or month)");
  };
  auto before_group = [&](int64_t g) {
    const std::string file = data_file_name(data, name, options.split, g);
    if (data_names.empty() || data_names.back() != file) {
      stream.flush();
      data_names.push_back(file);
      if (writing) {
        data_files.push_back(std::make_unique<PendingFile>(output, file, kDataUnit, options.sync));
        stream.start_file(data_files.back().get());
      } else {
        stream.start_file(nullptr);
      }
    }
    if (stream.file_bytes() > kLargestMapOffset) throw too_large(file);
  };

  std::optional<OutputLock> lock;
  std::optional<FileReaper> reaper;
  if (writing) {
    // From here on signals wait for the next safe point; and this run owns the directory.
    block_interrupt_signals();
    lock.emplace(output, first_data, kDataUnit, diag);
    reaper.emplace();
    std::set<std::string> names = {control_name, map_name, table_name, name + ".dat"};
    for (int64_t g = 0; options.split != Split::kNone && g < data.ngroups; ++g) {
      names.insert(data_file_name(data, name, options.split, g));
    }
    remove_stale_temporaries(output, std::vector<std::string>(names.begin(), names.end()));
  }
  require_replaceable(output, control_name, kControlUnit);
  require_replaceable(output, map_name, kMapUnit);
  require_replaceable(output, table_name, kStationTableUnit);

  const ReportTally tally = write_reports(data, options.undef, stream, before_group);
  stream.flush();
  const std::vector<char> map =
      station_map_bytes(stream.index().offsets, stream.index().reports, stream.index().most_values);
  const int64_t no_time = data.no_time + tally.no_time;
  const int64_t no_position = data.no_position + tally.no_position;
  const int64_t no_value = data.no_value + tally.no_value;
  const int64_t left_out = no_time + no_position + data.no_id + no_value;
  log << fmt::format(" reports   {} in {} time groups ({} empty)\n", tally.reports, data.ngroups,
                     tally.empty_groups);
  if (left_out > 0) {
    log << fmt::format(
        " left out  {} of {} observations: {} without a time, {} without a "
        "position, {} without a station or identifier, {} with every value missing\n",
        left_out, data.observations, no_time, no_position, data.no_id, no_value);
  }

  if (options.check) {
    const OutputLock probe(output, first_data, kDataUnit, diag, OutputLock::Wait::kNever);
    for (const std::string& file : data_names) require_replaceable(output, file, kDataUnit);
    log << fmt::format(" --check: nothing written; a run would write into {}:\n",
                       absolute_path(prefix));
    for (const std::string& file : data_names) log << "   " << file << "\n";
    log << "   " << map_name << " (" << map.size() << " bytes)\n   " << control_name << ":\n";
    std::size_t from = 0;
    while (from < control.size()) {
      const std::size_t end = control.find('\n', from);
      log << "     " << control.substr(from, end - from) << "\n";
      from = end + 1;
    }
    if (data.numbered) log << "   " << table_name << "\n";
    if (!probe.held()) log << "   (another run is writing into it now: a run would wait)\n";
    return;
  }

  std::optional<PendingFile> table;
  if (data.numbered) {
    const std::string text = station_table(data);
    table.emplace(output, table_name, kStationTableUnit, options.sync);
    table->write(text.data(), text.size());
    table->finish();
  }
  for (auto& file : data_files) file->finish();
  stop_if_interrupted();

  ProductCommit commit;
  commit.product = name;
  for (auto& file : data_files) commit.data.push_back(file.get());
  if (table) commit.data.push_back(&*table);
  commit.control_name = control_name;
  commit.control = control;
  commit.map_name = map_name;
  commit.map = map;
  const std::set<std::string> keep(data_names.begin(), data_names.end());
  commit.withdrawn = other_data_files(output, name, keep);
  if (!data.numbered) commit.withdrawn.push_back(table_name);
  CommitSettings settings;
  settings.durable = options.sync;
  settings.reaper = &*reaper;
  commit_product(output, commit, settings);
  log << fmt::format(" wrote     {}{}{}, {}, {}{}\n", prefix, data_names.front(),
                     data_names.size() > 1
                         ? fmt::format(" ... {} ({} files)", data_names.back(), data_names.size())
                         : "",
                     control_name, map_name, data.numbered ? ", " + table_name : "");
}

}  // namespace d2g::cf2grads
