#include "platform/memory_stream.h"

#include <algorithm>
#include <cstring>

namespace vz {

int64_t MemoryStream::Read(std::span<uint8_t> buffer) {
  const int64_t size = Size();
  if (position_ >= size || buffer.empty()) return 0;
  const int64_t n = std::min<int64_t>(static_cast<int64_t>(buffer.size()), size - position_);
  std::memcpy(buffer.data(), data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t MemoryStream::Write(std::span<const uint8_t> buffer) {
  if (buffer.empty()) return 0;
  const int64_t end = position_ + static_cast<int64_t>(buffer.size());
  if (end > Size()) data_.resize(static_cast<size_t>(end));
  std::memcpy(data_.data() + position_, buffer.data(), buffer.size());
  position_ = end;
  return static_cast<int64_t>(buffer.size());
}

int64_t MemoryStream::Seek(int64_t offset, int origin) {
  int64_t base = position_;
  if (origin == kSeekBegin) base = 0;
  if (origin == kSeekEnd) base = Size();
  position_ = std::max<int64_t>(0, base + offset);
  return position_;
}

void MemoryStream::SetSize(int64_t new_size) {
  data_.resize(static_cast<size_t>(std::max<int64_t>(0, new_size)));
  position_ = std::min(position_, Size());
}

}  // namespace vz
