#include "archive/extent_set.h"

#include <algorithm>
#include <iterator>

namespace vz {

namespace {

// How far from the end of the sorted array a range is still inserted there (a deque moves the
// shorter side, so at most this many ranges).
constexpr std::ptrdiff_t kNearTheEnd = 64;

}  // namespace

ExtentSet::Outcome ExtentSet::Add(uint16_t disk, int64_t start, int64_t end, int64_t* taken_end) {
  Ranges& ranges = disks_[disk];
  // Ranges held never overlap, so only the neighbours on either side of start can reach this one,
  // in each of the two places a range may be held.
  auto& sorted = ranges.sorted;
  // Items usually come in the order of their data, so a range usually starts after every one
  // held: it only has to clear the last.
  if (ranges.rest.empty() && (sorted.empty() || sorted.back().start < start)) {
    if (!sorted.empty() && sorted.back().end > start) return Outcome::kOverlaps;
    sorted.push_back(Range{start, end});
    return Outcome::kAdded;
  }
  const auto next = std::lower_bound(sorted.begin(), sorted.end(), start,
                                     [](const Range& r, int64_t s) { return r.start < s; });
  auto taken = [&](int64_t held_end) {
    if (taken_end != nullptr) *taken_end = held_end;
    return Outcome::kStartTaken;
  };
  if (next != sorted.end() && next->start == start) return taken(next->end);
  if (next != sorted.end() && next->start < end) return Outcome::kOverlaps;
  if (next != sorted.begin() && std::prev(next)->end > start) return Outcome::kOverlaps;
  auto& rest = ranges.rest;
  const auto after = rest.lower_bound(start);
  if (after != rest.end() && after->first == start) return taken(after->second);
  if (after != rest.end() && after->first < end) return Outcome::kOverlaps;
  if (after != rest.begin() && std::prev(after)->second > start) return Outcome::kOverlaps;
  if (std::distance(next, sorted.end()) <= kNearTheEnd) {
    sorted.insert(next, Range{start, end});
  } else {
    rest.emplace_hint(after, start, end);
  }
  return Outcome::kAdded;
}

}  // namespace vz
