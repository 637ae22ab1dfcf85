// The input side of Deflate decoding: DfInBitStream, the bit reader of the inflate decoder.
//
// Input arrives in reads of 16 KiB into one buffer. The reader behaves as if bits moved into a
// 32-bit reservoir four bytes at a time: a refill of the buffer (and so a read of the source and a
// progress report) happens exactly when a peek or read needs a bit beyond the last whole word in
// the buffer. The decoder itself works on a 64-bit bit buffer loaded eight bytes at a time; it asks
// NeedsRefill before a step whose bits might pass that point and then takes the exact path.
//
// Past the end of the source, peeks see zero bits (so a decoder can peek a whole symbol's worth
// without an end test); reading or discarding such bits fails. The source bytes are padded with
// zero bytes to a multiple of four, as the word-wise reservoir would see them.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>

#include "codec/deflate_base.h"
#include "platform/stream.h"

namespace vz {

class DfInBitStream {
 public:
  static constexpr int kBufferSize = 16384;

  // progress may be empty; it is used only when source_size is above 0.
  DfInBitStream(Stream* source, int64_t source_size, DeflateHelper::PercentDone progress);
  DfInBitStream(const DfInBitStream&) = delete;
  DfInBitStream& operator=(const DfInBitStream&) = delete;
  // Gives back the input read ahead but not used (see GiveBack).
  ~DfInBitStream();

  // The next n bits (0..32), first bit lowest, without consuming them.
  uint32_t PeekBits(int n);
  // Consumes n bits (1..32, at most the last peek's count).
  void DiscardBits(int n);
  uint32_t ReadBit();
  // n bits (1..16), consumed.
  uint32_t ReadBits(int n);
  // Drops the bits up to the next byte boundary.
  void ByteAlign() { Consume(static_cast<int>((8 - Cursor() % 8) % 8)); }
  // Reads count whole bytes; the stream must be at a byte boundary.
  void ReadBuffer(uint8_t* dest, int64_t count);
  // Seeks the source to the first byte after the last one used wholly or in part. Called once,
  // by the destructor at the latest.
  void GiveBack();

  // Bits consumed so far, from the start.
  int64_t Cursor() const { return 8 * (base_ + static_cast<int64_t>(pos_)) - bitcnt_; }

 private:
  friend class InflateDecoder;

  // Refills the byte buffer keeping `leftover` bytes before its end; false when no byte at all
  // could be had.
  bool FillBuffer(size_t leftover);
  // Refills until bits up to Cursor() + n are in the buffer or the source is exhausted.
  void EnsureFor(int n) {
    while (Cursor() + n > 8 * (base_ + static_cast<int64_t>(aligned_end_)) && !exhausted_) {
      FillBuffer(end_ - aligned_end_);
    }
  }
  // Loads the bit buffer to at least 56 bits (zero bits past the buffer's end).
  void Fill() {
    if (bitcnt_ < 56) {
      uint64_t word;
      std::memcpy(&word, buf_.get() + pos_, 8);
      bitbuf_ |= word << bitcnt_;
      pos_ += static_cast<size_t>((63 - bitcnt_) >> 3);
      bitcnt_ |= 56;
    }
  }
  void Consume(int n) {
    Fill();
    bitbuf_ >>= n;
    bitcnt_ -= n;
  }
  // Rebuilds the bit buffer at an absolute bit position after the byte buffer moved.
  void Resync(int64_t cursor);
  void UpdateAlignedEnd() {
    const int64_t end = base_ + static_cast<int64_t>(end_);
    aligned_end_ = static_cast<size_t>(grid_ + ((end - grid_) & ~int64_t{3}) - base_);
  }
  int64_t EndBits() const { return 8 * (base_ + static_cast<int64_t>(end_)); }

  // Zero bytes kept after the valid ones: the 64-bit loads may run that far past the end.
  static constexpr size_t kSlack = 48;
  // A refill keeps up to 7 bytes not yet used wholly (the leftover plus the partly read word).
  static constexpr size_t kAllocSize = kBufferSize + 8 + kSlack;

  Stream* source_;
  int64_t source_size_;
  DeflateHelper::PercentDone progress_;
  std::unique_ptr<uint8_t[]> buf_;
  int64_t base_ = 0;        // absolute offset of buf_[0] (source bytes plus padding)
  size_t end_ = 0;          // valid bytes in buf_
  size_t aligned_end_ = 0;  // end of the last whole word (relative to buf_)
  int64_t grid_ = 0;        // absolute offset words are counted from (moves after byte reads)
  bool exhausted_ = false;
  uint64_t bitbuf_ = 0;  // bits from the cursor on, first bit lowest
  int bitcnt_ = 0;       // valid bits in bitbuf_
  size_t pos_ = 0;       // next buf_ byte to load into bitbuf_
  int peek_count_ = 0;
  int64_t bytes_read_ = 0;  // real bytes obtained from the source
  int zero_fill_ = 0;
  bool given_back_ = false;
};

}  // namespace vz
