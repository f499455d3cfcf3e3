// BackgroundWriter: writes buffers to a PendingFile on a second thread while the caller packs
// the next one, so that packing and the kernel's copying into the page cache overlap. One
// buffer is in flight at a time; a failed write is thrown to the caller at its next call.
// Where no thread can be started, writes happen on the caller's thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>

namespace d2g {

class PendingFile;

class BackgroundWriter {
 public:
  BackgroundWriter() = default;
  ~BackgroundWriter();
  BackgroundWriter(const BackgroundWriter&) = delete;
  BackgroundWriter& operator=(const BackgroundWriter&) = delete;

  // Hands `bytes` over to be written to `out`; the memory must stay untouched until the next
  // call of submit() or wait() returns. Waits for the buffer before.
  void submit(PendingFile& out, const char* bytes, std::size_t count);
  // Waits until everything handed over is written; throws what a write threw.
  void wait();

 private:
  void run();
  void rethrow();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  PendingFile* out_ = nullptr;
  const char* bytes_ = nullptr;
  std::size_t count_ = 0;
  bool busy_ = false;
  bool stop_ = false;
  bool started_ = false;
  bool unavailable_ = false;
  std::exception_ptr error_;
  std::thread worker_;
};

}  // namespace d2g
