// Random bytes from getrandom(), with /dev/urandom for systems whose kernel lacks the call.
#include "platform/random.h"

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

#include <cerrno>

#include "platform/runtime_errors.h"

namespace vz {

namespace {

bool FillFromDevice(std::span<uint8_t> buffer) {
  const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n = ::read(fd, buffer.data() + done, buffer.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  return done == buffer.size();
}

}  // namespace

void FillRandomBytes(std::span<uint8_t> buffer) {
  size_t done = 0;
  while (done < buffer.size()) {
    const ssize_t n = ::getrandom(buffer.data() + done, buffer.size() - done, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      if (FillFromDevice(buffer.subspan(done))) return;
      throw InOutError::FromErrno("random bytes", error);
    }
    done += static_cast<size_t>(n);
  }
}

}  // namespace vz
