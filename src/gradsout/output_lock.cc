#include "gradsout/output_lock.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "common/fatal_error.h"
#include "common/interruption.h"

namespace d2g {

void require_creatable(const OutputDir& dir, const std::string& first_name, int unit) {
  if (::faccessat(dir.fd(), ".", W_OK | X_OK, AT_EACCESS) != 0) {
    throw creation_error(dir, first_name, unit, errno);
  }
}

OutputLock::OutputLock(const OutputDir& dir, const std::string& first_name, int unit,
                       std::ostream& diag) {
  fd_ = ::openat(dir.fd(), kLockFileName, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd_ < 0) throw creation_error(dir, first_name, unit, errno);
  bool said = false;
  // Signals are held pending during the run, so wait in short steps and look for them between.
  while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) {
      const int error = errno;
      ::close(fd_);
      fd_ = -1;
      throw creation_error(dir, first_name, unit, error);
    }
    if (!said) {
      diag << "drought2grads: waiting for another run to finish writing into "
           << absolute_path(dir.prefix()) << "\n";
      diag.flush();
      said = true;
    }
    try {
      stop_if_interrupted();
    } catch (...) {
      ::close(fd_);
      fd_ = -1;
      throw;
    }
    const timespec pause{0, 20 * 1000 * 1000};
    ::nanosleep(&pause, nullptr);
  }
}

OutputLock::~OutputLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

int remove_stale_temporaries(const OutputDir& dir, const std::vector<std::string>& product_files) {
  const int fd = ::openat(dir.fd(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  DIR* listing = ::fdopendir(fd);
  if (listing == nullptr) {
    ::close(fd);
    return 0;
  }
  std::vector<std::string> stale;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    // ".NAME.tmp-PID" or ".NAME.tmp-PID-N", NAME one of the product files.
    for (const std::string& file : product_files) {
      const std::string head = "." + file + ".tmp-";
      if (name.compare(0, head.size(), head) != 0) continue;
      const std::string rest = name.substr(head.size());
      const std::size_t dash = rest.find('-');
      const std::string pid_text = rest.substr(0, dash);
      const std::string attempt = dash == std::string::npos ? "1" : rest.substr(dash + 1);
      if (pid_text.empty() || pid_text.size() > 9 || attempt.empty() ||
          pid_text.find_first_not_of("0123456789") != std::string::npos ||
          attempt.find_first_not_of("0123456789") != std::string::npos) {
        continue;
      }
      const pid_t pid = static_cast<pid_t>(std::stol(pid_text));
      if (pid > 0 && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH) {
        stale.push_back(name);
      }
    }
  }
  ::closedir(listing);
  int removed = 0;
  for (const std::string& name : stale) {
    removed += ::unlinkat(dir.fd(), name.c_str(), 0) == 0 ? 1 : 0;
  }
  return removed;
}

}  // namespace d2g
