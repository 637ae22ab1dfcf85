// DfInBitStream: buffered bit reader over a source stream; see deflate_streams.h.
#include "codec/deflate_streams.h"

#include "codec/percent.h"

#include "platform/runtime_errors.h"

namespace vz {

DfInBitStream::DfInBitStream(Stream* source, int64_t source_size,
                             DeflateHelper::PercentDone progress)
    : source_(source), source_size_(source_size) {
  Check(source != nullptr,
        "DfInBitStream.Create: Cannot create a bit stream wrapping a nil stream");
  if (progress && source_size > 0) progress_ = std::move(progress);
  // Only the slack after the valid bytes is ever read before it is written.
  buf_ = std::make_unique_for_overwrite<uint8_t[]>(kAllocSize);
  std::memset(buf_.get(), 0, kSlack);
}

DfInBitStream::~DfInBitStream() {
  try {
    GiveBack();
  } catch (...) {  // a destructor cannot report; GiveBack is normally called explicitly
  }
}

void DfInBitStream::GiveBack() {
  if (given_back_) return;
  given_back_ = true;
  const int64_t used = (Cursor() + 7) / 8;
  const int64_t unread = base_ + static_cast<int64_t>(end_) - used;
  const int64_t here = source_->Seek(0, kSeekCurrent);
  source_->Seek(here + zero_fill_ - unread, kSeekBegin);
}

void DfInBitStream::Resync(int64_t cursor) {
  pos_ = static_cast<size_t>(cursor / 8 - base_);
  bitbuf_ = 0;
  bitcnt_ = 0;
  Fill();
  const int skip = static_cast<int>(cursor % 8);
  bitbuf_ >>= skip;
  bitcnt_ -= skip;
}

bool DfInBitStream::FillBuffer(size_t leftover) {
  Check(leftover < 4, "DfInBitStream.ibsFillBuffer: the buffer should be almost empty");
  const int64_t cursor = Cursor();
  // Keep the leftover bytes and any bytes still partly unread before them.
  size_t keep_from = end_ - leftover;
  const auto cursor_byte = static_cast<size_t>(cursor / 8 - base_);
  if (cursor_byte < keep_from) keep_from = cursor_byte;
  std::memmove(buf_.get(), buf_.get() + keep_from, end_ - keep_from);
  base_ += static_cast<int64_t>(keep_from);
  end_ -= keep_from;

  const int64_t got = source_->Read({buf_.get() + end_, kBufferSize - leftover});
  if (leftover == 0 && got <= 0) {
    exhausted_ = true;
    std::memset(buf_.get() + end_, 0, kSlack);
    // The bytes moved: the end of the whole words moves with them.
    UpdateAlignedEnd();
    Resync(cursor);
    return false;
  }
  end_ += static_cast<size_t>(got > 0 ? got : 0);
  if (got <= 0) {
    // The source ended inside a word: complete it with zero bytes.
    zero_fill_ = static_cast<int>(4 - leftover);
    std::memset(buf_.get() + end_, 0, static_cast<size_t>(zero_fill_));
    end_ += static_cast<size_t>(zero_fill_);
  }
  std::memset(buf_.get() + end_, 0, kSlack);
  UpdateAlignedEnd();
  Resync(cursor);
  if (progress_) {
    bytes_read_ += got > 0 ? got : 0;
    progress_(RoundedPercent(bytes_read_, source_size_));
  } else {
    bytes_read_ += got > 0 ? got : 0;
  }
  return true;
}

uint32_t DfInBitStream::PeekBits(int n) {
  Check(n >= 0 && n <= 32,
        "DfInBitStream.PeekBits: count of bits must be between 1 and 32 inclusive");
  EnsureFor(n);
  Fill();
  peek_count_ = n;
  return static_cast<uint32_t>(bitbuf_ & ((uint64_t{1} << n) - 1));
}

void DfInBitStream::DiscardBits(int n) {
  if (n < 1 || n > 32) {
    throw InternalInflateError(
        "count of bits must be between 1 and 32 inclusive [DfInBitStream.DiscardBits]");
  }
  Check(n <= peek_count_, "DfInBitStream.DiscardBits: discarding more bits than peeked");
  peek_count_ = 0;
  if (Cursor() + n > EndBits()) {
    throw InternalInflateError("no more compressed data in stream [DfInBitStream.DiscardBits]");
  }
  Consume(n);
}

uint32_t DfInBitStream::ReadBit() {
  EnsureFor(1);
  if (Cursor() + 1 > EndBits()) {
    throw InternalInflateError("no more compressed data in stream [DfInBitStream.ReadBit]");
  }
  Fill();
  const auto bit = static_cast<uint32_t>(bitbuf_ & 1);
  Consume(1);
  return bit;
}

uint32_t DfInBitStream::ReadBits(int n) {
  if (n < 1 || n > 16) {
    throw InternalInflateError(
        "count of bits must be between 1 and 16 inclusive [DfInBitStream.ReadBits]");
  }
  EnsureFor(n);
  if (Cursor() + n > EndBits()) {
    throw InternalInflateError("no more compressed data in stream [DfInBitStream.ReadBits]");
  }
  Fill();
  const auto bits = static_cast<uint32_t>(bitbuf_ & ((uint64_t{1} << n) - 1));
  Consume(n);
  return bits;
}

void DfInBitStream::ReadBuffer(uint8_t* dest, int64_t count) {
  Check(Cursor() % 8 == 0,
        "DfInBitStream.ReadBuffer. cannot read a buffer unless the stream is byte-aligned");
  int64_t at = Cursor() / 8;  // absolute byte
  while (count > 0) {
    const int64_t in_buffer = base_ + static_cast<int64_t>(end_) - at;
    if (in_buffer <= 0) {
      // The buffer is used up: refill it whole. The cursor must stand at its end for that.
      Resync(8 * at);
      if (!FillBuffer(0)) {
        throw InternalInflateError("no more compressed data in stream [DfInBitStream.ReadBuffer]");
      }
      continue;
    }
    const int64_t n = in_buffer < count ? in_buffer : count;
    std::memcpy(dest, buf_.get() + (at - base_), static_cast<size_t>(n));
    dest += n;
    at += n;
    count -= n;
  }
  // Whole-word counting restarts after byte reads.
  grid_ = at;
  UpdateAlignedEnd();
  Resync(8 * at);
}

}  // namespace vz
