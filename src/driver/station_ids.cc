#include "driver/station_ids.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

#include "common/fatal_error.h"
#include "ncinput/identifiers.h"

namespace d2g {

namespace {

std::vector<StationLabel> labels_of(const std::vector<std::string>& ids) {
  std::vector<StationLabel> labels(ids.size());
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const std::string label = fixed_width(ids[i], kStationLabelWidth);
    std::copy(label.begin(), label.end(), labels[i].begin());
  }
  return labels;
}

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::vector<StationLabel> labels_from_variable(const Options& options, const std::string& varname,
                                               const std::string& station_dim, int32_t nstn,
                                               int32_t& status, std::ostream& diag) {
  std::vector<std::string> ids =
      read_identifiers(options.stations, varname, station_dim, nstn, status);
  auto fail = [&](const std::string& what) {
    return FatalError::bad_input(options.stations,
                                 fmt::format("variable \"{}\": {}", varname, what));
  };
  if (static_cast<int64_t>(ids.size()) != nstn) {
    throw fail(fmt::format("has {} identifiers; {} expected, one per station", ids.size(), nstn));
  }
  std::vector<std::string> problems;
  std::map<std::string, std::size_t> first_of;  // lower-cased identifier -> station index
  int long_ids = 0;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    ids[i] = trimmed(ids[i]);
    const std::string problem = identifier_problem(ids[i]);
    if (!problem.empty()) {
      problems.push_back(fmt::format("station {} \"{}\" ({})", i + 1, ids[i], problem));
      continue;
    }
    long_ids += ids[i].size() > 7;
    const auto [at, inserted] = first_of.emplace(lower(ids[i]), i);
    if (!inserted) {
      problems.push_back(
          fmt::format("stations {} and {} \"{}\" and \"{}\" (the same to GrADS, "
                      "which ignores case)",
                      at->second + 1, i + 1, ids[at->second], ids[i]));
    }
  }
  if (!problems.empty()) {
    std::string list;
    for (std::size_t p = 0; p < problems.size() && p < 5; ++p) {
      list += (p == 0 ? "" : "; ") + problems[p];
    }
    if (problems.size() > 5) list += fmt::format("; and {} more", problems.size() - 5);
    throw fail("identifiers GrADS cannot use: " + list +
               ". Give --station-ids number to number the stations 1, 2, ... instead, or "
               "--station-ids VAR to take them from another variable");
  }
  if (long_ids > 0) {
    diag << fmt::format(
        "drought2grads: warning: {}: variable \"{}\": {} station identifier{} 8 characters; "
        "some GrADS displays show only 7\n",
        options.stations, varname, long_ids, long_ids == 1 ? " has" : "s have");
  }
  return labels_of(ids);
}

}  // namespace

std::string identifier_problem(const std::string& id) {
  if (id.empty()) return "empty";
  if (id.size() > 8) return "more than 8 characters";
  for (char c : id) {
    if (c == ' ' || c == '\t') return "a blank inside";
    if (c == ',') return "a comma";
    if (c == '(' || c == ')') return "a parenthesis";
    // GrADS ends a command at a semicolon, and a double quote ends a script's string.
    if (c == ';') return "a semicolon";
    if (c == '"') return "a double quote";
    if (c < 0x21 || c > 0x7e) return "a character that is not printable ASCII";
  }
  return "";
}

std::vector<StationLabel> station_labels(const Options& options, const std::string& station_dim,
                                         int32_t nstn, int32_t& status, std::ostream& diag) {
  if (options.station_ids == kLegacyIds) return make_station_labels(nstn);
  std::optional<std::string> variable;
  if (options.station_ids.empty()) {
    variable = find_timeseries_id(options.stations, status);
  } else if (options.station_ids != kNumberedIds) {
    variable = options.station_ids;
  }
  if (variable) return labels_from_variable(options, *variable, station_dim, nstn, status, diag);
  std::vector<std::string> numbers;
  for (int32_t i = 1; i <= nstn; ++i) numbers.push_back(std::to_string(i));
  return labels_of(numbers);
}

}  // namespace d2g
