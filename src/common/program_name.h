// The name of the running program, as its messages begin ("drought2grads: ", "cf2grads: "):
// the libraries are shared by several programs, and each message names the one that wrote it.
#pragma once

#include <string>

namespace d2g {

// Set once by main before anything can fail; "drought2grads" until then.
void set_program_name(const char* name);
const std::string& program_name();
// "NAME: ", the start of every message line on standard error.
std::string message_prefix();

}  // namespace d2g
