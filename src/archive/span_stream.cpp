// Parts are plain files; the owner decides their names through the image request hook. Writing
// fills each part up to the threshold and then asks for the next; reading serves one part at a time
// and asks for the next when a read finds the current one exhausted.
#include "archive/span_stream.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

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
  const size_t slash = name.rfind('/');
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
  if (writing_) written_parts_.insert(file_name);
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
  // A part to read must exist; a name that merely could hold a new file is not enough.
  if (!platform::IsRegularFile(name)) throw FileNotFoundError();
  image_name_ = name;
  part_ = std::make_unique<FileStream>(name, file_mode_);
  return true;
}

int64_t SpanStream::Read(std::span<uint8_t> buffer) {
  if (!part_) return 0;
  if (switching_suspended_) return part_->Read(buffer);
  if (!buffer.empty() && OnRequestImage && part_->Position() >= part_->Size()) {
    part_.reset();
    ++span_number_;
    OpenRequestedPart(ImageNumberForReading(), true);
  }
  return part_ ? part_->Read(buffer) : 0;
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
  const int64_t position = part_->Position();
  if (writing_) return position;
  int64_t size = part_->Size();
  int64_t base = position;
  if (origin == kSeekBegin) base = 0;
  if (origin == kSeekEnd) base = size;
  int64_t target = 0;
  if (__builtin_add_overflow(base, offset, &target)) target = offset < 0 ? INT64_MIN : INT64_MAX;
  if (switching_suspended_) return part_->Seek(std::clamp<int64_t>(target, 0, size), kSeekBegin);
  if (target >= 0 && target <= size) return part_->Seek(target, kSeekBegin);
  if (!OnRequestImage || (target < 0 && span_number_ == 0)) return position;
  for (;;) {
    if (target < 0) {
      if (span_number_ == 0) return part_->Seek(0, kSeekBegin);
      part_.reset();
      --span_number_;
      OpenRequestedPart(ImageNumberForReading(), false);
      size = part_->Size();
      target += size;
    } else if (target > size) {
      target -= size;
      part_.reset();
      ++span_number_;
      OpenRequestedPart(ImageNumberForReading(), false);
      size = part_->Size();
    } else {
      return part_->Seek(target, kSeekBegin);
    }
  }
}

int64_t SpanStream::Size() {
  return part_ ? part_->Size() : 0;
}

void SpanStream::SetSize(int64_t new_size) {
  if (!part_) return;
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
