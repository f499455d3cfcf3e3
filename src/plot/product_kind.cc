#include "plot/product_kind.h"

#include <fmt/format.h>

#include <array>
#include <cmath>
#include <regex>

namespace d2g::plot {

namespace {

constexpr std::array<const char*, 6> kIndexNames = {"PDSI",  "scPDSI", "SPI-1",
                                                    "SPI-3", "SPI-6",  "SPI-12"};
constexpr std::array<const char*, 6> kIndexKeys = {"pdsi",  "scpdsi", "spi01",
                                                   "spi03", "spi06",  "spi12"};
constexpr std::array<const char*, 3> kSeverityNames = {"moderate", "severe", "extreme"};
constexpr std::array<const char*, 3> kSeverityKeys = {"mod", "sev", "ext"};
constexpr std::array<const char*, 12> kMonths = {"January",   "February", "March",    "April",
                                                 "May",       "June",     "July",     "August",
                                                 "September", "October",  "November", "December"};

// drought2grads writes its step axes as twelve months from January 1980, which says nothing
// about time: such a product's steps are what its name says they are.
bool placeholder_axis(const gradsin::StationDataSet& data) {
  return data.start.year == 1980 && data.start.month == 1 && data.start.day == 1 &&
         data.start.hour == 0 && data.start.minute == 0 && data.step.months == 1 &&
         data.step.minutes == 0;
}

std::string base_name(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".ctl") == 0)
    name.resize(name.size() - 4);
  return name;
}

int index_position(const std::string& key) {
  for (std::size_t i = 0; i < kIndexKeys.size(); ++i) {
    if (key == kIndexKeys[i]) return static_cast<int>(i);
  }
  return -1;
}

int severity_position(const std::string& key) {
  for (std::size_t i = 0; i < kSeverityKeys.size(); ++i) {
    if (key == kSeverityKeys[i]) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

ProductKind product_kind(const gradsin::StationDataSet& data, const PlotField& field) {
  ProductKind kind;
  kind.name = base_name(data.control_path);
  for (const gradsin::VarDecl& var : data.vars) {
    if (var.name != field.var) continue;
    const auto found = var.attributes.find("units");
    if (found != var.attributes.end()) kind.units = found->second;
    const auto long_name = var.attributes.find("long_name");
    kind.quantity = long_name != var.attributes.end() ? long_name->second : var.description;
  }
  if (kind.quantity.empty()) kind.quantity = field.var;

  const bool steps = placeholder_axis(data);
  std::smatch match;
  const std::string& name = kind.name;
  if (name == "Num_Dr_Mon") {
    kind.quantity = "Number of drought months";
    if (steps && data.ntime == 18) kind.axis = StepAxis::kCombinations;
  } else if (name == "Sensl") {
    kind.quantity = "Sen slope";
    kind.palette = PaletteKind::kDiverging;
    if (steps && data.ntime == 6) kind.axis = StepAxis::kIndices;
  } else if (name == "Prob") {
    kind.quantity = "Significance of the Sen slope";
    kind.palette = PaletteKind::kSignificance;
    if (steps && data.ntime == 6) kind.axis = StepAxis::kIndices;
  } else if (name == "Spell_Ave" || name == "Spell_Max" || name == "Time_Arr_Ave" ||
             name == "Time_Arr_Max") {
    kind.quantity = name == "Spell_Ave"      ? "Average drought spell length"
                    : name == "Spell_Max"    ? "Longest drought spell"
                    : name == "Time_Arr_Ave" ? "Average drought arrival time"
                                             : "Longest drought arrival time";
    if (steps && data.ntime == 18) kind.axis = StepAxis::kCombinations;
  } else if (std::regex_match(name, match, std::regex("(Fre|Mag)_(0[1-9]|1[0-2])"))) {
    kind.quantity = fmt::format("{} drought {}", kMonths[std::stoi(match[2]) - 1],
                                match[1] == "Fre" ? "frequency" : "magnitude");
    if (steps && data.ntime == 18) kind.axis = StepAxis::kCombinations;
  } else if (std::regex_match(name, match, std::regex("(Fre|Mag)_([a-z0-9]+)_([a-z]+)")) &&
             index_position(match[2]) >= 0 && severity_position(match[3]) >= 0) {
    kind.quantity = fmt::format(
        "Drought {} of {} {} drought", match[1] == "Fre" ? "frequency" : "magnitude",
        kSeverityNames[severity_position(match[3])], kIndexNames[index_position(match[2])]);
    if (steps && data.ntime == 12) kind.axis = StepAxis::kMonths;
  } else if (steps && data.ntime == 12 && data.title == "Factor Analysis") {
    kind.axis = StepAxis::kMonths;
  }

  const bool drought_product = std::regex_match(
      name, std::regex("Num_Dr_Mon|Sensl|Prob|Spell_(Ave|Max)|Time_Arr_(Ave|Max)|(Fre|Mag)_.*"));
  if (steps && kind.axis == StepAxis::kTimes && drought_product) kind.axis = StepAxis::kSteps;

  // Signed values get a palette centred on zero; magnitudes written as negative numbers read
  // from their most negative end.
  bool negative = false, positive = false;
  for (float v : field.values) {
    if (std::isnan(v)) continue;
    negative = negative || v < 0;
    positive = positive || v > 0;
  }
  if (kind.palette == PaletteKind::kSequential && negative) {
    if (positive) {
      kind.palette = PaletteKind::kDiverging;
    } else {
      kind.smaller_is_more = name.rfind("Mag", 0) == 0;
    }
  }
  return kind;
}

std::string severity_name(int64_t t) { return kSeverityNames[static_cast<std::size_t>(t / 6 % 3)]; }

std::string step_tick_label(const ProductKind& kind, const gradsin::StationDataSet& data,
                            int64_t t) {
  switch (kind.axis) {
    case StepAxis::kCombinations:
    case StepAxis::kIndices:
      return kIndexNames[static_cast<std::size_t>(t % 6)];
    case StepAxis::kMonths:
      return std::string(kMonths[static_cast<std::size_t>(t % 12)]).substr(0, 3);
    case StepAxis::kSteps:
      return fmt::format("step {}", t + 1);
    case StepAxis::kTimes:
      break;
  }
  const cftime::CivilTime time = cftime::civil_time(data.group_time(t), data.calendar);
  const std::string month =
      std::string(kMonths[static_cast<std::size_t>(time.month - 1)]).substr(0, 3);
  if (data.step.months > 0 && data.step.months % 12 == 0 && time.month == 1 && time.day == 1) {
    return fmt::format("{}", time.year);
  }
  if (data.step.months > 0) return fmt::format("{} {}", month, time.year);
  if (data.step.minutes % 1440 == 0 && time.hour == 0 && time.minute == 0) {
    return fmt::format("{} {} {}", time.day, month, time.year);
  }
  return fmt::format("{} {} {} {:02}:{:02}", time.day, month, time.year, time.hour, time.minute);
}

std::string step_label(const ProductKind& kind, const gradsin::StationDataSet& data, int64_t t) {
  switch (kind.axis) {
    case StepAxis::kCombinations:
      return severity_name(t) + " " + step_tick_label(kind, data, t);
    case StepAxis::kMonths:
      return kMonths[static_cast<std::size_t>(t % 12)];
    default:
      return step_tick_label(kind, data, t);
  }
}

}  // namespace d2g::plot
