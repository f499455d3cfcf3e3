#include "driver/product_descriptions.h"

#include <fmt/format.h>

#include <cctype>

#include "cftime/cf_time.h"
#include "common/fatal_error.h"
#include "driver/monthly_products.h"
#include "driver/product_table.h"

namespace d2g {

namespace {

constexpr const char* kMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "June",     "July",     "August",
                                       "September", "October",  "November", "December"};

// The statistic's own words for a product.
std::string statistic(const std::string& product) {
  static const std::map<std::string, const char*> kDirect = {
      {"Num_Dr_Mon", "Number of drought months"},
      {"Sensl", "Sen slope of the number of drought months"},
      {"Prob", "Probability of the Sen slope"},
      {"Spell_Ave", "Average drought spell length"},
      {"Spell_Max", "Longest drought spell"},
      {"Time_Arr_Ave", "Average drought arrival time"},
      {"Time_Arr_Max", "Longest drought arrival time"},
  };
  if (const auto at = kDirect.find(product); at != kDirect.end()) return at->second;
  const std::string what =
      product.rfind("Fre_", 0) == 0 ? "Drought frequency" : "Drought magnitude";
  if (is_seasonal_product(product)) {
    // Fre_scpdsi_sev: "Drought frequency by month, scpdsi sev".
    std::string combination = product.substr(4);
    combination[combination.rfind('_')] = ' ';
    return fmt::format("{} by month, {}", what, combination);
  }
  const int month = std::stoi(product.substr(4));
  return fmt::format("{} in {}, by drought index and severity", what, kMonthNames[month - 1]);
}

// The read behind a product's values (and its attributes).
const LoadedVariable* source(const std::string& product,
                             const std::vector<LoadedVariable>& loaded) {
  static const std::map<std::string, std::size_t> kDirect = {
      {"Num_Dr_Mon", 0}, {"Sensl", 1},        {"Prob", 2},         {"Spell_Ave", 3},
      {"Spell_Max", 4},  {"Time_Arr_Ave", 5}, {"Time_Arr_Max", 6},
  };
  std::size_t at = 0;
  if (const auto direct = kDirect.find(product); direct != kDirect.end()) {
    at = direct->second;
  } else if (is_seasonal_product(product)) {
    for (std::size_t r = 0; r < loaded.size(); ++r) {
      if (loaded[r].name == product) return &loaded[r];
    }
    return nullptr;
  } else {
    at = product.rfind("Fre_", 0) == 0 ? 7 : 8;  // the first frequency and magnitude reads
  }
  return at < loaded.size() ? &loaded[at] : nullptr;
}

bool has_since(const std::string& units) {
  std::string lower;
  for (char c : units) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find(" since ") != std::string::npos || lower.find(" after ") != std::string::npos;
}

void add_time_axis(ControlDescription& description, const LoadedVariable& read) {
  if (read.axis_values.empty() || !has_since(read.axis_units)) return;
  try {
    const cftime::Calendar calendar = cftime::parse_calendar(read.axis_calendar);
    const cftime::GradsAxis axis =
        cftime::grads_axis(read.axis_values, cftime::parse_time_units(read.axis_units), calendar);
    description.tdef_start = cftime::grads_time(axis.start);
    description.tdef_step = axis.step;
    description.calendar_365_day = cftime::needs_365_day_option(calendar);
  } catch (const cftime::CfTimeError& error) {
    throw FatalError::bad_input(read.file, fmt::format("variable \"{}\": {} (--time-axis cf)",
                                                       read.axis_variable, error.what()));
  }
}

}  // namespace

ProductDescriptions describe_products(const std::vector<std::string>& products,
                                      const std::vector<LoadedVariable>& loaded,
                                      const Options& options) {
  ProductDescriptions descriptions;
  if (!options.time_axis_cf && !options.describe) return descriptions;
  for (const std::string& product : products) {
    const LoadedVariable* read = source(product, loaded);
    ControlDescription description;
    const bool own_axis = product == "Num_Dr_Mon" || product == "Sensl" || product == "Prob";
    if (options.time_axis_cf && own_axis && read != nullptr) add_time_axis(description, *read);
    if (options.describe) {
      const std::string words = statistic(product);
      // A variable's long_name speaks for the product only where the product is that variable.
      const bool one_variable = own_axis || product.rfind("Spell", 0) == 0 ||
                                product.rfind("Time_Arr", 0) == 0 || is_seasonal_product(product);
      description.title = read != nullptr && !read->title.empty() ? read->title : words;
      description.description =
          one_variable && read != nullptr && !read->long_name.empty() ? read->long_name : words;
      if (read != nullptr && !read->units.empty()) {
        description.attributes.emplace_back("units", read->units);
      }
      description.attributes.emplace_back("long_name", description.description);
    }
    descriptions.emplace(product, std::move(description));
  }
  return descriptions;
}

}  // namespace d2g
