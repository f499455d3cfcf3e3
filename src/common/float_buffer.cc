#include "common/float_buffer.h"

#include <sys/mman.h>

#include <cstdlib>

namespace d2g {

namespace {

constexpr std::size_t kHugePageBytes = std::size_t{2} << 20;
// From half a huge page on: a table of 1.44 MB (20,000 stations x 18) then takes one huge page
// instead of 350 faults of 4 KiB.
constexpr std::size_t kHugePageThreshold = kHugePageBytes / 2;

}  // namespace

void* allocate_table_bytes(std::size_t bytes) {
  if (bytes < kHugePageThreshold) {
    void* at = std::malloc(bytes == 0 ? 1 : bytes);
    if (at == nullptr) throw std::bad_alloc();
    return at;
  }
  const std::size_t rounded = (bytes + kHugePageBytes - 1) / kHugePageBytes * kHugePageBytes;
  void* at = std::aligned_alloc(kHugePageBytes, rounded);
  if (at == nullptr) throw std::bad_alloc();
  // Only advice: without huge pages the table works the same.
  ::madvise(at, rounded, MADV_HUGEPAGE);
  return at;
}

void free_table_bytes(void* at) noexcept { std::free(at); }

}  // namespace d2g
