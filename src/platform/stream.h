// The byte stream that every part of the engine reads and writes through: files, memory, work
// files, spanned sets and codec sinks all look alike to their users. Positions and sizes are 64-bit
// so nothing wraps around; the zip format's own 32-bit limits are checked where records are made.
#pragma once

#include <cstdint>
#include <span>

namespace vz {

// Origins of Seek. Other values are representable on purpose: some streams must refuse them with
// their own error, others treat them as the current position.
enum SeekOrigin : int { kSeekBegin = 0, kSeekCurrent = 1, kSeekEnd = 2 };

class Stream {
 public:
  virtual ~Stream() = default;
  Stream() = default;
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  // Reads up to buffer.size() bytes; returns how many were read (0 at the end).
  virtual int64_t Read(std::span<uint8_t> buffer) = 0;
  // Writes up to buffer.size() bytes; returns how many were taken.
  virtual int64_t Write(std::span<const uint8_t> buffer) = 0;
  // Moves the position; origin is one of SeekOrigin. Returns the new position.
  virtual int64_t Seek(int64_t offset, int origin) = 0;
  // Size in bytes. The default seeks to the end and back.
  virtual int64_t Size();
  // Grows or truncates the stream. The default refuses (streams that cannot resize).
  virtual void SetSize(int64_t new_size);

  int64_t Position() { return Seek(0, kSeekCurrent); }
  void SetPosition(int64_t position) { Seek(position, kSeekBegin); }

  // Whole-buffer transfers: a short transfer raises StreamReadError or StreamWriteError.
  void ReadBuffer(std::span<uint8_t> buffer);
  void WriteBuffer(std::span<const uint8_t> buffer);
  // Copies count bytes from source's current position into this stream; a count of 0 copies the
  // whole source from its beginning. Returns the bytes copied; a short source raises
  // StreamReadError.
  int64_t CopyFrom(Stream& source, int64_t count);
};

}  // namespace vz
