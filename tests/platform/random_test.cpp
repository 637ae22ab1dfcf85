#include "platform/random.h"

#include <gtest/gtest.h>

#include <vector>

namespace vz {
namespace {

// Two fills of 64 bytes are equal, or all zero, only when the source is broken.
TEST(RandomTest, FillsDistinctBuffers) {
  std::vector<uint8_t> a(64), b(64);
  FillRandomBytes(a);
  FillRandomBytes(b);
  EXPECT_NE(a, b);
  EXPECT_NE(a, std::vector<uint8_t>(64, 0));
  FillRandomBytes({});  // an empty request is fine
}

}  // namespace
}  // namespace vz
