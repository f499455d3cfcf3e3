#include "driver/combination_labels.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>

#include "driver/monthly_products.h"

namespace d2g {

namespace {

// "PDSI", " Spi-01 " -> "pdsi", "spi01"; "pdsi mod", "pdsi-mod" -> "pdsi_mod".
std::string normalised(const std::string& label) {
  std::string text;
  for (char c : label) {
    const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    text += (lower == ' ' || lower == '-') ? '_' : lower;
  }
  const std::size_t first = text.find_first_not_of('_');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of('_') - first + 1);
}

std::optional<std::size_t> index_named(const std::string& text) {
  for (std::size_t i = 0; i < IDXSTR.size(); ++i) {
    if (text == IDXSTR[i]) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> severity_named(const std::string& text) {
  static const char* const kLong[] = {"moderate", "severe", "extreme"};
  for (std::size_t s = 0; s < SEVSTR.size(); ++s) {
    if (text == SEVSTR[s] || text == kLong[s]) return s;
  }
  return std::nullopt;
}

// "pdsi_mod" -> combination 0; "spi12_ext" -> 17.
std::optional<std::size_t> combination_named(const std::string& text) {
  const std::size_t cut = text.rfind('_');
  if (cut == std::string::npos) return std::nullopt;
  std::string index = text.substr(0, cut);
  while (!index.empty() && index.back() == '_') index.pop_back();
  const std::optional<std::size_t> i = index_named(index);
  const std::optional<std::size_t> s = severity_named(text.substr(cut + 1));
  if (!i || !s) return std::nullopt;
  return *s * IDXSTR.size() + *i;
}

std::string expected_names(LabelKind kind) {
  switch (kind) {
    case LabelKind::kIndex:
      return "pdsi, scpdsi, spi01, spi03, spi06, spi12";
    case LabelKind::kSeverity:
      return "mod, sev, ext (or moderate, severe, extreme)";
    case LabelKind::kCombination:
      return "an index and a severity, such as pdsi_mod or spi12 ext";
  }
  return "";
}

std::string canonical_name(LabelKind kind, std::size_t at) {
  switch (kind) {
    case LabelKind::kIndex:
      return IDXSTR[at];
    case LabelKind::kSeverity:
      return SEVSTR[at];
    case LabelKind::kCombination:
      return fmt::format("{}_{}", IDXSTR[at % IDXSTR.size()], SEVSTR[at / IDXSTR.size()]);
  }
  return "";
}

}  // namespace

std::size_t index_of_combination(int32_t k) { return static_cast<std::size_t>(k) % IDXSTR.size(); }

std::size_t severity_of_combination(int32_t k) {
  return static_cast<std::size_t>(k) / IDXSTR.size();
}

std::optional<LabelledDimension> labelled_dimension(const NcFile& file, const Variable& var,
                                                    std::size_t dim, bool strict) {
  const std::vector<std::string> labels = dimension_labels(file, var, dim);
  if (labels.empty()) return std::nullopt;
  const std::string& dim_name = var.dims[dim].full_name;
  auto fail = [&](const std::string& what) {
    return file.error(var.name, fmt::format("dimension \"{}\": {}", dim_name, what));
  };
  // The kind is the one the first label names.
  LabelledDimension found;
  found.dim = dim;
  const std::string first = normalised(labels.front());
  if (index_named(first)) {
    found.kind = LabelKind::kIndex;
  } else if (severity_named(first)) {
    found.kind = LabelKind::kSeverity;
  } else if (combination_named(first)) {
    found.kind = LabelKind::kCombination;
  } else if (!strict) {
    return std::nullopt;
  } else {
    throw fail(
        fmt::format("label \"{}\" names no drought index ({}), severity ({}) or "
                    "combination ({})",
                    labels.front(), expected_names(LabelKind::kIndex),
                    expected_names(LabelKind::kSeverity), expected_names(LabelKind::kCombination)));
  }
  const std::size_t expected = found.kind == LabelKind::kIndex      ? IDXSTR.size()
                               : found.kind == LabelKind::kSeverity ? SEVSTR.size()
                                                                    : kCombinations;
  const std::size_t absent = labels.size();
  found.position.assign(expected, absent);
  for (std::size_t at = 0; at < labels.size(); ++at) {
    const std::string text = normalised(labels[at]);
    const std::optional<std::size_t> which = found.kind == LabelKind::kIndex ? index_named(text)
                                             : found.kind == LabelKind::kSeverity
                                                 ? severity_named(text)
                                                 : combination_named(text);
    if (!which) {
      throw fail(
          fmt::format("label \"{}\" is not one of {}", labels[at], expected_names(found.kind)));
    }
    if (found.position[*which] != absent) {
      throw fail(fmt::format("label \"{}\" stands twice (at {} and {})", labels[at],
                             found.position[*which] + 1, at + 1));
    }
    found.position[*which] = at;
  }
  for (std::size_t which = 0; which < expected; ++which) {
    if (found.position[which] == absent) {
      throw fail(fmt::format("the label \"{}\" is missing", canonical_name(found.kind, which)));
    }
  }
  return found;
}

}  // namespace d2g
