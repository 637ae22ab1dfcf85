// What the Windows side of the platform layer shares: UTF-8 and UTF-16 conversions, Windows
// errors as the error numbers the interfaces report, and handles behind C runtime descriptors.
//
// The interfaces speak of descriptors (int) and error numbers (errno values), as POSIX does. On
// Windows a descriptor is a C runtime descriptor that owns a Win32 handle (_open_osfhandle), so the
// same int travels through the interfaces, and closing it closes the handle; the work itself is
// done on the handle.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// The interfaces have functions of these names; the macros would rename them to their A or W forms.
#undef CopyFile
#undef CreateFile
#undef DeleteFile

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace vz::platform::win32 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// A path for the wide calls: "/" turned into "\", and a path longer than MAX_PATH given the "\\?\"
// prefix that lifts the limit (made absolute first, since the prefix turns off normalisation).
std::wstring WidePath(const std::string& path);

// The error number that stands for a Windows error code.
int ErrnoOf(DWORD error);
// The same for GetLastError().
int LastErrno();

// A descriptor that owns handle, or -1 (the handle then closed) when none can be had.
int DescriptorOf(HANDLE handle);
// The handle a descriptor owns (INVALID_HANDLE_VALUE for none).
HANDLE HandleOf(int fd);

// FILETIME (100 ns since 1601) and seconds since the epoch.
std::time_t FromFileTime(const FILETIME& time);
FILETIME ToFileTime(std::time_t seconds, uint32_t nanoseconds = 0);

}  // namespace vz::platform::win32
