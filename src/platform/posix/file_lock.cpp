#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/runtime_errors.h"

namespace vz::platform {

namespace {

int Lock(int fd, int operation) {
  int result;
  do {
    result = ::flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result == 0 ? 0 : errno;
}

}  // namespace

FileLock::~FileLock() {
  ::close(fd_);  // closing the last descriptor releases the lock
}

std::unique_ptr<FileLock> FileLock::Acquire(const std::string& path,
                                            const std::function<void()>& waiting) {
  for (;;) {
    // Opening for reading never blocks on a regular file; O_NONBLOCK keeps a pipe put in the
    // archive's place from blocking the open.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
      if (errno == ENOENT) return nullptr;
      throw FileOpenError(path, errno);
    }
    auto lock = std::unique_ptr<FileLock>(new FileLock(fd));
    int error = Lock(fd, LOCK_EX | LOCK_NB);
    if (error == EWOULDBLOCK && !waiting) error = Lock(fd, LOCK_EX);
    while (error == EWOULDBLOCK) {
      waiting();
      std::this_thread::sleep_for(std::chrono::milliseconds(kWaitStepMs));
      error = Lock(fd, LOCK_EX | LOCK_NB);
    }
    if (error != 0) throw FileOpenError(path, error);
    // The holder may have replaced the file meanwhile: the lock counts only on the file the name
    // holds now.
    struct stat locked {
    }, named{};
    if (::fstat(fd, &locked) != 0) throw FileOpenError(path, errno);
    if (::stat(path.c_str(), &named) != 0) {
      if (errno == ENOENT) return nullptr;
      throw FileOpenError(path, errno);
    }
    if (locked.st_dev == named.st_dev && locked.st_ino == named.st_ino) return lock;
  }
}

}  // namespace vz::platform
