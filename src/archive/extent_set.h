// Byte ranges of an archive that never overlap one another, by part (disk) and start: what the
// items of a run have decoded, so that no two items decode the same bytes (overlapping items let a
// few kilobytes expand without bound).
//
// Ranges mostly come in the order of their starts, or nearly: those are kept in a sorted array of
// 16 bytes a range, so testing a million items holds 16 MB for it. A range that starts well before
// the last ones goes to a tree instead, so no order of ranges makes an addition cost more than
// O(log n) plus a short move.
#pragma once

#include <cstdint>
#include <deque>
#include <map>

namespace vz {

class ExtentSet {
 public:
  enum class Outcome {
    kAdded,
    kOverlaps,    // the range overlaps one held, which starts elsewhere
    kStartTaken,  // a range held starts where this one starts (its end is in *taken_end)
  };

  // Adds [start, end) on disk when it overlaps no range held.
  Outcome Add(uint16_t disk, int64_t start, int64_t end, int64_t* taken_end = nullptr);
  void Clear() { disks_.clear(); }

 private:
  struct Range {
    int64_t start;
    int64_t end;
  };
  struct Ranges {
    std::deque<Range> sorted;
    std::map<int64_t, int64_t> rest;  // start -> end
  };
  std::map<uint16_t, Ranges> disks_;
};

}  // namespace vz
