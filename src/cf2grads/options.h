// What a cf2grads run was asked to do.
#pragma once

#include <string>
#include <vector>

#include "gradsout/report_encoding.h"

namespace d2g::cf2grads {

enum class Split { kNone, kYear, kMonth };

struct Options {
  std::vector<std::string> inputs;
  std::string output_dir;
  std::string name;               // empty: the first input's base name
  std::vector<std::string> vars;  // empty: every data variable
  std::string step;               // empty: the times' greatest common step
  std::string station_ids;        // empty: the cf_role variable; "number"; or a variable
  float undef = -999.0f;
  ByteOrder byte_order = ByteOrder::kLittle;
  Split split = Split::kNone;
  bool check = false;
  bool sync = false;
  bool quiet = false;
};

}  // namespace d2g::cf2grads
