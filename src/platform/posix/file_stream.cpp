#include "platform/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/fs.h"
#include "platform/runtime_errors.h"

namespace vz {

FileStream::FileStream(const std::string& path, uint16_t mode) : path_(path), mode_(mode) {
  if (mode == kFmCreate) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd_ < 0) throw FileCreateError(path, errno);
  } else {
    int flags = O_RDONLY;
    if ((mode & 0x0003) == kFmOpenWrite) flags = O_WRONLY;
    if ((mode & 0x0003) == kFmOpenReadWrite) flags = O_RDWR;
    fd_ = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd_ < 0) throw FileOpenError(path, errno);
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd_);
      fd_ = -1;
      throw FileOpenError(path, EISDIR);
    }
  }
}

std::unique_ptr<FileStream> FileStream::OpenRegular(const std::string& path,
                                                    platform::FileStatus& status) {
  // Not blocking in open: a pipe would wait there for a writer before it could be refused.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw FileOpenError(path, errno);
  const auto found = platform::StatDescriptor(fd, path);
  const int error = !found                                ? errno
                    : found->is_directory                 ? EISDIR
                    : !found->is_regular                  ? EINVAL
                    : ::fcntl(fd, F_SETFL, O_RDONLY) != 0 ? errno
                                                          : 0;
  if (error != 0) {
    ::close(fd);
    throw FileOpenError(path, error);
  }
  status = *found;
  std::unique_ptr<FileStream> stream(new FileStream(fd, path, kFmOpenRead | kFmShareDenyWrite));
  stream->position_ = 0;  // a descriptor just opened starts at the beginning
  return stream;
}

FileStream::~FileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t FileStream::Read(std::span<uint8_t> buffer) {
  size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n = ::read(fd_, buffer.data() + done, buffer.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) last_error_ = errno;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  Advance(done);
  return static_cast<int64_t>(done);
}

int64_t FileStream::ReadAt(int64_t offset, std::span<uint8_t> buffer) {
  size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n = ::pread(fd_, buffer.data() + done, buffer.size() - done,
                              static_cast<off_t>(offset + static_cast<int64_t>(done)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

int64_t FileStream::Write(std::span<const uint8_t> buffer) {
  size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n = ::write(fd_, buffer.data() + done, buffer.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      last_error_ = n < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<size_t>(n);
  }
  Advance(done);
  if (size_ >= 0) size_ = position_ >= 0 ? std::max(size_, position_) : -1;
  return static_cast<int64_t>(done);
}

int64_t FileStream::Seek(int64_t offset, int origin) {
  int whence = SEEK_CUR;
  if (origin == kSeekBegin) whence = SEEK_SET;
  if (origin == kSeekEnd) whence = SEEK_END;
  if (whence == SEEK_CUR && offset == 0 && position_ >= 0) return position_;
  off_t result = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (result < 0) result = ::lseek(fd_, 0, SEEK_CUR);
  position_ = result < 0 ? -1 : static_cast<int64_t>(result);
  return static_cast<int64_t>(result);
}

int64_t FileStream::Size() {
  if (size_ >= 0) return size_;
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return Stream::Size();
  return static_cast<int64_t>(st.st_size);
}

void FileStream::SetSize(int64_t new_size) {
  if (::ftruncate(fd_, static_cast<off_t>(new_size)) != 0) throw StreamWriteError();
  if (size_ >= 0) size_ = new_size;
  if (Position() > new_size) Seek(new_size, kSeekBegin);
}

int FileStream::SetPermissions(uint32_t mode) {
  return ::fchmod(fd_, static_cast<mode_t>(mode & 0777)) == 0 ? 0 : errno;
}

int FileStream::SetModificationTime(std::time_t mtime, uint32_t nanoseconds) {
  struct timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = mtime;
  times[1].tv_nsec = nanoseconds < 1'000'000'000 ? static_cast<long>(nanoseconds) : 0;
  return ::futimens(fd_, times) == 0 ? 0 : errno;
}

int FileStream::SetOwner(uint32_t uid, uint32_t gid) {
  return ::fchown(fd_, static_cast<uid_t>(uid), static_cast<gid_t>(gid)) == 0 ? 0 : errno;
}

void FileStream::Flush() {
  if (::fsync(fd_) != 0) throw InOutError::FromErrno("Cannot flush \"" + path_ + "\"", errno);
}

}  // namespace vz
