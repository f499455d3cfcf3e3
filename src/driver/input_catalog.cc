#include "driver/input_catalog.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

#include "ncinput/nc_file.h"
#include "ncinput/variable.h"

namespace d2g {

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// Edits (insertions, deletions, substitutions) between two names, ignoring case.
std::size_t distance(const std::string& a_text, const std::string& b_text) {
  const std::string a = lower(a_text), b = lower(b_text);
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// "A, B, C and 7 more" (at most eight names), "no numeric variable" for none.
std::string short_list(const std::vector<std::string>& names) {
  if (names.empty()) return "no numeric variable";
  constexpr std::size_t kShown = 8;
  std::string text;
  for (std::size_t i = 0; i < names.size() && i < kShown; ++i) {
    text += (i == 0 ? "" : ", ") + names[i];
  }
  if (names.size() > kShown) text += fmt::format(" and {} more", names.size() - kShown);
  return text;
}

}  // namespace

InputCatalog::InputCatalog(std::vector<std::string> files, const std::string& hint,
                           int32_t& status) {
  for (std::string& path : files) {
    try {
      NcFile file(path, status);
      files_.push_back({path, variable_names(file, false), variable_names(file, true)});
      file.close(status);
    } catch (const FatalError& error) {
      if (hint.empty() || error.exit_status() != 1) throw;
      throw FatalError::bad_input(
          path,
          std::string(error.what()).substr(std::string("error: " + path + ": ").size()) + hint);
    }
  }
}

std::optional<std::string> InputCatalog::file_of(const std::string& name) const {
  for (const File& file : files_) {
    if (std::find(file.variables.begin(), file.variables.end(), name) != file.variables.end()) {
      return file.path;
    }
  }
  return std::nullopt;
}

FatalError InputCatalog::missing(const std::string& name, const std::string& alternative) const {
  std::string paths, holdings;
  std::string closest, closest_file;
  std::size_t best = 0;
  for (const File& file : files_) {
    paths += (paths.empty() ? "" : ", ") + file.path;
    holdings += fmt::format("{}{} holds {}", holdings.empty() ? "" : "; ", file.path,
                            short_list(file.numeric));
    for (const std::string& candidate : file.variables) {
      for (const std::string& wanted : {name, alternative}) {
        if (wanted.empty()) continue;
        const std::size_t d = distance(wanted, candidate);
        if (d <= std::max<std::size_t>(2, wanted.size() / 3) && (closest.empty() || d < best)) {
          closest = candidate;
          closest_file = file.path;
          best = d;
        }
      }
    }
  }
  const std::string wanted = alternative.empty()
                                 ? fmt::format("variable \"{}\"", name)
                                 : fmt::format("variable \"{}\" (nor \"{}\")", name, alternative);
  std::string what = files_.size() == 1
                         ? fmt::format("{} is not in this file, which holds {}", wanted,
                                       short_list(files_.front().numeric))
                         : fmt::format("{} is in none of these files: {}", wanted, holdings);
  if (!closest.empty()) {
    what += files_.size() == 1
                ? fmt::format("; the closest name is \"{}\"", closest)
                : fmt::format("; the closest name is \"{}\", in {}", closest, closest_file);
  }
  return FatalError::bad_input(paths, what);
}

}  // namespace d2g
