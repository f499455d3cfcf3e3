// BackgroundTask: runs one job at a time on a second thread while the caller prepares the next,
// so that computing and writing overlap. A failed job is thrown to the caller at its next call.
// Where no thread can be started, jobs run on the caller's thread.
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace d2g {

class BackgroundTask {
 public:
  BackgroundTask() = default;
  // Waits for the job in flight; its failure is dropped (the caller is failing already).
  ~BackgroundTask();
  BackgroundTask(const BackgroundTask&) = delete;
  BackgroundTask& operator=(const BackgroundTask&) = delete;

  // Waits for the job before, then starts `job`; what it uses must stay as it is until the next
  // call of submit() or wait() returns.
  void submit(std::function<void()> job);
  // Waits until the job in flight is done; throws what it threw.
  void wait();

 private:
  void run();
  void rethrow();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::function<void()> job_;
  bool busy_ = false;
  bool stop_ = false;
  bool started_ = false;
  bool unavailable_ = false;
  std::exception_ptr error_;
  std::thread worker_;
};

}  // namespace d2g
