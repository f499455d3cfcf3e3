#include "gradsout/file_reaper.h"

#include <fcntl.h>
#include <unistd.h>

namespace d2g {

FileReaper::~FileReaper() {
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    done_ = true;
  }
  wake_.notify_one();
  if (worker_.joinable()) worker_.join();
}

void FileReaper::remove(int dir_fd, const std::string& name) {
  const int fd = ::fcntl(dir_fd, F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    ::unlinkat(dir_fd, name.c_str(), 0);
    return;
  }
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    queue_.emplace_back(fd, name);
    if (!worker_.joinable()) worker_ = std::thread([this] { run(); });
  }
  wake_.notify_one();
}

void FileReaper::run() {
  std::unique_lock<std::mutex> hold(mutex_);
  for (;;) {
    wake_.wait(hold, [this] { return done_ || !queue_.empty(); });
    if (queue_.empty()) return;
    const auto [fd, name] = queue_.front();
    queue_.pop_front();
    hold.unlock();
    // A file that cannot be removed stays under its temporary name; the next run removes it.
    ::unlinkat(fd, name.c_str(), 0);
    ::close(fd);
    hold.lock();
  }
}

}  // namespace d2g
