// drought2grads: converts station-based drought statistics from netCDF into GrADS station data.

#include <unistd.h>

#include <csignal>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "common/exit_status.h"
#include "common/fatal_error.h"
#include "common/interruption.h"
#include "common/log_sink.h"
#include "driver/command_line.h"
#include "driver/run.h"
#include "ncinput/library_guard.h"

int main(int argc, char** argv) {
  d2g::Options options;
  if (const auto status = d2g::parse_command_line(argc, argv, options, std::cout, std::cerr)) {
    std::cout.flush();
    return *status;
  }

  // A file-size limit should end a write with "error during write", not kill the process.
  std::signal(SIGXFSZ, SIG_IGN);
  // Until the run starts replacing products, an interruption ends it at once.
  d2g::exit_at_once_on_interrupt();
  d2g::install_library_crash_handlers();
  d2g::LogSink log_sink(STDOUT_FILENO);
  std::ostream log(options.quiet ? nullptr : &log_sink);
  // Every failure ends here: the log so far, then one message on standard error.
  auto fail = [&log](const std::string& message, int status) {
    log.flush();
    std::cerr << "drought2grads: " << message << '\n';
    return status;
  };
  try {
    d2g::run(options, log, std::cerr);
  } catch (const d2g::FatalError& error) {
    return fail(error.what(), error.exit_status());
  } catch (const std::bad_alloc&) {
    const d2g::FatalError error = d2g::FatalError::out_of_memory();
    return fail(error.what(), error.exit_status());
  } catch (const std::exception& error) {
    // A broken invariant of the program itself, never an input's fault.
    return fail(std::string("internal error: ") + error.what(), d2g::exit_status::kInternalError);
  }
  // A log that could not be written is a failed run, even with every product in place.
  log.flush();
  if (log_sink.error() != 0) {
    return fail(std::string("error: cannot write the progress log to standard output: ") +
                    std::strerror(log_sink.error()) + "; the products were written",
                d2g::exit_status::kLogWriteError);
  }
  return d2g::exit_status::kSuccess;
}
