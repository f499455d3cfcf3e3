// Interruption and concurrency, driven through seams so that nothing depends on timing: a log
// stream that raises a signal when a chosen line is written (load phase), a commit hook that
// raises it after a chosen product (write phase), a lock held by the test itself.
#include "common/interruption.h"

#include <fcntl.h>
#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "common/fatal_error.h"
#include "driver/product_table.h"
#include "driver/run.h"
#include "support/test_support.h"

namespace d2g {
namespace {

using testing::TempDir;

// A log that raises `signal` once its `line`-th line has been written.
class SignallingLog : public std::streambuf {
 public:
  SignallingLog(int line, int signal) : line_(line), signal_(signal) {}
  int lines() const { return lines_; }

 protected:
  int_type overflow(int_type ch) override {
    if (ch == '\n' && ++lines_ == line_) ::raise(signal_);
    return ch;
  }

 private:
  int line_;
  int signal_;
  int lines_ = 0;
};

// Takes a pending interruption signal away, so that one test's signal does not reach the next.
void drain_signals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&set, s);
  const timespec now{0, 0};
  while (::sigtimedwait(&set, nullptr, &now) > 0) {
  }
}

class InterruptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    block_interrupt_signals();
    for (const char* dir : {"in", "old", "new", "out"}) {
      std::filesystem::create_directory(work_.file(dir));
    }
    testing::generate_sample(work_.file("in"), 40, 5, 4, 1);
    convert("old");
    convert("out");
    testing::generate_sample(work_.file("in"), 40, 5, 4, 2);
    convert("new");
    old_ = testing::snapshot(work_.file("old"));
    new_ = testing::snapshot(work_.file("new"));
  }
  void TearDown() override { drain_signals(); }

  Options options(const std::string& out) const {
    Options o;
    o.input_dir = work_.file("in");
    o.stations = work_.file("in/SPI_Stn.nc");
    o.output_dir = work_.file(out);
    return o;
  }
  void convert(const std::string& out) {
    std::ostringstream log, diag;
    run(options(out), log, diag);
  }

  // Runs into out/ with `log` and `hooks`; returns the message of the FatalError it ends with.
  std::string interrupted_run(std::ostream& log, const RunHooks& hooks, int expected_status) {
    std::ostringstream diag;
    try {
      run(options("out"), log, diag, hooks);
    } catch (const FatalError& error) {
      EXPECT_EQ(error.exit_status(), expected_status);
      return error.what();
    }
    ADD_FAILURE() << "the run was not interrupted";
    return "";
  }

  // Every product in out/ is wholly new up to and including `last_new` (in writing order) and
  // wholly old after it; no temporary file is left.
  void expect_products_new_through(const std::string& last_new) {
    const testing::DirSnapshot out = testing::snapshot(work_.file("out"));
    EXPECT_EQ(out.size(), 93u) << "a temporary file was left";
    RunState state;
    state.nmon = 12;
    bool is_new = !last_new.empty();
    for (const std::string& product : product_names(state)) {
      for (const std::string& file : product_files(product)) {
        EXPECT_EQ(out.at(file), (is_new ? new_ : old_).at(file)) << file;
      }
      if (product == last_new) is_new = false;
    }
  }

  TempDir work_;
  testing::DirSnapshot old_, new_;
};

TEST_F(InterruptionTest, ASignalInTheLoadPhaseStopsBeforeAnyProductIsReplaced) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    // Line 10: inside the third read, Prob's. The run stops when that read is done, at line 12.
    SignallingLog sink(10, signal);
    std::ostream log(&sink);
    const std::string message = interrupted_run(log, {}, 128 + signal);
    EXPECT_EQ(sink.lines(), 12);
    EXPECT_EQ(message, std::string("interrupted by SIG") + sigabbrev_np(signal) +
                           "; every product is either complete or as it was before the run");
    expect_products_new_through("");
    drain_signals();
  }
}

TEST_F(InterruptionTest, ASignalInTheWritePhaseStopsAfterTheProductBeingWritten) {
  const struct {
    int signal;
    const char* product;
  } cases[] = {
      {SIGINT, "Num_Dr_Mon"}, {SIGTERM, "Time_Arr_Max"}, {SIGHUP, "Fre_03"}, {SIGINT, "Mag_11"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.product);
    // Back to the old products first.
    for (const auto& [file, content] : old_) {
      std::filesystem::copy_file(work_.file("old/" + file), work_.file("out/" + file),
                                 std::filesystem::copy_options::overwrite_existing);
    }
    RunHooks hooks;
    hooks.on_commit_step = [&](std::string_view product, CommitStep step) {
      // Mid-product: the signal waits until the product is complete.
      if (product == c.product && step == CommitStep::kDataReplaced) ::raise(c.signal);
    };
    std::ostringstream log;
    interrupted_run(log, hooks, 128 + c.signal);
    expect_products_new_through(c.product);
    drain_signals();
  }
}

// As main sets the process up: a signal while the run only reads ends it on the spot (a library
// call may never return on a damaged file), one while it replaces products waits for the
// product in hand. Each run is a child process, whose standard error and fate the test reads.
TEST_F(InterruptionTest, AsTheProgramRunsTheLoadEndsAtOnceAndTheWriteAtTheNextProduct) {
  struct Outcome {
    int status;
    std::string said;  // what the child wrote to standard error
  };
  auto in_child = [&](int log_line, const char* product) {
    int fds[2];
    EXPECT_EQ(::pipe(fds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      ::dup2(fds[1], STDERR_FILENO);
      exit_at_once_on_interrupt();
      SignallingLog sink(log_line, SIGTERM);
      std::ostream log(&sink);
      RunHooks hooks;
      hooks.on_commit_step = [&](std::string_view name, CommitStep step) {
        if (product != nullptr && name == product && step == CommitStep::kDataReplaced) {
          ::raise(SIGTERM);
          std::fputs("the product went on\n", stderr);
        }
      };
      std::ostringstream diag;
      try {
        run(options("out"), log, diag, hooks);
      } catch (const FatalError& error) {
        std::fprintf(stderr, "stopped: %s\n", error.what());
        std::fflush(stderr);
        ::_exit(error.exit_status());
      }
      std::fputs("the run went on\n", stderr);
      std::fflush(stderr);
      ::_exit(0);
    }
    ::close(fds[1]);
    Outcome outcome{};
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fds[0], buffer, sizeof buffer)) > 0) outcome.said.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    return outcome;
  };

  // Line 10 is written inside the third read: the process ends there, with the message.
  const Outcome load = in_child(10, nullptr);
  EXPECT_EQ(load.status, 128 + SIGTERM);
  EXPECT_EQ(load.said,
            "drought2grads: interrupted by SIGTERM; every product is either complete or as it was "
            "before the run\n");
  expect_products_new_through("");

  const Outcome write = in_child(-1, "Fre_03");
  EXPECT_EQ(write.status, 128 + SIGTERM);
  EXPECT_EQ(write.said,
            "the product went on\nstopped: interrupted by SIGTERM; every product is either "
            "complete or as it was before the run\n");
  expect_products_new_through("Fre_03");
}

TEST_F(InterruptionTest, ProductsAreWrittenInTheirFixedOrder) {
  std::vector<std::string> order;
  RunHooks hooks;
  hooks.on_commit_step = [&](std::string_view product, CommitStep step) {
    if (step == CommitStep::kDataReplaced) order.emplace_back(product);
  };
  std::ostringstream log, diag;
  run(options("out"), log, diag, hooks);
  std::vector<std::string> expected = {"Num_Dr_Mon", "Sensl",        "Prob",        "Spell_Ave",
                                       "Spell_Max",  "Time_Arr_Ave", "Time_Arr_Max"};
  for (int month = 1; month <= 12; ++month) {
    expected.push_back(fmt::format("Fre_{:02d}", month));
    expected.push_back(fmt::format("Mag_{:02d}", month));
  }
  EXPECT_EQ(order, expected);
  // The one line of the write phase comes right after the first product.
  EXPECT_THAT(log.str(),
              ::testing::EndsWith("    Completed reading file " + work_.file("in/SPI_Stn.nc") +
                                  "\n Write to Grads Num_Dr_Mon Done\n"));
}

// Two real processes: while this test holds the output directory's lock, a converter loads
// everything, says that it waits, and writes nothing; once the lock is free it finishes.
TEST(Concurrency, ARunWaitsForTheRunHoldingTheOutputDirectory) {
  TempDir work;
  testing::generate_sample(work.path(), 30, 3, 3);
  std::filesystem::create_directory(work.file("out"));
  const int lock = ::open(work.file("out").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(::flock(lock, LOCK_EX), 0);

  // --check does not wait: it says that a run would.
  const testing::ConverterRun check =
      testing::run_converter(work.path(), "--check --stations SPI_Stn.nc --output-dir out");
  EXPECT_EQ(check.status, 0) << check.err;
  EXPECT_THAT(check.out, ::testing::HasSubstr(
                             "(another run is writing into it now: a run would wait for it)"));

  FILE* converter = ::popen(("cd " + testing::shell_quote(work.path()) + " && " +
                             testing::shell_quote(testing::converter()) +
                             " -q --stations SPI_Stn.nc --output-dir out 2>&1; echo status=$?")
                                .c_str(),
                            "r");
  ASSERT_NE(converter, nullptr);
  char line[4096];
  ASSERT_NE(std::fgets(line, sizeof line, converter), nullptr);
  EXPECT_EQ(std::string(line), "drought2grads: waiting for another run to finish writing into " +
                                   work.file("out/") + "\n");
  EXPECT_TRUE(testing::snapshot(work.file("out")).empty());

  ::close(lock);
  std::string rest;
  while (std::fgets(line, sizeof line, converter) != nullptr) rest += line;
  ::pclose(converter);
  EXPECT_EQ(rest, "status=0\n");
  EXPECT_EQ(testing::list_dir(work.file("out")).size(), 93u);  // the products, nothing else
}

// The lock is held from the first product's swap to the last one's: another process could not
// take it at any commit step.
TEST_F(InterruptionTest, TheOutputLockIsHeldThroughTheWholeWritePhase) {
  int steps = 0;
  int free_at = 0;
  RunHooks hooks;
  hooks.on_commit_step = [&](std::string_view, CommitStep) {
    ++steps;
    const int fd = ::open(work_.file("out").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) ++free_at;
    ::close(fd);
  };
  std::ostringstream log, diag;
  run(options("out"), log, diag, hooks);
  EXPECT_GE(steps, 31);
  EXPECT_EQ(free_at, 0);
  const int fd = ::open(work_.file("out").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << "released when the run is done";
  ::close(fd);
}

// Two converters started together on inputs of different sizes: each product ends up whole from
// one run (the data file's size, the map and the control file all agree).
TEST(Concurrency, TwoRunsIntoOneDirectoryNeverMixAProduct) {
  TempDir work;
  testing::generate_sample(work.file("a"), 3000, 18, 6, 1);
  testing::generate_sample(work.file("b"), 3001, 18, 6, 2);
  std::filesystem::create_directory(work.file("out"));
  const std::string convert = testing::shell_quote(testing::converter()) + " -q --output-dir out";
  std::string output;
  ASSERT_EQ(testing::run_command("cd " + testing::shell_quote(work.path()) + " && (" + convert +
                                     " --input-dir a --stations a/SPI_Stn.nc & " + convert +
                                     " --input-dir b --stations b/SPI_Stn.nc & wait %1 && wait %2)",
                                 &output),
            0)
      << output;
  RunState state;
  state.nmon = 12;
  for (const std::string& product : product_names(state)) {
    SCOPED_TRACE(product);
    const std::string map = testing::read_file(work.file("out/" + product + ".dat.map"));
    const std::string control = testing::read_file(work.file("out/" + product + ".ctl"));
    const auto data_size = std::filesystem::file_size(work.file("out/" + product + ".dat"));
    // The map's report count (big-endian, after the offsets) and the data file's size.
    const int ntime = static_cast<unsigned char>(map[19]);
    const std::size_t at = 24 + 4 * ntime;
    const int reports =
        (static_cast<unsigned char>(map[at + 2]) << 8) | static_cast<unsigned char>(map[at + 3]);
    EXPECT_EQ(data_size, static_cast<std::uintmax_t>(ntime) * (32 * reports + 28));
    EXPECT_THAT(control, ::testing::HasSubstr(fmt::format("tdef  {:3d} linear", ntime)));
    EXPECT_TRUE(reports == 3000 || reports == 3001);
  }
}

// The temporary files of killed runs are removed by the next run into the directory, whichever
// process wrote them: a run writes them holding the directory's lock, so any that the next run
// finds holding it are leftovers, even with the process id of a live process (a run killed as
// PID 1 of a container names its files after a PID that is alive outside it). Files that are not
// the program's stay.
TEST(Leftovers, TheNextRunRemovesTheTemporaryFilesOfKilledRunsWhateverTheirProcessId) {
  TempDir work;
  testing::generate_sample(work.path(), 4, 2, 2);
  const std::string live = std::to_string(::getpid());
  for (const std::string& name :
       std::vector<std::string>{".Prob.dat.tmp-1", ".Fre_03.dat.map.tmp-1-2",
                                ".Prob.ctl.tmp-" + live, ".Num_Dr_Mon.ctl.tmp-77-105",
                                ".notes.txt.tmp-1", ".Prob.dat.tmp-1x", "Prob.dat.tmp-1"}) {
    testing::write_file(work.file(name), "left over");
  }
  const testing::ConverterRun run = testing::run_converter(work.path(), "-q --stations SPI_Stn.nc");
  ASSERT_EQ(run.status, 0) << run.err;
  std::vector<std::string> hidden;
  for (const std::string& name : testing::list_dir(work.path())) {
    if (name[0] == '.') hidden.push_back(name);
  }
  EXPECT_EQ(hidden, (std::vector<std::string>{".Prob.dat.tmp-1x", ".notes.txt.tmp-1"}));
  EXPECT_TRUE(testing::file_exists(work.file("Prob.dat.tmp-1")));
}

}  // namespace
}  // namespace d2g
