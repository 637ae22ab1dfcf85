// Messages of the runtime's failures, with the operating system's own wording for the cause.
#include "platform/runtime_errors.h"

#include <cstring>

namespace vz {

std::string SystemErrorText(int os_code) {
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
