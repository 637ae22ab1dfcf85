// The archive file stream: every archive opened by name reads and writes its file through one.
//
// Besides being a plain file stream it can cut what is written into numbered parts (a spanned set)
// once a part reaches a size threshold, and when reading it moves on to the next part of a set by
// itself when a part runs out. It does not know how parts are named on disk: it asks its owner
// through the image request hook, proposing a name, and the owner answers with the file to use.
//
// Positions are those of the current part: a read that moves on to the next part continues at
// that part's start, and a seek beyond a part's ends moves to a neighbouring part (see Seek).
//
// A stream that reads keeps its position itself and reads its part through a buffer of its own
// with positioned reads: readers of zip records ask for a few bytes at a time and seek back and
// forth, and each of those would otherwise be a system call. The part's size is taken when the
// part is opened and looked at again only when a read or seek goes past it. ReadAt reads the
// current part at any offset without touching the stream's state, for workers that decode items
// at the same time as the stream is read.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/file_stream.h"
#include "platform/stream.h"

namespace vz {

enum class MediaKind { kRemovable, kLocal };

// Asks for part image_number of a set: image_name holds a proposed name on entry and the name to
// use on return; setting abort stops the operation with UserAbortError.
using RequestImageEvent =
    std::function<void(void* sender, int image_number, std::string& image_name, bool& abort)>;
// Reports write progress (0..100); setting abort makes the write report 0 bytes written.
using SpanWriteProgressEvent = std::function<void(uint8_t progress, bool& abort)>;

class SpanStream : public Stream {
 public:
  // Opens file_name (an absolute path, else ArchiveError "Full Path Required") with mode. The
  // stream writes when mode is kFmCreate or write-only access, and reads otherwise. A writing
  // stream needs a valid medium (ArchiveError "Invalid Media" otherwise). threshold is the largest
  // size of one part on local media; 0 means no limit.
  SpanStream(const std::string& file_name, int64_t threshold, MediaKind media, uint16_t mode);
  ~SpanStream() override;

  int64_t Read(std::span<uint8_t> buffer) override;
  int64_t Write(std::span<const uint8_t> buffer) override;
  // Writing: does nothing and returns the current position. Reading: see the file comment; a
  // target outside the current part asks the image request hook for the previous part (before its
  // start) or the next one (beyond its end) and continues there, part by part, until the target
  // lies inside a part. Without a hook, or when there is no such part, the position stays.
  int64_t Seek(int64_t offset, int origin) override;
  // Size of the current part.
  int64_t Size() override;
  // 0 truncates the current part; other sizes are limited by the free space of the part's drive.
  void SetSize(int64_t new_size) override;

  RequestImageEvent OnRequestImage;
  SpanWriteProgressEvent OnWriteProgress;

  bool Writing() const { return writing_; }
  MediaKind Media() const { return media_; }
  int64_t Threshold() const { return threshold_; }
  int SpanNumber() const { return span_number_; }
  const std::string& ImageName() const { return image_name_; }
  bool Cancelled() const { return cancelled_; }
  int64_t BytesWritten() const { return bytes_written_; }

  // While set, reads and seeks stay inside the current part.
  bool SwitchingSuspended() const { return switching_suspended_; }
  void SetSwitchingSuspended(bool value) { switching_suspended_ = value; }
  // Set when a read has moved on to the next part by itself; the owner may clear it.
  bool SwitchedWhileReading() const { return switched_while_reading_; }
  void SetSwitchedWhileReading(bool value) { switched_while_reading_ = value; }

  // Counters behind the write progress: the owner sets the expected total before writing.
  int64_t TotalWritten() const { return total_written_; }
  void SetTotalWritten(int64_t value) { total_written_ = value; }
  int64_t TotalSize() const { return total_size_; }
  void SetTotalSize(int64_t value) { total_size_ = value; }

  // True when file_name can hold a new part: its free space can be determined, or no file of that
  // name exists yet.
  static bool IsValidMedium(const std::string& file_name);

  // Reads up to buffer.size() bytes of the current part at offset; safe on several threads at
  // once as long as no part is switched meanwhile. Returns how many were read.
  int64_t ReadAt(int64_t offset, std::span<uint8_t> buffer) const {
    return part_ ? part_->ReadAt(offset, buffer) : 0;
  }

 private:
  static constexpr size_t kReadBufferSize = 64 * 1024;

  // Reading: the part was just opened.
  void StartReadingPart();
  // Reading: serves buffer from the current part at position_.
  int64_t ReadHere(std::span<uint8_t> buffer);
  // Reading: the part's size as the file system says now.
  int64_t RefreshPartSize();

  int ImageNumberForReading() const;
  // Asks for the part span_number (already updated) while reading and opens it; mark_switch sets
  // the switched-while-reading mark once the hook has answered. Returns false without a hook.
  bool OpenRequestedPart(int image_number, bool mark_switch);
  // Closes the current part and starts the next one for writing.
  void StartNewPart();
  int64_t WriteToPart(std::span<const uint8_t> buffer);
  int64_t Available();

  bool writing_;
  MediaKind media_;
  int64_t threshold_;
  uint16_t file_mode_;
  int span_number_ = 0;
  std::string image_name_;
  bool cancelled_ = false;
  int64_t bytes_written_ = 0;
  int64_t bytes_available_ = 0;
  std::unique_ptr<FileStream> part_;
  bool switching_suspended_ = false;
  bool switched_while_reading_ = false;
  int64_t total_written_ = 0;
  int64_t total_size_ = 0;
  std::set<std::string> written_parts_;
  // Reading: position in the current part, the part's size when last looked at, and the bytes of
  // the part from buffer_start_ held in read_buffer_.
  int64_t position_ = 0;
  int64_t part_size_ = 0;
  std::vector<uint8_t> read_buffer_;
  int64_t buffer_start_ = 0;
  size_t buffer_length_ = 0;
};

}  // namespace vz
