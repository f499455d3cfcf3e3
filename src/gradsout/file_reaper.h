// FileReaper: removes replaced files on a second thread. Removing a large file frees its pages
// and blocks, which takes milliseconds per product; the run need not wait for it. Everything
// handed over is removed before the reaper goes away.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <utility>

namespace d2g {

class FileReaper {
 public:
  FileReaper() = default;
  ~FileReaper();
  FileReaper(const FileReaper&) = delete;
  FileReaper& operator=(const FileReaper&) = delete;

  // Removes `name` in the directory `dir_fd` (duplicated here, so the caller may close its own).
  void remove(int dir_fd, const std::string& name);

 private:
  void run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::pair<int, std::string>> queue_;
  bool done_ = false;
  std::thread worker_;
};

}  // namespace d2g
