// Runs into one output directory exclude each other: a run holds a lock on the directory itself
// while it replaces products, so that two runs never mix their files in one product and nothing
// but the products is left in the directory. And a run clears away what killed runs left there.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "gradsout/output_dir.h"

namespace d2g {

// Where the directory cannot be locked itself (one that this user may write into but not list,
// or a file system whose locks need a file open for writing), a hidden lock file stands in while
// the lock is held, and is removed before the lock is released.
inline constexpr char kLockFileName[] = ".drought2grads.lock";

class OutputLock {
 public:
  enum class Wait { kUntilFree, kNever };

  // Takes the lock. With kUntilFree it waits while another run holds it, saying so once on
  // `diag`; a pending SIGINT, SIGTERM or SIGHUP ends the wait. With kNever it only tries
  // (held() then says whether it got it). A lock that cannot be had at all fails with a message
  // naming `first_name` and `unit`, and what stands in the way.
  OutputLock(const OutputDir& dir, const std::string& first_name, int unit, std::ostream& diag,
             Wait wait = Wait::kUntilFree);
  ~OutputLock();
  OutputLock(const OutputLock&) = delete;
  OutputLock& operator=(const OutputLock&) = delete;

  bool held() const { return fd_ >= 0; }

 private:
  const OutputDir& dir_;
  int fd_ = -1;
  bool lock_file_ = false;  // fd_ is the lock file's, which goes when the lock does
};

// Fails with error 9 if files cannot be created in the directory (no write permission, a
// read-only file system), naming `first_name` and saying that products are replaced through new
// files.
void require_creatable(const OutputDir& dir, const std::string& first_name, int unit);

// Removes the temporary files that killed runs left in the directory: only the names this
// program gives the temporary files of `product_files`. Call it holding the lock: every run
// writes its temporary files holding it, so any found then belongs to a run that is gone,
// whichever process (or PID namespace) it was. Returns how many it removed.
int remove_stale_temporaries(const OutputDir& dir, const std::vector<std::string>& product_files);

}  // namespace d2g
