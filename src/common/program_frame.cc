#include "common/program_frame.h"

#include <unistd.h>

#include <cstring>
#include <exception>
#include <iostream>
#include <new>

#include "common/exit_status.h"
#include "common/fatal_error.h"
#include "common/log_sink.h"
#include "common/program_name.h"

namespace d2g {

int run_in_frame(bool quiet, const std::string& written,
                 const std::function<void(std::ostream& log)>& body) {
  LogSink log_sink(STDOUT_FILENO);
  std::ostream log(quiet ? nullptr : &log_sink);
  // Every failure ends here: the log so far, then one message on standard error.
  auto fail = [&log](const std::string& message, int status) {
    log.flush();
    std::cerr << message_prefix() << message << '\n';
    return status;
  };
  try {
    body(log);
  } catch (const FatalError& error) {
    return fail(error.what(), error.exit_status());
  } catch (const std::bad_alloc&) {
    const FatalError error = FatalError::out_of_memory();
    return fail(error.what(), error.exit_status());
  } catch (const std::exception& error) {
    // A broken invariant of the program itself, never an input's fault.
    return fail(std::string("internal error: ") + error.what(), exit_status::kInternalError);
  }
  // A log that could not be written is a failed run, even with everything in place.
  log.flush();
  if (log_sink.error() != 0) {
    return fail(std::string("error: cannot write the progress log to standard output: ") +
                    std::strerror(log_sink.error()) + "; " + written,
                exit_status::kLogWriteError);
  }
  return exit_status::kSuccess;
}

}  // namespace d2g
