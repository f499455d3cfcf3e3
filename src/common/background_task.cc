#include "common/background_task.h"

#include <system_error>

namespace d2g {

BackgroundTask::~BackgroundTask() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  if (worker_.joinable()) worker_.join();
}

void BackgroundTask::rethrow() {
  if (error_) {
    std::exception_ptr error = error_;
    error_ = nullptr;
    std::rethrow_exception(error);
  }
}

void BackgroundTask::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [&] { return !busy_; });
  rethrow();
}

void BackgroundTask::submit(std::function<void()> job) {
  wait();
  if (!started_ && !unavailable_) {
    try {
      worker_ = std::thread(&BackgroundTask::run, this);
      started_ = true;
    } catch (const std::system_error&) {
      unavailable_ = true;
    }
  }
  if (unavailable_) {
    job();
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    job_ = std::move(job);
    busy_ = true;
  }
  wake_.notify_one();
}

void BackgroundTask::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [&] { return busy_ || stop_; });
    if (!busy_) return;
    std::function<void()> job = std::move(job_);
    lock.unlock();
    std::exception_ptr error;
    try {
      job();
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
