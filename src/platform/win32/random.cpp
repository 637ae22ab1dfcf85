// Random bytes from the system's preferred generator.
#include "platform/random.h"

#include <cerrno>

#include "platform/runtime_errors.h"
#include "platform/win32/win32_util.h"
// After windows.h, which it needs.
#include <bcrypt.h>

namespace vz {

void FillRandomBytes(std::span<uint8_t> buffer) {
  while (!buffer.empty()) {
    const auto n = static_cast<ULONG>(std::min<size_t>(buffer.size(), 1u << 30));
    if (::BCryptGenRandom(nullptr, buffer.data(), n, BCRYPT_USE_SYSTEM_PREFERRED_RNG) < 0) {
      throw InOutError("Cannot read random bytes from the system", EIO);
    }
    buffer = buffer.subspan(n);
  }
}

}  // namespace vz
