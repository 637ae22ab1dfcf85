// Parts are plain files; the owner decides their names through the image request hook. Writing
// fills each part up to the threshold and then asks for the next; reading serves one part at a time
// and asks for the next when a read finds the current one exhausted.
#include "archive/span_stream.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "archive/utils.h"
#include "codec/percent.h"
#include "errors/errors.h"
#include "platform/fs.h"

namespace vz {
namespace {

constexpr int64_t kMaxPartSize = 0x7FFFFFFF;
// A hook that keeps answering with unusable names is asked this many times, then writing fails.
constexpr int kMaxRequestsPerPart = 100;
// The zip format numbers disks with 16 bits; no set has more parts.
constexpr int kMaxSpanNumber = 0xFFFF;

// name with its extension (if any) replaced by extension.
std::string WithExtension(const std::string& name, const std::string& extension) {
  const size_t slash = LastSeparator(name);
  const size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return name + extension;
  }
  return name.substr(0, dot) + extension;
}

}  // namespace

SpanStream::SpanStream(const std::string& file_name, int64_t threshold, MediaKind media,
                       uint16_t mode)
    : writing_(IsWritingMode(mode)),
      media_(media),
      threshold_(std::max<int64_t>(threshold, 0)),
      file_mode_(mode),
      image_name_(file_name) {
  if (PathKindOf(file_name) != pkAbsolute) throw ArchiveError("Full Path Required");
  if (writing_ && !IsValidMedium(file_name)) throw ArchiveError("Invalid Media");
  part_ = std::make_unique<FileStream>(file_name, mode);
  if (writing_) {
    written_parts_.insert(file_name);
  } else {
    StartReadingPart();
  }
}

void SpanStream::StartReadingPart() {
  position_ = 0;
  buffer_length_ = 0;
  RefreshPartSize();
}

int64_t SpanStream::RefreshPartSize() {
  part_size_ = part_ ? part_->Size() : 0;
  return part_size_;
}

int64_t SpanStream::ReadHere(std::span<uint8_t> buffer) {
  size_t done = 0;
  while (done < buffer.size()) {
    const int64_t offset = position_ - buffer_start_;
    if (offset >= 0 && offset < static_cast<int64_t>(buffer_length_)) {
      const size_t n = std::min(buffer.size() - done, buffer_length_ - static_cast<size_t>(offset));
      std::memcpy(buffer.data() + done, read_buffer_.data() + offset, n);
      done += n;
      position_ += static_cast<int64_t>(n);
      continue;
    }
    const std::span<uint8_t> rest = buffer.subspan(done);
    if (rest.size() >= kReadBufferSize) {
      const int64_t n = part_->ReadAt(position_, rest);
      position_ += n;
      done += static_cast<size_t>(n);
      break;
    }
    if (read_buffer_.empty()) read_buffer_.resize(kReadBufferSize);
    const int64_t n = part_->ReadAt(position_, read_buffer_);
    buffer_start_ = position_;
    buffer_length_ = static_cast<size_t>(n);
    if (n <= 0) break;
  }
  if (position_ > part_size_) part_size_ = position_;
  return static_cast<int64_t>(done);
}

SpanStream::~SpanStream() = default;

bool SpanStream::IsValidMedium(const std::string& file_name) {
  if (file_name.empty()) return false;
  return FreeSpaceOf(file_name) != -1 || !platform::PathExists(file_name);
}

int SpanStream::ImageNumberForReading() const {
  return span_number_ + (media_ == MediaKind::kRemovable ? 1 : 0);
}

bool SpanStream::OpenRequestedPart(int image_number, bool mark_switch) {
  if (!OnRequestImage) return false;
  if (span_number_ > kMaxSpanNumber) throw FileNotFoundError();
  std::string name = image_name_;
  bool abort = false;
  OnRequestImage(this, image_number, name, abort);
  cancelled_ = abort;
  if (abort) throw UserAbortError();
  if (mark_switch) switched_while_reading_ = true;
  // A part to read must exist; a name that merely could hold a new file is not enough. The part
  // is named: the item that needed it is not what is missing.
  const auto status = platform::StatPath(name);
  const std::string part = "the set's part \"" + SplitFileSpec(name).file_name + "\"";
  if (!status) {
    throw FileNotFoundError(MessageText(FileNotFoundError::kCode) + ": " + part,
                            FileNotFoundError::kCode);
  }
  if (!status->is_regular) throw ArchiveError(part + ", is a " + status->kind + ", not a file");
  image_name_ = name;
  part_ = std::make_unique<FileStream>(name, file_mode_);
  if (!writing_) StartReadingPart();
  return true;
}

int64_t SpanStream::Read(std::span<uint8_t> buffer) {
  if (!part_) return 0;
  if (writing_) return part_->Read(buffer);
  if (!switching_suspended_ && !buffer.empty() && OnRequestImage && position_ >= part_size_ &&
      position_ >= RefreshPartSize()) {
    part_.reset();
    ++span_number_;
    OpenRequestedPart(ImageNumberForReading(), true);
  }
  return part_ ? ReadHere(buffer) : 0;
}

int64_t SpanStream::Available() {
  if (media_ == MediaKind::kLocal) {
    bytes_available_ = threshold_ - bytes_written_;
  } else {
    // The threshold caps the part; the free space already shrinks with what was written.
    const int64_t limit = (threshold_ == 0 ? kMaxPartSize : threshold_) - bytes_written_;
    const int64_t free_space = FreeSpaceOf(image_name_);
    bytes_available_ = free_space < 0 ? limit : std::min(limit, free_space);
  }
  return bytes_available_;
}

int64_t SpanStream::WriteToPart(std::span<const uint8_t> buffer) {
  if (!part_ || buffer.empty()) return 0;
  const int64_t written = part_->Write(buffer);
  bytes_written_ += written;
  return written;
}

void SpanStream::StartNewPart() {
  part_.reset();
  if (!OnRequestImage) throw ZipStreamFullError();
  std::string proposed;
  int image_number = 0;
  if (media_ == MediaKind::kLocal) {
    if (span_number_ < 99) {
      char extension[16];
      std::snprintf(extension, sizeof extension, ".z%02d", span_number_ + 2);
      proposed = WithExtension(image_name_, extension);
    }
    image_number = span_number_ + 1;
  } else {
    proposed = image_name_;
    image_number = span_number_ + 2;
  }
  for (int attempt = 1;; ++attempt) {
    std::string name = proposed;
    bool abort = false;
    OnRequestImage(this, image_number, name, abort);
    cancelled_ = abort;
    if (abort) throw UserAbortError();
    // On local media a name already used by this set would overwrite one of its parts.
    const bool reused = media_ == MediaKind::kLocal && written_parts_.contains(name);
    if (!reused && IsValidMedium(name)) {
      image_name_ = name;
      ++span_number_;
      bytes_written_ = 0;
      if (file_mode_ == kFmCreate) {
        part_ = std::make_unique<FileStream>(name, kFmCreate);
      } else {
        FileStream(name, kFmCreate);
        part_ = std::make_unique<FileStream>(name, file_mode_);
      }
      written_parts_.insert(name);
      return;
    }
    if (attempt >= kMaxRequestsPerPart) throw ZipStreamFullError();
  }
}

int64_t SpanStream::Write(std::span<const uint8_t> buffer) {
  if (!writing_ || !part_) return 0;
  const auto count = static_cast<int64_t>(buffer.size());
  int64_t done = 0;
  if (media_ == MediaKind::kLocal && threshold_ == 0) {
    done = WriteToPart(buffer);
  } else {
    const int64_t available = std::max<int64_t>(Available(), 0);
    if (available > count) {
      done = WriteToPart(buffer);
    } else {
      done = WriteToPart(buffer.first(static_cast<size_t>(available)));
      bool short_write = done < available;
      while (!short_write && done < count) {
        StartNewPart();
        const int64_t room = std::max<int64_t>(Available(), 0);
        const int64_t n = std::min(count - done, room);
        const int64_t written =
            WriteToPart(buffer.subspan(static_cast<size_t>(done), static_cast<size_t>(n)));
        done += written;
        short_write = written < n;
      }
    }
  }
  total_written_ += done;
  if (OnWriteProgress) {
    bool abort = false;
    OnWriteProgress(Percentage(total_written_, total_size_), abort);
    if (abort) return 0;
  }
  return done;
}

int64_t SpanStream::Seek(int64_t offset, int origin) {
  if (!part_) return 0;
  if (writing_) return part_->Position();
  const int64_t position = position_;
  // The size is looked at anew only when the seek is from the end or reaches past it.
  int64_t size = origin == kSeekEnd ? RefreshPartSize() : part_size_;
  int64_t base = position;
  if (origin == kSeekBegin) base = 0;
  if (origin == kSeekEnd) base = size;
  int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target)) target = offset < 0 ? INT64_MIN : INT64_MAX;
  if (target > size && origin != kSeekEnd) size = RefreshPartSize();
  if (switching_suspended_) return position_ = std::clamp<int64_t>(target, 0, size);
  if (target >= 0 && target <= size) return position_ = target;
  if (!OnRequestImage || (target < 0 && span_number_ == 0)) return position;
  for (;;) {
    if (target < 0) {
      if (span_number_ == 0) return position_ = 0;
      part_.reset();
      --span_number_;
      OpenRequestedPart(ImageNumberForReading(), false);
      size = part_size_;
      target += size;
    } else if (target > size) {
      target -= size;
      part_.reset();
      ++span_number_;
      OpenRequestedPart(ImageNumberForReading(), false);
      size = part_size_;
    } else {
      return position_ = target;
    }
  }
}

int64_t SpanStream::Size() {
  if (!part_) return 0;
  return writing_ ? part_->Size() : part_size_;
}

void SpanStream::SetSize(int64_t new_size) {
  if (!part_) return;
  if (!writing_) {
    // The part changes under the buffer: what it holds and the size are read again.
    buffer_length_ = 0;
    part_->Seek(position_, kSeekBegin);
  }
  struct Refresh {
    SpanStream& stream;
    ~Refresh() {
      if (stream.writing_ || !stream.part_) return;
      stream.RefreshPartSize();
      stream.position_ = std::min(stream.position_, stream.part_size_);
    }
  } refresh{*this};
  if (new_size <= 0) {
    part_->SetSize(0);
    return;
  }
  const int64_t free_space = FreeSpaceOf(image_name_);
  // Unknown free space sets no limit (rather than cutting the part short).
  const int64_t limit = free_space < 0 ? new_size : std::min(new_size, part_->Size() + free_space);
  part_->SetSize(limit);
}

}  // namespace vz
