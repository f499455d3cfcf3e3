#include "common/interruption.h"

#include <signal.h>
#include <unistd.h>

#include <string>

#include "common/fatal_error.h"
#include "common/program_name.h"

namespace d2g {

namespace {

sigset_t interrupt_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signal);
  return set;
}

// The messages, prepared before a signal comes: a handler may only write and exit.
std::string interruption_messages[3];

int message_slot(int signal) { return signal == SIGINT ? 0 : signal == SIGTERM ? 1 : 2; }

void exit_now(int signal) {
  const std::string& message = interruption_messages[message_slot(signal)];
  (void)!::write(STDERR_FILENO, message.data(), message.size());
  ::_exit(128 + signal);
}

}  // namespace

void exit_at_once_on_interrupt() {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    interruption_messages[message_slot(signal)] =
        message_prefix() + FatalError::interrupted(signal).what() + "\n";
    struct sigaction action {};
    action.sa_handler = exit_now;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
  }
  const sigset_t set = interrupt_signals();
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

void block_interrupt_signals() {
  const sigset_t set = interrupt_signals();
  sigprocmask(SIG_BLOCK, &set, nullptr);
}

void stop_if_interrupted() {
  sigset_t pending;
  if (sigpending(&pending) != 0) return;
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    if (sigismember(&pending, signal) == 1) throw FatalError::interrupted(signal);
  }
}

}  // namespace d2g
