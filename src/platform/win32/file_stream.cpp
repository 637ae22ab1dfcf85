// File streams over Win32 handles. Reads and writes go to the stream's own position with explicit
// offsets, so ReadAt from other threads never moves it. Every file is opened sharing reading,
// writing and deletion with other openers, as on POSIX where nothing is locked against them: a
// save may then rename a new archive over one that is open for reading.
#include <io.h>

#include <algorithm>
#include <cerrno>

#include "platform/file_stream.h"
#include "platform/fs.h"
#include "platform/runtime_errors.h"
#include "platform/win32/win32_util.h"

namespace vz {

using platform::win32::HandleOf;
using platform::win32::LastErrno;

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

OVERLAPPED At(int64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  return at;
}

// One read of up to n bytes at offset (or at the handle's own position when offset is negative);
// the count, or -1 with the error number in *error.
int64_t ReadOnce(HANDLE handle, uint8_t* data, size_t n, int64_t offset, int* error) {
  DWORD got = 0;
  const DWORD chunk = static_cast<DWORD>(std::min<size_t>(n, 1u << 30));
  OVERLAPPED at = At(offset);
  if (!::ReadFile(handle, data, chunk, &got, offset >= 0 ? &at : nullptr)) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_HANDLE_EOF || code == ERROR_BROKEN_PIPE) return 0;
    *error = platform::win32::ErrnoOf(code);
    return -1;
  }
  return got;
}

}  // namespace

FileStream::FileStream(const std::string& path, uint16_t mode) : path_(path), mode_(mode) {
  const std::wstring wide = platform::win32::WidePath(path);
  if (mode == kFmCreate) {
    const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll,
                                        nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) throw FileCreateError(path, LastErrno());
    fd_ = platform::win32::DescriptorOf(handle);
    StartsNew();
    return;
  }
  DWORD access = GENERIC_READ;
  if ((mode & 0x0003) == kFmOpenWrite) access = GENERIC_WRITE;
  if ((mode & 0x0003) == kFmOpenReadWrite) access = GENERIC_READ | GENERIC_WRITE;
  const HANDLE handle = ::CreateFileW(wide.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) throw FileOpenError(path, LastErrno());
  fd_ = platform::win32::DescriptorOf(handle);
  const auto status = platform::StatDescriptor(fd_, path);
  if (status && status->is_directory) {
    ::_close(fd_);
    fd_ = -1;
    throw FileOpenError(path, EISDIR);
  }
  if (::GetFileType(handle) == FILE_TYPE_DISK) position_ = 0;
}

std::unique_ptr<FileStream> FileStream::OpenRegular(const std::string& path,
                                                    platform::FileStatus& status) {
  const HANDLE handle =
      ::CreateFileW(platform::win32::WidePath(path).c_str(), GENERIC_READ, kShareAll, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) throw FileOpenError(path, LastErrno());
  const int fd = platform::win32::DescriptorOf(handle);
  const auto found = platform::StatDescriptor(fd, path);
  const int error = !found                ? EACCES
                    : found->is_directory ? EISDIR
                    : !found->is_regular  ? EINVAL
                                          : 0;
  if (error != 0) {
    ::_close(fd);
    throw FileOpenError(path, error);
  }
  status = *found;
  std::unique_ptr<FileStream> stream(new FileStream(fd, path, kFmOpenRead | kFmShareDenyWrite));
  stream->position_ = 0;
  return stream;
}

FileStream::~FileStream() {
  if (fd_ >= 0) ::_close(fd_);
}

int64_t FileStream::Read(std::span<uint8_t> buffer) {
  const HANDLE handle = HandleOf(fd_);
  size_t done = 0;
  while (done < buffer.size()) {
    const int64_t offset = position_ >= 0 ? position_ + static_cast<int64_t>(done) : -1;
    const int64_t n =
        ReadOnce(handle, buffer.data() + done, buffer.size() - done, offset, &last_error_);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  Advance(done);
  return static_cast<int64_t>(done);
}

int64_t FileStream::ReadAt(int64_t offset, std::span<uint8_t> buffer) {
  const HANDLE handle = HandleOf(fd_);
  size_t done = 0;
  int error = 0;
  while (done < buffer.size()) {
    const int64_t n = ReadOnce(handle, buffer.data() + done, buffer.size() - done,
                               offset + static_cast<int64_t>(done), &error);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

int64_t FileStream::Write(std::span<const uint8_t> buffer) {
  const HANDLE handle = HandleOf(fd_);
  size_t done = 0;
  while (done < buffer.size()) {
    DWORD written = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(buffer.size() - done, 1u << 30));
    OVERLAPPED at = At(position_ + static_cast<int64_t>(done));
    if (!::WriteFile(handle, buffer.data() + done, chunk, &written,
                     position_ >= 0 ? &at : nullptr)) {
      last_error_ = LastErrno();
      break;
    }
    if (written == 0) {
      last_error_ = ENOSPC;
      break;
    }
    done += written;
  }
  Advance(done);
  if (size_ >= 0) size_ = position_ >= 0 ? std::max(size_, position_) : -1;
  return static_cast<int64_t>(done);
}

int64_t FileStream::Seek(int64_t offset, int origin) {
  if (position_ < 0) return -1;
  int64_t target = position_ + offset;
  if (origin == kSeekBegin) target = offset;
  if (origin == kSeekEnd) target = Size() + offset;
  if (target >= 0) position_ = target;
  return position_;
}

int64_t FileStream::Size() {
  if (size_ >= 0) return size_;
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(HandleOf(fd_), &size)) return Stream::Size();
  return size.QuadPart;
}

void FileStream::SetSize(int64_t new_size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = new_size;
  if (!::SetFileInformationByHandle(HandleOf(fd_), FileEndOfFileInfo, &end, sizeof end)) {
    throw StreamWriteError();
  }
  if (size_ >= 0) size_ = new_size;
  if (Position() > new_size) Seek(new_size, kSeekBegin);
}

int FileStream::SetPermissions(uint32_t mode) {
  FILE_BASIC_INFO basic{};
  const HANDLE handle = HandleOf(fd_);
  if (!::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic)) {
    return LastErrno();
  }
  const DWORD before = basic.FileAttributes;
  if ((mode & 0200) == 0) {
    basic.FileAttributes |= FILE_ATTRIBUTE_READONLY;
  } else {
    basic.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
  }
  if (basic.FileAttributes == before) return 0;
  if (basic.FileAttributes == 0) basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  // Times of zero are left as they are.
  basic.CreationTime.QuadPart = basic.LastAccessTime.QuadPart = 0;
  basic.LastWriteTime.QuadPart = basic.ChangeTime.QuadPart = 0;
  return ::SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) ? 0
                                                                                   : LastErrno();
}

int FileStream::SetModificationTime(std::time_t mtime, uint32_t nanoseconds) {
  const FILETIME time = platform::win32::ToFileTime(mtime, nanoseconds);
  return ::SetFileTime(HandleOf(fd_), nullptr, nullptr, &time) ? 0 : LastErrno();
}

int FileStream::SetOwner(uint32_t uid, uint32_t gid) {
  (void)uid;
  (void)gid;
  return 0;  // files belong to whoever makes them
}

void FileStream::Flush() {
  if (!::FlushFileBuffers(HandleOf(fd_))) {
    throw InOutError::FromErrno("Cannot flush \"" + path_ + "\"", LastErrno());
  }
}

}  // namespace vz
