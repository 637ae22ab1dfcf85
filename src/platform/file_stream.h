// A stream over an open file of the operating system, and the open modes the engine uses.
#pragma once

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>

#include "platform/stream.h"

namespace vz {

namespace platform {
class Folder;
struct FileStatus;
}  // namespace platform

// Open modes: one access value, optionally or-ed with one share value; or kFmCreate alone.
// Share values are accepted everywhere; on POSIX, where files are not locked against other
// openers, they only document the caller's intent.
enum OpenMode : uint16_t {
  kFmOpenRead = 0x0000,
  kFmOpenWrite = 0x0001,
  kFmOpenReadWrite = 0x0002,
  kFmShareCompat = 0x0000,
  kFmShareExclusive = 0x0010,
  kFmShareDenyWrite = 0x0020,
  kFmShareDenyRead = 0x0030,
  kFmShareDenyNone = 0x0040,
  kFmCreate = 0xFFFF,  // create or truncate, then read and write
};

// True when mode writes: the create mode or write-only access.
inline bool IsWritingMode(uint16_t mode) {
  return mode == kFmCreate || (mode & 0x0003) == kFmOpenWrite;
}

class FileStream : public Stream {
 public:
  // Opens (or with kFmCreate creates) path. Failure raises FileOpenError or FileCreateError.
  FileStream(const std::string& path, uint16_t mode);
  ~FileStream() override;
  // Opens path for reading only when it is a regular file, and tells its status from the one open
  // descriptor: a missing or unreadable file raises FileOpenError with the system's error, a
  // folder with EISDIR, anything else that is no regular file (a pipe, a device) with EINVAL,
  // without waiting for a pipe's writer.
  static std::unique_ptr<FileStream> OpenRegular(const std::string& path,
                                                 platform::FileStatus& status);

  int64_t Read(std::span<uint8_t> buffer) override;
  int64_t Write(std::span<const uint8_t> buffer) override;
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override;
  void SetSize(int64_t new_size) override;

  // Reads up to buffer.size() bytes at offset without moving the position (or touching anything
  // else of the stream), so several threads may read one file at once; returns how many were read.
  int64_t ReadAt(int64_t offset, std::span<uint8_t> buffer);

  // Forces written data to the disk; failure raises InOutError.
  void Flush();
  // The operating system's error number of the last read or write that stopped short (ENOSPC for
  // a full disk, EFBIG past the size limit), or 0.
  int LastError() const { return last_error_; }
  const std::string& Path() const { return path_; }
  uint16_t Mode() const { return mode_; }

  // Metadata of the open file, set through its descriptor (so a link put in place of its name
  // meanwhile changes nothing). Each returns 0 or the error number.
  // POSIX permission bits (mask 0777 only).
  int SetPermissions(uint32_t mode);
  // Last modification time, seconds (and nanoseconds) since the epoch; the access time is left.
  int SetModificationTime(std::time_t mtime, uint32_t nanoseconds = 0);
  // Owner and group; only what the process may give away is given.
  int SetOwner(uint32_t uid, uint32_t gid);

 private:
  friend class platform::Folder;
  // Takes over an open descriptor.
  FileStream(int fd, const std::string& path, uint16_t mode) : path_(path), mode_(mode), fd_(fd) {}

  // Marks a file that this stream has just created and alone writes: empty, at offset 0. Its
  // position and size are then known without asking the system.
  void StartsNew() {
    position_ = 0;
    size_ = 0;
  }

  // Reads and writes move the known position along; writes can extend the known size.
  void Advance(size_t done) {
    if (position_ >= 0) position_ += static_cast<int64_t>(done);
  }

  std::string path_;
  uint16_t mode_;
  int fd_ = -1;
  int last_error_ = 0;
  // The position as the last seek found it and reads and writes moved it since, so that asking
  // for it costs no system call; -1 until a seek succeeded (a pipe has none).
  int64_t position_ = -1;
  // The size, for a file only this stream writes (see StartsNew); -1 when the system is asked.
  int64_t size_ = -1;
};

}  // namespace vz
