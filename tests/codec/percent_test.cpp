#include "codec/percent.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace vz {
namespace {

TEST(PercentTest, ArchiveRuleTruncatesAndScalesLargeTotals) {
  struct Case {
    int64_t done, total;
    int expected;
  } cases[] = {
      {0, 0, 0},
      {5, 5, 100},
      {1, 3, 33},
      {20'000'000, 40'000'000, 50},
      {7, 0, 0},
      {9, 5, 100},
      {-1, 5, 0},
      {16'383'999, 16'384'000, 99},
      {5'000'000'000LL, 10'000'000'000LL, 50},  // beyond 32 bits, no wrap-around
      {100, 16'384'001, 0},
      {INT64_MAX, INT64_MAX, 100},
      {INT64_MAX / 2, INT64_MAX, 50},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Percentage(c.done, c.total), c.expected) << c.done << "/" << c.total;
  }
}

// The codecs' rule against the floating-point one it replaces (nearest, halves to even).
TEST(PercentTest, CodecRuleRoundsHalvesToEven) {
  for (int64_t total :
       std::initializer_list<int64_t>{1, 3, 8, 200, 1000, 65'537, 10'000'000'019LL}) {
    for (int64_t done = 0; done <= total; done += std::max<int64_t>(1, total / 997)) {
      const double exact = static_cast<double>(done) * 100.0 / static_cast<double>(total);
      EXPECT_EQ(RoundedPercent(done, total), std::lrint(exact)) << done << "/" << total;
    }
  }
  EXPECT_EQ(RoundedPercent(1, 200), 0);
  EXPECT_EQ(RoundedPercent(3, 200), 2);
  EXPECT_EQ(RoundedPercent(300, 200), 150);  // not clamped
}

}  // namespace
}  // namespace vz
