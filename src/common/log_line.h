// Progress log lines: one blank, then the items back to back. Text items print at their full
// length; integers are right-aligned in 12 characters.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace d2g {

class LogLine {
 public:
  LogLine& text(std::string_view item);
  LogLine& integer(int64_t item);
  // The rendered line, without its line feed.
  const std::string& str() const { return line_; }

 private:
  std::string line_ = " ";
};

// Writes the line followed by a line feed.
std::ostream& operator<<(std::ostream& out, const LogLine& line);

}  // namespace d2g
