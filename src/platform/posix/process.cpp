#include "platform/process.h"

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <vector>

namespace vz::platform {

std::string ProgramFolder() {
  std::vector<char> buffer(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  std::string path(buffer.data(), static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string LocalDateTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

std::string EnvironmentVariable(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

}  // namespace vz::platform

#include <sys/stat.h>

namespace vz::platform {

unsigned DefaultFileMode() {
  // umask can only be read by setting it and setting it back, which is not safe while other
  // threads create files: it is read once, on first use, and the program never changes it.
  static const unsigned mode = [] {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return 0666u & ~static_cast<unsigned>(mask);
  }();
  return mode;
}

}  // namespace vz::platform

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace vz::platform {

void KeepFreedMemoryForReuse() {
#if defined(__GLIBC__)
  ::mallopt(M_MMAP_THRESHOLD, 64 << 20);
  ::mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
}

}  // namespace vz::platform

#include <sched.h>

#include <thread>

namespace vz::platform {

int UsableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof(set), &set) == 0) {
    const int count = CPU_COUNT(&set);
    if (count > 0) return count;
  }
  const unsigned hardware = std::thread::hardware_concurrency();
  return hardware > 0 ? static_cast<int>(hardware) : 1;
}

}  // namespace vz::platform
