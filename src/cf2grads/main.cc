// cf2grads: converts CF station time series from netCDF into GrADS station data.

#include <unistd.h>

#include <csignal>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>
#include <string>

#include "cf2grads/command_line.h"
#include "cf2grads/run.h"
#include "common/exit_status.h"
#include "common/fatal_error.h"
#include "common/interruption.h"
#include "common/log_sink.h"
#include "common/program_name.h"
#include "ncinput/library_guard.h"

int main(int argc, char** argv) {
  d2g::set_program_name("cf2grads");
  d2g::cf2grads::Options options;
  if (const auto status =
          d2g::cf2grads::parse_command_line(argc, argv, options, std::cout, std::cerr)) {
    std::cout.flush();
    return *status;
  }
  std::signal(SIGXFSZ, SIG_IGN);
  d2g::exit_at_once_on_interrupt();
  d2g::install_library_crash_handlers();
  d2g::LogSink log_sink(STDOUT_FILENO);
  std::ostream log(options.quiet ? nullptr : &log_sink);
  auto fail = [&log](const std::string& message, int status) {
    log.flush();
    std::cerr << d2g::message_prefix() << message << '\n';
    return status;
  };
  try {
    d2g::cf2grads::run(options, log, std::cerr);
  } catch (const d2g::FatalError& error) {
    return fail(error.what(), error.exit_status());
  } catch (const std::bad_alloc&) {
    const d2g::FatalError error = d2g::FatalError::out_of_memory();
    return fail(error.what(), error.exit_status());
  } catch (const std::exception& error) {
    return fail(std::string("internal error: ") + error.what(), d2g::exit_status::kInternalError);
  }
  log.flush();
  if (log_sink.error() != 0) {
    return fail(std::string("error: cannot write the progress log to standard output: ") +
                    std::strerror(log_sink.error()) + "; the product was written",
                d2g::exit_status::kLogWriteError);
  }
  return d2g::exit_status::kSuccess;
}
