#include "platform/win32/win32_util.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>

namespace vz::platform::win32 {

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int n =
      ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                      nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n,
                        nullptr, nullptr);
  return out;
}

std::wstring WidePath(const std::string& path) {
  std::wstring wide = Wide(path);
  for (wchar_t& c : wide) {
    if (c == L'/') c = L'\\';
  }
  if (wide.size() < MAX_PATH - 12 || wide.starts_with(L"\\\\?\\")) return wide;
  // Beyond MAX_PATH only the prefixed form reaches, and it is taken literally: made absolute
  // (".." and "." resolved) first.
  const DWORD n = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) return wide;
  std::wstring full(n, L'\0');
  const DWORD got = ::GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  full.resize(got);
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_SUCCESS:
      return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
    case ERROR_NOT_FOUND:
      return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_NETWORK_ACCESS_DENIED:
      return EACCES;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_DIR_NOT_EMPTY:
      return ENOTEMPTY;
    case ERROR_DIRECTORY:
      return ENOTDIR;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BUFFER_OVERFLOW:
      return ENAMETOOLONG;
    case ERROR_TOO_MANY_OPEN_FILES:
      return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    case ERROR_CANT_RESOLVE_FILENAME:
      return ELOOP;
    case ERROR_BUSY:
    case ERROR_USER_MAPPED_FILE:
      return EBUSY;
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
      return ENOSYS;
    default:
      return EINVAL;
  }
}

int LastErrno() {
  return ErrnoOf(::GetLastError());
}

int DescriptorOf(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return -1;
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_BINARY | _O_NOINHERIT);
  if (fd < 0) ::CloseHandle(handle);
  return fd;
}

HANDLE HandleOf(int fd) {
  return fd < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

std::time_t FromFileTime(const FILETIME& time) {
  const uint64_t ticks = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return static_cast<std::time_t>(ticks / 10'000'000) - 11'644'473'600LL;
}

FILETIME ToFileTime(std::time_t seconds, uint32_t nanoseconds) {
  const uint64_t ticks = static_cast<uint64_t>(seconds + 11'644'473'600LL) * 10'000'000 +
                         (nanoseconds < 1'000'000'000 ? nanoseconds / 100 : 0);
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(ticks);
  time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return time;
}

}  // namespace vz::platform::win32
