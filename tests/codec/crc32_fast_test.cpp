#include "codec/crc32_fast.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include "codec/deflate_base.h"
#include "test_support.h"

namespace vz {
namespace {

// The carry-less multiplication paths against the tables and zlib, at every length around their
// block sizes, at odd offsets and with running registers.
TEST(Crc32FastTest, ClmulPathsMatchSlicedAndZlib) {
  struct Path {
    const char* name;
    bool available;
    void (*update)(uint32_t&, const uint8_t*, int64_t);
  };
  const Path paths[] = {{"clmul", Crc32ClmulAvailable(), UpdateCrc32Clmul},
                        {"wide clmul", Crc32WideClmulAvailable(), UpdateCrc32WideClmul}};
  const auto data = testing::RandomBytes(5000, 11);
  for (const Path& path : paths) {
    if (!path.available) continue;
    for (size_t offset : {0, 1, 7}) {
      for (size_t n = 0; n < 1100; ++n) {
        for (const uint32_t start : {0xFFFFFFFFu, 0x12345678u}) {
          uint32_t sliced = start;
          uint32_t fast = start;
          UpdateCrc32Sliced(sliced, data.data() + offset, static_cast<int64_t>(n));
          path.update(fast, data.data() + offset, static_cast<int64_t>(n));
          ASSERT_EQ(fast, sliced) << path.name << " offset " << offset << " length " << n;
        }
      }
    }
  }
  uint32_t reg = 0xFFFFFFFFu;
  UpdateCrc32(reg, data.data(), 3000);
  UpdateCrc32(reg, data.data() + 3000, 2000);
  EXPECT_EQ(~reg, crc32(0, data.data(), 5000));
}

}  // namespace
}  // namespace vz
