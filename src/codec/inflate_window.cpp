// DfOutputWindow: output buffer and match history of the inflate decoder; see inflate_window.h.
#include "codec/inflate_window.h"

#include <cstring>
#include <limits>

namespace vz {

namespace {
constexpr size_t kCopySlack = 64;
}

DfOutputWindow::DfOutputWindow(Stream* destination, bool deflate64, bool use_crc32,
                               int64_t output_limit, bool test_mode)
    : destination_(destination),
      test_mode_(test_mode),
      use_crc32_(use_crc32),
      checksum_(use_crc32 ? 0xFFFFFFFFu : 1u),
      history_(deflate64 ? 65536 : 32768) {
  const size_t longest_match = deflate64 ? 65538 : 258;
  flush_at_ = history_ + kWorkArea;
  // Never read before written: matches are checked against the output produced so far.
  buf_ = std::make_unique_for_overwrite<uint8_t[]>(flush_at_ + longest_match + kCopySlack);
  limit_ = output_limit > 0 ? output_limit : std::numeric_limits<int64_t>::max();
  limit_rel_ = limit_;
}

DfOutputWindow::~DfOutputWindow() {
  try {
    WriteOut();
  } catch (...) {
  }
}

void DfOutputWindow::WriteOut() {
  if (pos_ <= written_) return;
  const size_t n = pos_ - written_;
  const uint8_t* data = buf_.get() + written_;
  // Mark the bytes done first, so that a failing destination does not see them twice.
  written_ = pos_;
  if (use_crc32_) {
    UpdateCrc32(checksum_, data, static_cast<int64_t>(n));
  } else {
    UpdateAdler32(checksum_, data, static_cast<int64_t>(n));
  }
  if (test_mode_) {
    bytes_passed_ += static_cast<int64_t>(n);
  } else {
    destination_->WriteBuffer({data, n});
  }
}

void DfOutputWindow::Slide() {
  WriteOut();
  if (pos_ <= history_) return;
  const size_t drop = pos_ - history_;
  std::memmove(buf_.get(), buf_.get() + drop, history_);
  base_total_ += static_cast<int64_t>(drop);
  pos_ = written_ = history_;
  limit_rel_ = limit_ == std::numeric_limits<int64_t>::max() ? limit_ : limit_ - base_total_;
}

uint8_t* DfOutputWindow::Reserve(int64_t count) {
  if (pos_ + static_cast<size_t>(count) > flush_at_) Slide();
  return buf_.get() + pos_;
}

void DfOutputWindow::PutBytes(const uint8_t* data, int64_t count) {
  while (count > 0) {
    const int64_t n = count < 16384 ? count : 16384;
    std::memcpy(Reserve(n), data, static_cast<size_t>(n));
    pos_ += static_cast<size_t>(n);
    data += n;
    count -= n;
  }
}

void DfOutputWindow::CopyMatch(int length, int distance) {
  if (distance > BytesOutput()) throw InternalInflateError("invalid distance: too far back");
  if (pos_ >= flush_at_) Slide();
  uint8_t* dst = buf_.get() + pos_;
  const uint8_t* src = dst - distance;
  if (length <= distance) {
    std::memcpy(dst, src, static_cast<size_t>(length));
  } else {
    for (int i = 0; i < length; ++i) dst[i] = src[i];
  }
  pos_ += static_cast<size_t>(length);
  TestLimit();
}

uint32_t DfOutputWindow::FinalChecksum() {
  WriteOut();
  return use_crc32_ ? ~checksum_ : checksum_;
}

}  // namespace vz
