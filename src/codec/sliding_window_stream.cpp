// The legacy decoders' 40 KB output window. Chunk 4 is the one being filled; chunks 0 to 3 are
// full (or lie before the start of the output), so a position maps to chunk and offset by plain
// division.
#include "codec/sliding_window_stream.h"

#include <algorithm>
#include <cstring>

#include "errors/errors.h"

namespace vz {

namespace {
constexpr int64_t kWindowSize = SlidingWindowStream::kChunkSize * SlidingWindowStream::kChunkCount;
constexpr int64_t kLastChunkStart = kWindowSize - SlidingWindowStream::kChunkSize;
}  // namespace

SlidingWindowStream::SlidingWindowStream(Stream& underlying)
    : underlying_(underlying), origin_(underlying.Position()) {
  for (auto& chunk : chunks_) {
    chunk = std::make_unique<uint8_t[]>(static_cast<size_t>(kChunkSize));  // zero-filled
  }
}

SlidingWindowStream::~SlidingWindowStream() {
  try {
    FlushAllChunks();
  } catch (...) {
    // A destructor cannot report; the decoder flushes explicitly on its normal path.
  }
}

int64_t SlidingWindowStream::Write(std::span<const uint8_t> buffer) {
  if (buffer_start_ + position_in_buffer_ != size_) throw SWSNotAtEndError();
  const int64_t count = std::min<int64_t>(static_cast<int64_t>(buffer.size()), kMaxTransfer);
  int64_t done = 0;
  while (done < count) {
    const int64_t in_chunk = position_in_buffer_ - kLastChunkStart;
    const int64_t n = std::min(count - done, kChunkSize - in_chunk);
    std::memcpy(chunks_[kChunkCount - 1].get() + in_chunk, buffer.data() + done,
                static_cast<size_t>(n));
    done += n;
    position_in_buffer_ += n;
    dirty_ = true;
    if (position_in_buffer_ == kWindowSize) {
      SlideWindow();
    } else {
      last_fill_ = position_in_buffer_ - kLastChunkStart;
    }
  }
  size_ += count;
  return count;
}

int64_t SlidingWindowStream::Read(std::span<uint8_t> buffer) {
  const int64_t position = buffer_start_ + position_in_buffer_;
  const int64_t count =
      std::min({static_cast<int64_t>(buffer.size()), kMaxTransfer, size_ - position});
  int64_t done = 0;
  while (done < count) {
    const auto chunk = static_cast<size_t>(position_in_buffer_ / kChunkSize);
    const int64_t in_chunk = position_in_buffer_ % kChunkSize;
    const int64_t n = std::min(count - done, kChunkSize - in_chunk);
    std::memcpy(buffer.data() + done, chunks_[chunk].get() + in_chunk, static_cast<size_t>(n));
    done += n;
    position_in_buffer_ += n;
  }
  return std::max<int64_t>(count, 0);
}

int64_t SlidingWindowStream::Seek(int64_t offset, int origin) {
  int64_t target;
  switch (origin) {
    case kSeekBegin:
      target = offset;
      break;
    case kSeekCurrent:
      target = buffer_start_ + position_in_buffer_ + offset;
      break;
    case kSeekEnd:
      target = size_ + offset;
      break;
    default:
      throw SWSInvalidOriginError();
  }
  if (target < WindowStart() || target > size_) throw SWSInvalidPositionError();
  position_in_buffer_ = target - buffer_start_;
  return target;
}

void SlidingWindowStream::WriteChunk(int index) {
  const int64_t position = buffer_start_ + index * kChunkSize;
  if (position < 0) return;
  const int64_t target = origin_ + position;
  if (underlying_.Seek(target, kSeekBegin) != target) throw SWSSeekFailedError();
  const int64_t length = index == kChunkCount - 1 ? last_fill_ : kChunkSize;
  if (length == 0) return;
  const int64_t written =
      underlying_.Write({chunks_[static_cast<size_t>(index)].get(), static_cast<size_t>(length)});
  if (written != length) throw SWSWriteFailedError();
}

void SlidingWindowStream::SlideWindow() {
  WriteChunk(0);
  std::rotate(chunks_.begin(), chunks_.begin() + 1, chunks_.end());
  buffer_start_ += kChunkSize;
  position_in_buffer_ = kLastChunkStart;
  last_fill_ = 0;
}

void SlidingWindowStream::FlushAllChunks() {
  if (!dirty_) return;
  for (int i = 0; i < kChunkCount; ++i) WriteChunk(i);
  dirty_ = false;
}

}  // namespace vz
