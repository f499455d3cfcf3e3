// Large tables take whole huge pages: each one's memory must hold every byte asked for, however
// its size falls against the 2 MiB pages.
#include "common/float_buffer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace d2g {
namespace {

TEST(FloatBuffer, TablesOfAnySizeHoldAllTheirBytes) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  // Below, at and just past the huge-page threshold and page multiples: 100,000 stations x 18
  // steps x 4 bytes is 7.2 MB, three and a half pages.
  const std::size_t sizes[] = {kMiB - 4, kMiB,         kMiB + 12,       2 * kMiB - 4,
                               2 * kMiB, 2 * kMiB + 4, 100000 * 18 * 4, 7 * kMiB + 1};
  std::vector<unsigned char*> tables;
  for (std::size_t t = 0; t < std::size(sizes); ++t) {
    tables.push_back(static_cast<unsigned char*>(allocate_table_bytes(sizes[t])));
    std::memset(tables.back(), static_cast<int>(t + 1), sizes[t]);
  }
  // Every table still holds its own pattern: none was written over by its neighbour.
  for (std::size_t t = 0; t < tables.size(); ++t) {
    SCOPED_TRACE(sizes[t]);
    const unsigned char* table = tables[t];
    std::size_t wrong = 0;
    for (std::size_t i = 0; i < sizes[t]; ++i) wrong += table[i] != t + 1;
    EXPECT_EQ(wrong, 0u);
  }
  for (unsigned char* table : tables) free_table_bytes(table);
}

}  // namespace
}  // namespace d2g
