#include "gradsout/grads_names.h"

#include <cctype>
#include <set>

namespace d2g {

std::vector<std::string> grads_variable_names(const std::vector<std::string>& names) {
  std::vector<std::string> out;
  std::set<std::string> used;
  for (const std::string& name : names) {
    std::string valid;
    for (char c : name) {
      const unsigned char u = static_cast<unsigned char>(c);
      valid += std::isalnum(u) && u < 128 ? static_cast<char>(std::tolower(u)) : '_';
    }
    if (valid.empty() || !std::isalpha(static_cast<unsigned char>(valid[0]))) valid = "v" + valid;
    if (valid.size() > kLongestVariableName) valid.resize(kLongestVariableName);
    if (valid == "lat" || valid == "lon" || valid == "lev") valid += "_";
    std::string unique = valid;
    for (int n = 2; used.count(unique) > 0; ++n) {
      const std::string suffix = "_" + std::to_string(n);
      unique = valid.substr(0, kLongestVariableName - suffix.size()) + suffix;
    }
    used.insert(unique);
    out.push_back(unique);
  }
  return out;
}

std::string unusable_station_id(const std::string& id) {
  if (id.empty()) return "it is empty";
  if (id.size() > 8) return "it is longer than 8 characters";
  for (char c : id) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == ' ' || u < 32 || u == 127) return "it holds a blank or a control character";
    if (std::string_view(",();'\"").find(c) != std::string_view::npos) {
      return std::string("it holds \"") + c + "\"";
    }
    if (u >= 128) return "it holds a character beyond ASCII";
  }
  return "";
}

}  // namespace d2g
