// The writers' lock on Windows: LockFileEx on one byte far beyond any file's end. A lock there
// holds back other writers that ask for it, and unlike a lock on the file's bytes it keeps no
// reader from reading them.
#include <io.h>

#include <chrono>
#include <thread>

#include "platform/file_lock.h"
#include "platform/fs.h"
#include "platform/runtime_errors.h"
#include "platform/win32/win32_util.h"

namespace vz::platform {

namespace {

constexpr DWORD kLockedByteHigh = 0x7FFFFFFF;
constexpr DWORD kLockedByteLow = 0xFFFFFFFE;

bool Lock(HANDLE handle, bool wait) {
  OVERLAPPED at{};
  at.Offset = kLockedByteLow;
  at.OffsetHigh = kLockedByteHigh;
  return ::LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY), 0,
                      1, 0, &at) != 0;
}

}  // namespace

FileLock::~FileLock() {
  ::_close(fd_);  // closing the handle releases the lock
}

std::unique_ptr<FileLock> FileLock::Acquire(const std::string& path,
                                            const std::function<void()>& waiting) {
  for (;;) {
    const HANDLE handle = ::CreateFileW(win32::WidePath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const int error = win32::LastErrno();
      if (error == ENOENT) return nullptr;
      throw FileOpenError(path, error);
    }
    auto lock = std::unique_ptr<FileLock>(new FileLock(win32::DescriptorOf(handle)));
    bool locked = Lock(handle, false);
    if (!locked && ::GetLastError() == ERROR_LOCK_VIOLATION && !waiting)
      locked = Lock(handle, true);
    while (!locked && ::GetLastError() == ERROR_LOCK_VIOLATION) {
      waiting();
      std::this_thread::sleep_for(std::chrono::milliseconds(kWaitStepMs));
      locked = Lock(handle, false);
    }
    if (!locked) throw FileOpenError(path, win32::LastErrno());
    // The holder may have replaced the file meanwhile: the lock counts only on the file the name
    // holds now.
    const auto held = StatDescriptor(lock->fd_, path);
    const auto named = IdentityOf(path);
    if (!named) return nullptr;
    if (held && held->device == named->device && held->inode == named->inode) return lock;
  }
}

}  // namespace vz::platform
