// The netCDF and HDF5 libraries crash on some damaged files and, short of memory, may crash or
// fail with unrelated errors. While a file is open through NcFile, a crash in them ends the run
// with a message naming that file (status 1) or, when the address space is exhausted, with
// "severe (41): insufficient virtual memory", instead of a signal and no word.
#pragma once

#include <string>

namespace d2g {

// Installs the handlers for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT. A crash while no input
// is open is the program's own and ends it as it would without them.
void install_library_crash_handlers();

// Whether the address space is nearly exhausted (under `ulimit -v`): then a failing library call
// is taken to have run out of memory.
bool address_space_exhausted();

// Marks `path` as the input the libraries are working on, for as long as the object lives.
class LibraryInput {
 public:
  explicit LibraryInput(const std::string& path);
  ~LibraryInput();
  LibraryInput(const LibraryInput&) = delete;
  LibraryInput& operator=(const LibraryInput&) = delete;

 private:
  std::string previous_;
};

}  // namespace d2g
