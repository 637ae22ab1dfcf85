// The encoder's view of its source: a buffer that holds the sliding window and the look-ahead, the
// running checksum of every byte read, the hash chains of all earlier positions and the search for
// the longest earlier match.
//
// Positions are absolute byte numbers since the window was created. The hash of a position covers
// its three bytes (((b0 << 10) ^ (b1 << 5) ^ b2) & 0x3FFF); the head table gives the latest
// position of each hash, and the chain table, addressed by position modulo the window size, the
// one before it. A search walks that chain from the newest candidate back, at most ChainLimit steps
// (a quarter of that when a long enough match is already pending), checks the bytes up to the one
// after the current best length (the first ones, or two at the start and the eight that end there)
// before any full comparison, and stops at a sufficient match.
// The order of the walk and the tie rule (nearest wins) decide the output, so they are fixed.
//
// The buffer holds the window plus 128 KiB + LongestAllowed bytes. Once the window start has moved
// 128 KiB into it, the live bytes (a window and the look-ahead) move to the front and the rest is
// refilled; the bytes moved are at most a quarter of those read. Entries of the tables that fall
// before the window start are never followed. The tables store positions as 32-bit values relative
// to a base that is moved forward by a multiple of every window size when they grow large, so
// inputs of any length work.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "platform/stream.h"

namespace vz {

// The result of a search.
struct DfMatch {
  int32_t Length = 0;  // 0 = no match
  int32_t Distance = 0;
  uint8_t FirstByte = 0;
};

class DfInputWindow {
 public:
  // window_bytes must be a power of two. chain_limit is the number of candidates examined per
  // search (at least 4 as the options object guarantees).
  DfInputWindow(Stream& source, int64_t source_size, int32_t window_bytes, int32_t chain_limit,
                bool deflate64, bool use_crc);
  ~DfInputWindow();
  DfInputWindow(const DfInputWindow&) = delete;
  DfInputWindow& operator=(const DfInputWindow&) = delete;

  // Inserts the current position and looks for a match longer than pending_length (longer than 2
  // when it is 0). True with the match when one is found; FirstByte is always set.
  bool SearchMatch(int32_t sufficient_length, DfMatch& match, int32_t pending_length);
  // Moves forward count bytes, inserting hash_count of them (count or count - 1; with count - 1
  // the current position, inserted by the last search, is skipped).
  void Advance(int32_t count, int32_t hash_count);
  // Moves forward one byte that the last search has already inserted.
  void StepOne();
  // The byte at the scan position, then one step forward; only for the last bytes of the input.
  uint8_t TakeByte();
  // min(3, bytes left).
  int32_t LookAheadCount() const {
    const int64_t left = data_end_ - scan_pos_;
    return left < 3 ? static_cast<int32_t>(left) : 3;
  }
  // The checksum of every byte read so far (finished: CRC-32 inverted, Adler-32 as it is).
  uint32_t DataChecksum() const { return use_crc_ ? ~running_checksum_ : running_checksum_; }
  int64_t InputPosition() const { return base_offset_ + scan_pos_; }
  // Reads count raw source bytes from the absolute position offset (for stored blocks); the
  // source's position is restored afterwards. A short read raises StreamReadError.
  void ReadSourceBytes(uint8_t* buffer, int32_t count, int64_t offset);

  void SetOnPercentDone(std::function<void(int32_t)> callback) {
    on_percent_done_ = std::move(callback);
  }
  // The candidates the last search examined.
  int32_t LastWalkSteps() const { return last_walk_steps_; }
  int32_t ChainLimit() const { return chain_limit_; }
  void SetChainLimit(int32_t value) { chain_limit_ = value; }
  bool MoreInput() const { return more_input_; }
  int32_t WindowBytes() const { return window_bytes_; }

  // Test hook: the relative position at which the tables are rebased (default 2^30).
  static void SetRebaseThresholdForTesting(int32_t threshold);

 private:
  static constexpr int32_t kHashSize = 16384;
  static constexpr int32_t kHashMask = kHashSize - 1;
  static constexpr int32_t kSlideStep = 128 * 1024;
  static constexpr int32_t kNone = -1;

  void Refill();
  void FillBuffer();
  // The hash of the three bytes at b. Positions are inserted once each and in order, so the
  // running form ((hash << 5) ^ next byte) & 0x3FFF always equals this direct one: the byte three
  // back has been shifted out of the 14 bits. The direct form has no chain of dependent steps.
  static int32_t HashAt(const uint8_t* b) {
    return ((b[0] << 10) ^ (b[1] << 5) ^ b[2]) & kHashMask;
  }
  void Insert(int32_t p) {
    const int32_t h = HashAt(buffer_ + (p - buffer_base_));
    chain_[p & window_mask_] = head_[h];
    head_[h] = p;
  }
  void Progress(int32_t n);
  void SlideCheck() {
    if (window_start_ >= slide_mark_) Slide();
  }
  void Slide();
  void Rebase();
  int32_t MatchLength(const uint8_t* a, const uint8_t* b, int32_t max_len) const;

  bool start_moving_ = false;
  std::unique_ptr<uint8_t[]> buffer_holder_;  // from the thread's scratch, returned to it
  size_t buffer_capacity_ = 0;
  uint8_t* buffer_ = nullptr;
  int32_t buffer_size_ = 0;
  int32_t cleared_end_ = 0;  // buffer bytes below this were written or cleared
  // Positions below are relative to base_offset_ (absolute = base_offset_ + relative).
  int64_t base_offset_ = 0;
  int32_t buffer_base_ = 0;
  int64_t bytes_consumed_ = 0;
  int32_t chain_limit_;
  int32_t last_walk_steps_ = 0;
  std::vector<int32_t> chain_;
  std::vector<int32_t> head_;
  uint32_t running_checksum_;
  int32_t scan_pos_ = 0;
  int32_t data_end_ = 0;
  int32_t longest_allowed_;
  bool more_input_ = true;
  std::function<void(int32_t)> on_percent_done_;
  int32_t slide_mark_ = kSlideStep;
  int32_t window_start_ = 0;
  Stream& source_;
  int64_t source_origin_;
  int64_t source_size_;
  bool use_crc_;
  int32_t window_mask_;
  int32_t window_bytes_;
};

}  // namespace vz
