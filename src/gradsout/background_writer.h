// BackgroundWriter: writes buffers to a PendingFile on a second thread while the caller packs
// the next one, so that packing and the kernel's copying into the page cache overlap. One
// buffer is in flight at a time; a failed write is thrown to the caller at its next call.
#pragma once

#include <cstddef>

#include "common/background_task.h"

namespace d2g {

class PendingFile;

class BackgroundWriter {
 public:
  // Hands `bytes` over to be written to `out`; the memory must stay untouched until the next
  // call of submit() or wait() returns. Waits for the buffer before.
  void submit(PendingFile& out, const char* bytes, std::size_t count);
  // Waits until everything handed over is written; throws what a write threw.
  void wait() { task_.wait(); }

 private:
  BackgroundTask task_;
};

}  // namespace d2g
