// The streams a save writes through: the new archive's output, buffered over a file, and the
// window on it that one item's data sees.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/runtime_errors.h"
#include "platform/stream.h"

namespace vz {

// Where a save writes the new archive. It remembers a failed write, so that a full disk ends the
// save instead of passing for the failure of the item being written, and it counts what passes
// when the target cannot tell a position (the parts of a spanned set).
//
// Over a file it also gathers what is written into one buffer of up to kPending bytes, written
// out when the writing moves elsewhere or the buffer is full, and by Flush at the end. A small
// item's local header, its data and the completed header then cost no system call of their own.
// A write that fails on the way out marks the output failed, as a direct write would.
class SaveOutput : public Stream {
 public:
  static constexpr size_t kPending = size_t{1} << 20;

  SaveOutput(Stream& target, bool seekable, bool buffered = false)
      : target_(target), seekable_(seekable), buffered_(seekable && buffered) {
    if (buffered_) {
      position_ = target_.Position();
      size_ = target_.Size();
      pending_start_ = position_;
    }
  }

  int64_t Read(std::span<uint8_t> buffer) override {
    if (!buffered_) return target_.Read(buffer);
    if (!FlushPending()) return 0;
    target_.SetPosition(position_);
    const int64_t n = target_.Read(buffer);
    position_ += n;
    pending_start_ = position_;
    return n;
  }
  int64_t Write(std::span<const uint8_t> buffer) override {
    if (buffered_) return WriteBuffered(buffer);
    const int64_t n = target_.Write(buffer);
    if (n < static_cast<int64_t>(buffer.size())) failed_ = true;
    if (!seekable_) counted_ += n;
    return n;
  }
  int64_t Seek(int64_t offset, int origin) override {
    if (buffered_) {
      const int64_t from = origin == kSeekBegin ? 0 : origin == kSeekEnd ? size_ : position_;
      position_ = std::max<int64_t>(from + offset, 0);
      return position_;
    }
    if (seekable_) return target_.Seek(offset, origin);
    Check(origin == kSeekCurrent && offset == 0,
          "Output.Seek: the parts of a set are written in order");
    return counted_;
  }
  int64_t Size() override {
    if (buffered_) return size_;
    return seekable_ ? target_.Size() : counted_;
  }
  void SetSize(int64_t new_size) override {
    if (!seekable_) {
      Check(new_size == counted_, "Output.SetSize: the parts of a set are written in order");
      return;
    }
    if (buffered_ && !FlushPending()) throw StreamWriteError();
    try {
      target_.SetSize(new_size);
    } catch (...) {
      failed_ = true;
      throw;
    }
    if (buffered_) size_ = new_size;
  }

  // Writes out what is gathered; a failure to do so ends the save.
  void Flush() {
    if (buffered_ && !FlushPending()) throw StreamWriteError();
  }

  bool Seekable() const { return seekable_; }
  bool Failed() const { return failed_; }

 private:
  int64_t WriteBuffered(std::span<const uint8_t> buffer) {
    const auto n = static_cast<int64_t>(buffer.size());
    const int64_t offset = position_ - pending_start_;
    if (offset < 0 || offset > static_cast<int64_t>(pending_.size()) ||
        offset + n > static_cast<int64_t>(kPending)) {
      if (!FlushPending()) return 0;
    }
    if (buffer.size() >= kPending) {
      // Large pieces go straight out.
      target_.SetPosition(position_);
      const int64_t written = target_.Write(buffer);
      if (written < n) failed_ = true;
      position_ += written;
      size_ = std::max(size_, position_);
      pending_start_ = position_;
      return written;
    }
    const auto at = static_cast<size_t>(position_ - pending_start_);
    if (pending_.capacity() < kPending) pending_.reserve(kPending);
    if (at + buffer.size() > pending_.size()) pending_.resize(at + buffer.size());
    std::copy(buffer.begin(), buffer.end(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
    position_ += n;
    size_ = std::max(size_, position_);
    return n;
  }

  // Writes the gathered bytes where they belong and starts gathering at the current position.
  bool FlushPending() {
    if (failed_) return false;
    if (!pending_.empty()) {
      target_.SetPosition(pending_start_);
      if (target_.Write(pending_) < static_cast<int64_t>(pending_.size())) failed_ = true;
      pending_.clear();
    }
    pending_start_ = position_;
    return !failed_;
  }

  Stream& target_;
  bool seekable_;
  bool buffered_;
  bool failed_ = false;
  int64_t counted_ = 0;
  // Buffered only: the position and size as the writer sees them, and where the gathered bytes
  // begin in the target.
  int64_t position_ = 0;
  int64_t size_ = 0;
  int64_t pending_start_ = 0;
  std::vector<uint8_t> pending_;
};

// The output from base on, as an item's data sees it: an insert procedure writes, seeks and cuts
// its data as in a stream of its own.
class ItemWindow : public Stream {
 public:
  ItemWindow(Stream& stream, int64_t base) : stream_(stream), base_(base) {}

  int64_t Read(std::span<uint8_t> buffer) override { return stream_.Read(buffer); }
  int64_t Write(std::span<const uint8_t> buffer) override { return stream_.Write(buffer); }
  int64_t Seek(int64_t offset, int origin) override {
    if (origin == kSeekBegin) offset = std::max<int64_t>(offset, 0) + base_;
    return std::max<int64_t>(stream_.Seek(offset, origin) - base_, 0);
  }
  int64_t Size() override { return std::max<int64_t>(stream_.Size() - base_, 0); }
  void SetSize(int64_t new_size) override {
    stream_.SetSize(base_ + std::max<int64_t>(new_size, 0));
  }

 private:
  Stream& stream_;
  int64_t base_;
};

}  // namespace vz
