// The output side of the legacy decoders that copy from their own earlier output (reduce and
// implode). It keeps the most recent 40 KB of what was written in five 8 KB chunks and passes older
// data on to the real output, so those bytes can be read back even when the real output cannot
// seek back (a bit bucket) or is a file being written.
//
// Only appending is allowed; positions count from where the real output stood when the window was
// made, so an item written into a stream that already holds data lands after that data. Chunks
// are written to the real output in order, each exactly once, as they leave the window and at the
// end (FlushAllChunks, also run by the destructor).
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "platform/stream.h"

namespace vz {

class SlidingWindowStream : public Stream {
 public:
  static constexpr int64_t kChunkSize = 8192;
  static constexpr int kChunkCount = 5;
  static constexpr int64_t kMaxTransfer = 32768;

  explicit SlidingWindowStream(Stream& underlying);
  // Writes what is still held; failures are swallowed here (call FlushAllChunks to see them).
  ~SlidingWindowStream() override;

  // Appends up to 32 KB; the position must be at the end (SWSNotAtEndError).
  int64_t Write(std::span<const uint8_t> buffer) override;
  // Reads up to 32 KB from the position, never beyond the end.
  int64_t Read(std::span<uint8_t> buffer) override;
  // Origins 0, 1, 2 (else SWSInvalidOriginError); the result must lie within the window and not
  // below 0 (else SWSInvalidPositionError).
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return size_; }

  // Writes every chunk not yet passed on to the real output.
  void FlushAllChunks();
  // First stream position still held in the window.
  int64_t WindowStart() const { return buffer_start_ < 0 ? 0 : buffer_start_; }

 private:
  void WriteChunk(int index);
  void SlideWindow();

  Stream& underlying_;
  int64_t origin_;
  std::array<std::unique_ptr<uint8_t[]>, kChunkCount> chunks_;
  int64_t buffer_start_ = -(kChunkCount - 1) * kChunkSize;
  int64_t position_in_buffer_ = (kChunkCount - 1) * kChunkSize;
  int64_t size_ = 0;
  int64_t last_fill_ = 0;
  bool dirty_ = false;
};

}  // namespace vz
