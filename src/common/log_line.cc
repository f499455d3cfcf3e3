#include "common/log_line.h"

#include <fmt/format.h>

namespace d2g {

LogLine& LogLine::text(std::string_view item) {
  line_.append(item);
  return *this;
}

LogLine& LogLine::integer(int64_t item) {
  fmt::format_to(std::back_inserter(line_), "{:>12}", item);
  return *this;
}

std::ostream& operator<<(std::ostream& out, const LogLine& line) {
  return out << line.str() << '\n';
}

}  // namespace d2g
