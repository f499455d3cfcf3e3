#include "gradsout/background_writer.h"

#include <system_error>

#include "gradsout/pending_file.h"

namespace d2g {

BackgroundWriter::~BackgroundWriter() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  if (worker_.joinable()) worker_.join();
}

void BackgroundWriter::rethrow() {
  if (error_) {
    std::exception_ptr error = error_;
    error_ = nullptr;
    std::rethrow_exception(error);
  }
}

void BackgroundWriter::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return !busy_; });
  rethrow();
}

void BackgroundWriter::submit(PendingFile& out, const char* bytes, std::size_t count) {
  wait();
  if (!started_ && !unavailable_) {
    try {
      worker_ = std::thread(&BackgroundWriter::run, this);
      started_ = true;
    } catch (const std::system_error&) {
      unavailable_ = true;
    }
  }
  if (unavailable_) {
    out.write(bytes, count);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    out_ = &out;
    bytes_ = bytes;
    count_ = count;
    busy_ = true;
  }
  wake_.notify_one();
}

void BackgroundWriter::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return busy_ || stop_; });
    if (!busy_) return;
    PendingFile* out = out_;
    const char* bytes = bytes_;
    const std::size_t count = count_;
    lock.unlock();
    std::exception_ptr error;
    try {
      out->write(bytes, count);
    } catch (...) {
      error = std::current_exception();
    }
    lock.lock();
    error_ = error;
    busy_ = false;
    done_.notify_all();
  }
}

}  // namespace d2g
