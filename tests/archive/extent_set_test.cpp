#include "archive/extent_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace vz {
namespace {

struct Range {
  uint16_t disk;
  int64_t start, end;
};

// The outcome a plain list of the ranges added gives.
ExtentSet::Outcome Expected(const std::vector<Range>& held, const Range& r) {
  for (const Range& h : held) {
    if (h.disk == r.disk && h.start == r.start) return ExtentSet::Outcome::kStartTaken;
  }
  for (const Range& h : held) {
    if (h.disk == r.disk && h.start < r.end && r.start < h.end) {
      return ExtentSet::Outcome::kOverlaps;
    }
  }
  return ExtentSet::Outcome::kAdded;
}

TEST(ExtentSetTest, AgreesWithAPlainListInAnyOrder) {
  enum Order { kAscending, kDescending, kShuffled, kNearlySorted };
  for (const Order order : {kAscending, kDescending, kShuffled, kNearlySorted}) {
    std::mt19937 rng(static_cast<unsigned>(order) + 1);
    // Ranges 10 to 60 bytes long every 50 bytes, so that some overlap their neighbours, and a
    // few on a second part; each offered twice (the second time its start is taken).
    std::vector<Range> offered;
    for (int64_t i = 0; i < 600; ++i) {
      offered.push_back({static_cast<uint16_t>(i % 7 == 0), i * 50,
                         i * 50 + 10 + static_cast<int64_t>(rng() % 51)});
    }
    offered.insert(offered.end(), offered.begin(), offered.begin() + 100);
    if (order == kDescending) std::reverse(offered.begin(), offered.end());
    if (order == kShuffled) std::shuffle(offered.begin(), offered.end(), rng);
    if (order == kNearlySorted) {
      for (size_t i = 0; i + 8 < offered.size(); i += 8) {
        std::shuffle(offered.begin() + static_cast<long>(i),
                     offered.begin() + static_cast<long>(i + 8), rng);
      }
    }
    ExtentSet set;
    std::vector<Range> held;
    for (const Range& r : offered) {
      const ExtentSet::Outcome expected = Expected(held, r);
      int64_t taken_end = -1;
      ASSERT_EQ(set.Add(r.disk, r.start, r.end, &taken_end), expected)
          << "order " << order << ", range " << r.start << ".." << r.end;
      if (expected == ExtentSet::Outcome::kAdded) held.push_back(r);
      if (expected == ExtentSet::Outcome::kStartTaken) {
        const auto same = std::find_if(held.begin(), held.end(), [&](const Range& h) {
          return h.disk == r.disk && h.start == r.start;
        });
        EXPECT_EQ(taken_end, same->end);
      }
    }
    set.Clear();
    EXPECT_EQ(set.Add(held[0].disk, held[0].start, held[0].end), ExtentSet::Outcome::kAdded);
  }
}

}  // namespace
}  // namespace vz
