// Runs into one output directory exclude each other: a run holds a lock on a file in the
// directory while it replaces products, so that two runs never mix their files in one product.
// And a run clears away what killed runs left behind there.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "gradsout/output_dir.h"

namespace d2g {

// The lock file, hidden in the output directory. It stays there between runs.
inline constexpr char kLockFileName[] = ".drought2grads.lock";

class OutputLock {
 public:
  // Takes the lock, waiting while another run holds it; says so once on `diag` when it has to
  // wait. A pending SIGINT, SIGTERM or SIGHUP ends the wait. A directory where the lock file
  // cannot be created fails as creating a product there would (`first_name`, `unit`).
  OutputLock(const OutputDir& dir, const std::string& first_name, int unit, std::ostream& diag);
  ~OutputLock();
  OutputLock(const OutputLock&) = delete;
  OutputLock& operator=(const OutputLock&) = delete;

 private:
  int fd_ = -1;
};

// Fails with error 9 if files cannot be created in the directory (no write permission, a
// read-only file system), naming `first_name` and saying that products are replaced through new
// files.
void require_creatable(const OutputDir& dir, const std::string& first_name, int unit);

// Removes the temporary files that killed runs left in the directory: only the names this
// program gives the temporary files of `product_files`, and only those whose process is gone.
// Returns how many it removed.
int remove_stale_temporaries(const OutputDir& dir, const std::vector<std::string>& product_files);

}  // namespace d2g
