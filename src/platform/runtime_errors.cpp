// Messages of the runtime's failures, with the operating system's own wording for the cause.
#include "platform/runtime_errors.h"

#include <cerrno>
#include <cstring>

namespace vz {

std::string SystemErrorText(int os_code) {
#ifdef _WIN32
  // Windows's C runtime words only the classic numbers; these are the others the platform layer
  // reports, in the words the GNU C library uses.
  switch (os_code) {
    case ELOOP:
      return "Too many levels of symbolic links";
    case ENOTSUP:
      return "Operation not supported";
    default:
      break;
  }
#endif
  return std::strerror(os_code);
}

InOutError InOutError::FromErrno(const std::string& what, int os_code) {
  return InOutError(what + ": " + SystemErrorText(os_code), os_code);
}

FileOpenError::FileOpenError(const std::string& path, int os_code)
    : std::runtime_error("Cannot open file \"" + path + "\". " + SystemErrorText(os_code)),
      os_code_(os_code) {}

FileCreateError::FileCreateError(const std::string& path, int os_code)
    : std::runtime_error("Cannot create file \"" + path + "\". " + SystemErrorText(os_code)),
      os_code_(os_code) {}

}  // namespace vz
