// Interruption at safe points. main blocks SIGINT, SIGTERM and SIGHUP for the whole run; the run
// looks for a pending one between reads and between products, and stops there through the usual
// error path, so that an interrupted run leaves no temporary file and no product half-replaced.
#pragma once

namespace d2g {

// Holds SIGINT, SIGTERM and SIGHUP pending instead of letting them end the process at once.
void block_interrupt_signals();

// Throws FatalError (exit status 128 + the signal's number) if one of them is pending.
void stop_if_interrupted();

}  // namespace d2g
