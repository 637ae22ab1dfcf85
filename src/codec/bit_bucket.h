// The output of an integrity test: a stream that keeps only the most recent bytes written to it,
// in a ring, so decoders that read back their own output (the legacy methods' sliding windows) can
// still do so while nothing is stored.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/stream.h"

namespace vz {

class BitBucketStream : public Stream {
 public:
  // capacity 4,096, 8,192 or 32,768; any other value means 32,768. The ring holds 1,024 more.
  explicit BitBucketStream(int32_t capacity = 32768);

  // Appends at the end, wherever the position was; more than the ring holds raises
  // BBSWriteTooManyBytesError.
  int64_t Write(std::span<const uint8_t> buffer) override;
  // Delivers exactly buffer.size() bytes from the position, or raises BBSReadTooManyBytesError.
  int64_t Read(std::span<uint8_t> buffer) override;
  // The position must stay within the bytes the ring still holds (BBSSeekOutsideBufferError);
  // origins other than 0, 1, 2 raise BBSInvalidOriginError.
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return size_; }

 private:
  std::vector<uint8_t> ring_;
  int64_t buffer_size_;
  int64_t read_index_ = 0;
  int64_t position_ = 0;
  int64_t size_ = 0;
  int64_t tail_ = 0;
};

}  // namespace vz
