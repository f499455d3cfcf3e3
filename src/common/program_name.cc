#include "common/program_name.h"

namespace d2g {

namespace {

std::string& name_slot() {
  static std::string name = "drought2grads";
  return name;
}

}  // namespace

void set_program_name(const char* name) { name_slot() = name; }

const std::string& program_name() { return name_slot(); }

std::string message_prefix() { return name_slot() + ": "; }

}  // namespace d2g
