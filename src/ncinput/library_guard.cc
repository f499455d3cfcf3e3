#include "ncinput/library_guard.h"

#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <string>

#include "common/program_name.h"

namespace d2g {

namespace {

// What the handler prints, prepared before any crash: a handler may only write and exit.
constexpr std::size_t kMessageBytes = 8192;
char crash_message[kMessageBytes];
volatile sig_atomic_t crash_message_length = 0;
std::string current_input;

char out_of_memory_message[128];
std::size_t out_of_memory_length = 0;
constexpr std::size_t kHeadroomBytes = std::size_t{32} << 20;

void prepare_message(const std::string& path) {
  crash_message_length = 0;
  if (path.empty()) return;
  const std::string text = message_prefix() + "error: " + path +
                           ": the netCDF library crashed reading this file; it is damaged or "
                           "not a netCDF file\n";
  const std::size_t length = text.size() < kMessageBytes ? text.size() : kMessageBytes;
  memcpy(crash_message, text.data(), length);
  crash_message_length = static_cast<sig_atomic_t>(length);
}

void on_crash(int signal) {
  if (crash_message_length == 0) {
    // Not in the libraries: the program's own fault, which should crash as it would.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigaction(signal, &action, nullptr);
    raise(signal);
    return;
  }
  if (address_space_exhausted()) {
    (void)!write(STDERR_FILENO, out_of_memory_message, out_of_memory_length);
    _exit(41);
  }
  (void)!write(STDERR_FILENO, crash_message, static_cast<std::size_t>(crash_message_length));
  _exit(1);
}

}  // namespace

bool address_space_exhausted() {
  // An address-space reservation costs no memory, and fails where the limit is near.
  void* at =
      mmap(nullptr, kHeadroomBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (at == MAP_FAILED) return true;
  munmap(at, kHeadroomBytes);
  return false;
}

void install_library_crash_handlers() {
  const std::string out_of_memory = message_prefix() + "severe (41): insufficient virtual memory\n";
  out_of_memory_length = std::min(out_of_memory.size(), sizeof out_of_memory_message);
  memcpy(out_of_memory_message, out_of_memory.data(), out_of_memory_length);
  // The handler runs on a stack of its own: a crash may come from a stack overflow.
  static char stack[64 * 1024];
  stack_t alternate{};
  alternate.ss_sp = stack;
  alternate.ss_size = sizeof stack;
  sigaltstack(&alternate, nullptr);
  struct sigaction action {};
  action.sa_handler = on_crash;
  action.sa_flags = SA_ONSTACK | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) sigaction(signal, &action, nullptr);
}

LibraryInput::LibraryInput(const std::string& path) : previous_(current_input) {
  current_input = path;
  prepare_message(current_input);
}

LibraryInput::~LibraryInput() {
  current_input = previous_;
  prepare_message(current_input);
}

}  // namespace d2g
