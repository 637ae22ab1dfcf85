#include "codec/bit_bucket.h"

#include <algorithm>
#include <cstring>

#include "errors/errors.h"

namespace vz {

BitBucketStream::BitBucketStream(int32_t capacity) {
  if (capacity != 4096 && capacity != 8192 && capacity != 32768) capacity = 32768;
  buffer_size_ = capacity + 1024;
  ring_.resize(static_cast<size_t>(buffer_size_));
}

int64_t BitBucketStream::Write(std::span<const uint8_t> buffer) {
  const auto count = static_cast<int64_t>(buffer.size());
  if (count > buffer_size_) throw BBSWriteTooManyBytesError(static_cast<int>(count));
  int64_t done = 0;
  while (done < count) {
    const int64_t n = std::min(count - done, buffer_size_ - tail_);
    std::memcpy(ring_.data() + tail_, buffer.data() + done, static_cast<size_t>(n));
    tail_ = (tail_ + n) % buffer_size_;
    done += n;
  }
  size_ += count;
  position_ = size_;
  read_index_ = tail_;
  return count;
}

int64_t BitBucketStream::Read(std::span<uint8_t> buffer) {
  const auto count = static_cast<int64_t>(buffer.size());
  const int64_t available = size_ - position_;
  if (count > buffer_size_ || count > available) {
    throw BBSReadTooManyBytesError(static_cast<int>(count));
  }
  int64_t done = 0;
  while (done < count) {
    const int64_t n = std::min(count - done, buffer_size_ - read_index_);
    std::memcpy(buffer.data() + done, ring_.data() + read_index_, static_cast<size_t>(n));
    read_index_ = (read_index_ + n) % buffer_size_;
    done += n;
  }
  position_ += count;
  return count;
}

int64_t BitBucketStream::Seek(int64_t offset, int origin) {
  int64_t target;
  switch (origin) {
    case kSeekBegin:
      target = offset;
      break;
    case kSeekCurrent:
      target = position_ + offset;
      break;
    case kSeekEnd:
      if (offset == 0) return size_;
      target = size_ + offset;
      break;
    default:
      throw BBSInvalidOriginError();
  }
  if (target <= size_ - buffer_size_ || target > size_ || target < 0) {
    throw BBSSeekOutsideBufferError();
  }
  // The ring index of a position counts back from the tail, which stands for the size.
  read_index_ = ((tail_ - (size_ - target)) % buffer_size_ + buffer_size_) % buffer_size_;
  position_ = target;
  return position_;
}

}  // namespace vz
