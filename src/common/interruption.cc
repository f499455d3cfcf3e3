#include "common/interruption.h"

#include <signal.h>

#include "common/fatal_error.h"

namespace d2g {

namespace {

sigset_t interrupt_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, signal);
  return set;
}

}  // namespace

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
