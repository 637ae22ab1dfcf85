// The system's registry on Windows, read in the 32-bit view; the prefix the callers pass (a Wine
// prefix on Linux) means nothing here.
#include <shlobj.h>

#include <algorithm>
#include <cwctype>

#include "platform/win32/win32_util.h"
#include "platform/wine_registry.h"

namespace vz::platform {

namespace {

constexpr std::string_view kShellFolders =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::towlower(static_cast<unsigned char>(x)) ==
           std::towlower(static_cast<unsigned char>(y));
  });
}

std::optional<std::string> KnownFolder(const KNOWNFOLDERID& id) {
  wchar_t* path = nullptr;
  if (::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path) != S_OK) {
    ::CoTaskMemFree(path);
    return std::nullopt;
  }
  std::string folder = win32::Utf8(path);
  ::CoTaskMemFree(path);
  return folder;
}

}  // namespace

std::optional<std::string> ReadRegistryString(const std::string& prefix, RegistryRoot root,
                                              std::string_view key, std::string_view value) {
  (void)prefix;
  std::string_view trimmed = key;
  while (!trimmed.empty() && trimmed.back() == '\\') trimmed.remove_suffix(1);
  // The Shell Folders key is kept for old programs; the known folders are what Windows uses.
  if (SameIgnoringCase(trimmed, kShellFolders)) {
    if (root == RegistryRoot::kCurrentUser && SameIgnoringCase(value, "Personal")) {
      return KnownFolder(FOLDERID_Documents);
    }
    if (root == RegistryRoot::kLocalMachine && SameIgnoringCase(value, "Common AppData")) {
      return KnownFolder(FOLDERID_ProgramData);
    }
  }
  const HKEY base = root == RegistryRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  const std::wstring wide_key = win32::Wide(trimmed);
  const std::wstring wide_value = win32::Wide(value);
  constexpr DWORD kFlags =
      RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND | RRF_SUBKEY_WOW6432KEY;
  DWORD bytes = 0;
  if (::RegGetValueW(base, wide_key.c_str(), wide_value.c_str(), kFlags, nullptr, nullptr,
                     &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (::RegGetValueW(base, wide_key.c_str(), wide_value.c_str(), kFlags, nullptr, text.data(),
                     &bytes) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  text.resize(std::min(text.size(), text.find(L'\0')));
  return win32::Utf8(text);
}

std::string MapWindowsPath(const std::string& prefix, std::string_view windows_path) {
  (void)prefix;
  return std::string(windows_path);
}

}  // namespace vz::platform
