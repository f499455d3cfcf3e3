// FileReaper: removes replaced files on a second thread. Removing a large file frees its pages
// and blocks, which takes milliseconds per product; the run need not wait for it. Everything
// handed over is removed before the reaper goes away.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
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
  // Files queued in one directory share one duplicate, however many wait: a run near its
  // descriptor limit must not run out because the removals lag behind.
  void remove(int dir_fd, const std::string& name);

 private:
  struct Directory;
  bool start_worker();  // false where no thread can be started
  void run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::pair<std::shared_ptr<Directory>, std::string>> queue_;
  std::shared_ptr<Directory> last_;  // the directory of the latest file handed over
  bool done_ = false;
  std::thread worker_;
};

}  // namespace d2g
