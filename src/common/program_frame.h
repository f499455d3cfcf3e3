// The frame every program of the package runs in once its command line is read: the progress
// log on standard output, and every failure turned into one message on standard error (after
// the program's name) and its exit status.
#pragma once

#include <functional>
#include <ostream>
#include <string>

namespace d2g {

// Runs `body` with the progress log (a log that writes nothing with `quiet`). Returns the exit
// status: 0, a FatalError's status, 41 when memory ran out, 70 for the program's own faults,
// or 74 when the log could not be written although `body` succeeded ("; " + `written` then
// says what was written all the same). Install signal and crash handlers before.
int run_in_frame(bool quiet, const std::string& written,
                 const std::function<void(std::ostream& log)>& body);

}  // namespace d2g
