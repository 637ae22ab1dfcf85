// DfOutputWindow: where the inflate decoder puts its output, which is also the history that
// matches copy from.
//
// The buffer holds the history (32 KiB, or 64 KiB for Deflate64) followed by a large work area, so
// the decoder writes straight into memory and the destination and the checksum see big pieces.
// When the work area is full its bytes are checksummed and written out and the last history's
// worth of bytes moves to the front. A margin after the work area takes the longest match that may
// start just before the flush point, plus a few bytes that word-wise match copies may overrun.
#pragma once

#include <cstdint>
#include <memory>

#include "codec/deflate_base.h"
#include "platform/stream.h"

namespace vz {

class DfOutputWindow {
 public:
  // output_limit below 1 means none: decoding stops (PartSizedInflateError) once the output
  // reaches the limit. In test mode nothing is written; the bytes are only counted.
  DfOutputWindow(Stream* destination, bool deflate64, bool use_crc32, int64_t output_limit,
                 bool test_mode);
  DfOutputWindow(const DfOutputWindow&) = delete;
  DfOutputWindow& operator=(const DfOutputWindow&) = delete;
  // Writes out what the buffer still holds; a failure there is dropped (call WriteOut first to
  // see it).
  ~DfOutputWindow();

  void PutByte(uint8_t b) {
    if (pos_ >= flush_at_) Slide();
    buf_[pos_++] = b;
    TestLimit();
  }
  // Stored data; no limit test.
  void PutBytes(const uint8_t* data, int64_t count);
  // Copies length bytes from distance bytes back (a short distance repeats its pattern). A
  // distance reaching before the first byte of output is an InternalInflateError.
  void CopyMatch(int length, int distance);

  // Everything produced so far.
  int64_t BytesOutput() const { return base_total_ + static_cast<int64_t>(pos_); }
  // Writes out what the buffer holds and returns the checksum (CRC-32 finished, or Adler-32).
  uint32_t FinalChecksum();
  // Checksums and writes out the bytes not written yet.
  void WriteOut();

 private:
  friend class InflateDecoder;

  void TestLimit() const {
    if (static_cast<int64_t>(pos_) >= limit_rel_) throw PartSizedInflateError();
  }
  // Writes out and keeps only the history.
  void Slide();
  // Room for one stored piece of up to `count` bytes at pos_.
  uint8_t* Reserve(int64_t count);

  static constexpr size_t kWorkArea = 256 * 1024;

  Stream* destination_;
  bool test_mode_;
  bool use_crc32_;
  uint32_t checksum_;
  size_t history_;
  size_t flush_at_;
  std::unique_ptr<uint8_t[]> buf_;
  size_t pos_ = 0;          // next output byte
  size_t written_ = 0;      // bytes of buf_ already written out
  int64_t base_total_ = 0;  // output count before buf_[0]
  int64_t limit_ = 0;       // absolute limit, or INT64_MAX
  int64_t limit_rel_ = 0;   // the limit relative to buf_
  int64_t bytes_passed_ = 0;
};

}  // namespace vz
