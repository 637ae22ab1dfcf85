// Facts about the running process, on Windows.
#include <bit>
#include <cstdio>
#include <cstdlib>

#include "platform/process.h"
#include "platform/win32/win32_util.h"

namespace vz::platform {

std::string ProgramFolder() {
  std::wstring buffer(32768, L'\0');
  const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  if (n == 0 || n >= buffer.size()) return {};
  buffer.resize(n);
  const size_t slash = buffer.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::string() : win32::Utf8(buffer.substr(0, slash));
}

std::string LocalDateTimeText() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond);
  return text;
}

std::string EnvironmentVariable(const char* name) {
  const wchar_t* value = ::_wgetenv(win32::Wide(name).c_str());
  return value == nullptr ? std::string() : win32::Utf8(value);
}

unsigned DefaultFileMode() {
  return 0666;
}

void KeepFreedMemoryForReuse() {}

int UsableCores() {
  DWORD_PTR process = 0;
  DWORD_PTR system = 0;
  if (::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) && process != 0) {
    return std::popcount(static_cast<uint64_t>(process));
  }
  return 1;
}

}  // namespace vz::platform
