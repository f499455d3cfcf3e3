// Interruption. While a run only reads (the load phase, --check), SIGINT, SIGTERM and SIGHUP end
// it at once: nothing has been written, and a library call may take long or never return on a
// damaged file. While it replaces products, main's run blocks them and looks for a pending one
// between products, stopping there through the usual error path, so that an interrupted run
// leaves no temporary file and no product half-replaced.
#pragma once

namespace d2g {

// Makes SIGINT, SIGTERM and SIGHUP end the process at once with status 128 + the signal's
// number, after the interruption message on standard error.
void exit_at_once_on_interrupt();

// Holds SIGINT, SIGTERM and SIGHUP pending instead of letting them end the process at once.
void block_interrupt_signals();

// Throws FatalError (exit status 128 + the signal's number) if one of them is pending.
void stop_if_interrupted();

}  // namespace d2g
