// The input window and match finder. The search is the encoder's hot loop: candidate checks load
// eight or two bytes at once, and the full comparison runs eight bytes at a time with the first
// difference found from the lowest set bit of the xor. Both give the same lengths as a byte-by-byte
// compare.
#include "codec/input_window.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "codec/deflate_base.h"
#include "codec/percent.h"
#include "codec/scratch.h"
#include "platform/runtime_errors.h"

namespace vz {

namespace {

// Spare bytes after the buffer: the hash of the last positions and the probe at the longest
// possible match read up to two bytes past the data, the eight-byte comparison none.
constexpr int32_t kSpareBytes = 8;

int32_t g_rebase_threshold = 1 << 30;

inline uint16_t Load16(const uint8_t* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

inline uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

}  // namespace

void DfInputWindow::SetRebaseThresholdForTesting(int32_t threshold) {
  g_rebase_threshold = threshold;
}

DfInputWindow::DfInputWindow(Stream& source, int64_t source_size, int32_t window_bytes,
                             int32_t chain_limit, bool deflate64, bool use_crc)
    : chain_limit_(chain_limit),
      running_checksum_(use_crc ? 0xFFFFFFFFu : 1u),
      longest_allowed_(deflate64 ? 65536 : 258),
      source_(source),
      source_origin_(source.Position()),
      source_size_(source_size),
      use_crc_(use_crc),
      window_mask_(window_bytes - 1),
      window_bytes_(window_bytes) {
  buffer_size_ = window_bytes + kSlideStep + longest_allowed_;
  // The buffer and the chains are made ready as the data reaches them (see Refill): a small
  // source never pays for clearing a whole window of them.
  buffer_holder_ = TakeScratchBytes(
      ScratchSlot::kWindow, static_cast<size_t>(buffer_size_) + kSpareBytes, &buffer_capacity_);
  buffer_ = buffer_holder_.get();
  chain_ = TakeScratchInts(ScratchSlot::kChain);
  chain_.reserve(static_cast<size_t>(window_bytes));
  head_ = TakeScratchInts(ScratchSlot::kHead);
  head_.assign(kHashSize, kNone);
  Refill();
}

DfInputWindow::~DfInputWindow() {
  KeepScratchBytes(ScratchSlot::kWindow, std::move(buffer_holder_), buffer_capacity_);
  KeepScratchInts(ScratchSlot::kChain, std::move(chain_));
  KeepScratchInts(ScratchSlot::kHead, std::move(head_));
}

void DfInputWindow::Refill() {
  FillBuffer();
  // The probes read up to kSpareBytes past the data: bytes never written read as zero, as if the
  // whole buffer had been cleared first.
  const int32_t data_end = data_end_ - buffer_base_;
  const int32_t read_end = std::min(data_end + kSpareBytes, buffer_size_ + kSpareBytes);
  if (read_end > cleared_end_) {
    const int32_t from = std::max(cleared_end_, data_end);
    std::memset(buffer_ + from, 0, static_cast<size_t>(read_end - from));
    cleared_end_ = read_end;
  }
  // Until the data fills a window, position p has chain slot p: only those slots can be read.
  if (static_cast<int32_t>(chain_.size()) < window_bytes_) {
    chain_.resize(static_cast<size_t>(std::min(data_end_, window_bytes_)), kNone);
  }
}

void DfInputWindow::FillBuffer() {
  while (data_end_ - buffer_base_ < buffer_size_) {
    uint8_t* at = buffer_ + (data_end_ - buffer_base_);
    const int64_t n = source_.Read(
        std::span<uint8_t>(at, static_cast<size_t>(buffer_size_ - (data_end_ - buffer_base_))));
    if (n <= 0) {
      more_input_ = false;
      return;
    }
    if (use_crc_) {
      UpdateCrc32(running_checksum_, at, n);
    } else {
      UpdateAdler32(running_checksum_, at, n);
    }
    data_end_ += static_cast<int32_t>(n);
  }
}

int32_t DfInputWindow::MatchLength(const uint8_t* a, const uint8_t* b, int32_t max_len) const {
  int32_t len = 0;
  while (len + 8 <= max_len) {
    const uint64_t diff = Load64(a + len) ^ Load64(b + len);
    if (diff != 0) {
      if constexpr (std::endian::native == std::endian::little) {
        return len + (std::countr_zero(diff) >> 3);
      } else {
        return len + (std::countl_zero(diff) >> 3);
      }
    }
    len += 8;
  }
  while (len < max_len && a[len] == b[len]) ++len;
  return len;
}

bool DfInputWindow::SearchMatch(int32_t sufficient_length, DfMatch& match, int32_t pending_length) {
  const int32_t p = scan_pos_;
  const uint8_t* cur = buffer_ + (p - buffer_base_);
  match.FirstByte = cur[0];
  match.Length = 0;

  // Insert the current position; the head it replaces is the first candidate. Its chain slot is
  // written only after the walk: the slot is shared with the candidate exactly one window back,
  // whose own link must still lead out of the window. Written first, it would lead back to the
  // first candidate, and the walk would go round the same candidates until its step limit, which
  // is unbounded with no chain limit. The second round could not change the result.
  const int32_t h = HashAt(cur);
  const int32_t first = head_[h];
  int32_t candidate = first;
  head_[h] = p;
  last_walk_steps_ = 0;

  const int32_t max_len = std::min(longest_allowed_, data_end_ - p);
  const int32_t sufficient = std::min(sufficient_length, max_len);
  int32_t best;
  if (pending_length == 0) {
    best = 2;
  } else if (pending_length > max_len) {
    chain_[p & window_mask_] = first;
    return false;
  } else {
    best = pending_length;
  }
  const int32_t budget = best >= sufficient ? chain_limit_ / 4 : chain_limit_;
  int32_t steps = budget;
  int32_t distance = 0;
  const uint16_t head2 = Load16(cur);
  // From a best length of 8 on, the eight bytes that end at the byte after it are probed at once.
  uint64_t tail8 = best >= 8 ? Load64(cur + best - 7) : 0;
  // While the best length is below 8, a candidate can only win when its first best + 1 bytes
  // equal those of the current position, which one masked 8-byte compare decides: the same verdict
  // as the two-byte probes and the full comparison, with fewer loads.
  const uint64_t cur8 = Load64(cur);
  auto prefix_mask = [](int32_t len) -> uint64_t {
    if (len >= 8) return 0;
    if constexpr (std::endian::native != std::endian::little)
      return ~uint64_t{0} << (8 * (7 - len));
    return ~uint64_t{0} >> (8 * (7 - len));
  };
  uint64_t mask = prefix_mask(best);
  const int32_t window_start = window_start_;
  while (candidate >= window_start && candidate < p) {
    // The next link does not depend on this candidate's bytes: load it first.
    const int32_t next = chain_[candidate & window_mask_];
    --steps;
    const uint8_t* c = buffer_ + (candidate - buffer_base_);
    const bool probe = mask != 0 ? ((Load64(c) ^ cur8) & mask) == 0
                                 : Load64(c + best - 7) == tail8 && Load16(c) == head2;
    if (probe) {
      const int32_t len = MatchLength(c, cur, max_len);
      if (len > best) {
        best = len;
        distance = p - candidate;
        if (best >= sufficient) break;
        if (best >= 8) tail8 = Load64(cur + best - 7);
        mask = prefix_mask(best);
      }
    }
    if (steps <= 0) break;
    candidate = next;
  }
  chain_[p & window_mask_] = first;
  last_walk_steps_ = budget - steps;
  if (best < 3 || pending_length >= best) return false;
  match.Length = best;
  match.Distance = distance;
  return true;
}

void DfInputWindow::Advance(int32_t count, int32_t hash_count) {
  Check(data_end_ - scan_pos_ >= count,
        "DfInputWindow.Advance: seem to be advancing into the unknown");
  Check(hash_count == count || hash_count == count - 1,
        "DfInputWindow.Advance: the parameters are plain wrong");
  const int32_t end = scan_pos_ + count;
  for (int32_t p = scan_pos_ + (count - hash_count); p < end; ++p) Insert(p);
  scan_pos_ = end;
  if (start_moving_) {
    window_start_ += count;
  } else if (scan_pos_ - window_start_ >= window_bytes_) {
    start_moving_ = true;
    window_start_ = scan_pos_ - window_bytes_;
  }
  Progress(count);
  SlideCheck();
}

void DfInputWindow::StepOne() {
  ++scan_pos_;
  if (start_moving_) {
    ++window_start_;
  } else if (scan_pos_ - window_start_ == window_bytes_) {
    start_moving_ = true;
  }
  Progress(1);
  SlideCheck();
}

uint8_t DfInputWindow::TakeByte() {
  const uint8_t b = buffer_[scan_pos_ - buffer_base_];
  ++scan_pos_;
  return b;
}

void DfInputWindow::Progress(int32_t n) {
  if (!on_percent_done_) return;
  bytes_consumed_ += n;
  if (bytes_consumed_ % 4096 != 0 || source_size_ <= 0) return;
  on_percent_done_(RoundedPercent(bytes_consumed_, source_size_));
}

void DfInputWindow::Slide() {
  // With the source exhausted there is nothing to make room for.
  if (!more_input_) return;
  std::memmove(buffer_, buffer_ + (window_start_ - buffer_base_),
               static_cast<size_t>(data_end_ - window_start_));
  buffer_base_ = window_start_;
  slide_mark_ = buffer_base_ + kSlideStep;
  if (scan_pos_ >= g_rebase_threshold) Rebase();
  Refill();
}

void DfInputWindow::Rebase() {
  // A multiple of 65536 is a multiple of every window size, so chain slots keep their addresses.
  const int32_t delta = buffer_base_ & ~int32_t{0xFFFF};
  if (delta <= 0) return;
  auto shift = [delta](std::vector<int32_t>& table) {
    for (int32_t& entry : table) entry = entry - delta < 0 ? kNone : entry - delta;
  };
  shift(head_);
  shift(chain_);
  base_offset_ += delta;
  buffer_base_ -= delta;
  scan_pos_ -= delta;
  data_end_ -= delta;
  window_start_ -= delta;
  slide_mark_ -= delta;
}

void DfInputWindow::ReadSourceBytes(uint8_t* buffer, int32_t count, int64_t offset) {
  const int64_t saved = source_.Position();
  source_.SetPosition(source_origin_ + offset);
  source_.ReadBuffer(std::span<uint8_t>(buffer, static_cast<size_t>(count)));
  source_.SetPosition(saved);
}

}  // namespace vz
