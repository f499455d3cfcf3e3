#include "gradsout/file_reaper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

namespace d2g {

// A duplicate of a directory descriptor, closed when the last file queued in it is removed.
struct FileReaper::Directory {
  Directory(int fd, const struct stat& info) : fd(fd), dev(info.st_dev), ino(info.st_ino) {}
  ~Directory() { ::close(fd); }
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;
  int fd;
  dev_t dev;
  ino_t ino;
};

FileReaper::~FileReaper() {
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    done_ = true;
  }
  wake_.notify_one();
  if (worker_.joinable()) worker_.join();
}

void FileReaper::remove(int dir_fd, const std::string& name) {
  struct stat info {};
  if (::fstat(dir_fd, &info) != 0) {
    ::unlinkat(dir_fd, name.c_str(), 0);
    return;
  }
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    if (!last_ || last_->dev != info.st_dev || last_->ino != info.st_ino) {
      const int fd = ::fcntl(dir_fd, F_DUPFD_CLOEXEC, 0);
      if (fd < 0) {
        ::unlinkat(dir_fd, name.c_str(), 0);
        return;
      }
      last_ = std::make_shared<Directory>(fd, info);
    }
    if (!worker_.joinable() && !start_worker()) {
      // No thread to be had (short of memory or of processes): remove it on the spot.
      ::unlinkat(dir_fd, name.c_str(), 0);
      return;
    }
    queue_.emplace_back(last_, name);
  }
  wake_.notify_one();
}

bool FileReaper::start_worker() {
  try {
    worker_ = std::thread([this] { run(); });
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

void FileReaper::run() {
  std::unique_lock<std::mutex> hold(mutex_);
  for (;;) {
    wake_.wait(hold, [this] { return done_ || !queue_.empty(); });
    if (queue_.empty()) return;
    auto [directory, name] = std::move(queue_.front());
    queue_.pop_front();
    hold.unlock();
    // A file that cannot be removed stays under its temporary name; the next run removes it.
    ::unlinkat(directory->fd, name.c_str(), 0);
    directory.reset();
    hold.lock();
  }
}

}  // namespace d2g
