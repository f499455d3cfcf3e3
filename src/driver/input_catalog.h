// InputCatalog: the result files of a run and which variables each holds. The result variables
// are looked up by name in the files in the order given, the first file holding a name winning,
// so that one file or any split of the variables over files works.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/fatal_error.h"

namespace d2g {

class InputCatalog {
 public:
  // Opens each of `files` once to list its variables; a file that cannot be opened ends the run.
  // `hint` is added to the message for a missing file.
  InputCatalog(std::vector<std::string> files, const std::string& hint, int32_t& status);

  // The first file holding a variable `name`, or nothing.
  std::optional<std::string> file_of(const std::string& name) const;

  // The error for `name` (or, when given, `alternative` as well) in none of the files: every
  // file searched, the numeric variables each holds, and the closest name where one is close.
  FatalError missing(const std::string& name, const std::string& alternative = "") const;

 private:
  struct File {
    std::string path;
    std::vector<std::string> variables;
    std::vector<std::string> numeric;
  };
  std::vector<File> files_;
};

}  // namespace d2g
