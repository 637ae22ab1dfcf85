// Read-only access to the Windows registry of a Wine prefix, and Windows paths mapped into it.
//
// On Linux, Windows programs such as Flight Simulator X live in a Wine prefix: a folder holding the
// registry as text files (user.reg for HKEY_CURRENT_USER, system.reg for HKEY_LOCAL_MACHINE) and
// the drives as links in dosdevices/. Only string values are read; the files are never written.
//
// On Windows the same calls read the system's own registry, whatever prefix they are given, in
// the 32-bit view (where 32-bit programs such as FSX keep their keys), and Windows paths are
// native paths already. The values of the Shell Folders key are answered by the known folders.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vz::platform {

// Whether the registry read is the system's own (Windows), so that there is no prefix to look for.
#ifdef _WIN32
inline constexpr bool kNativeRegistry = true;
#else
inline constexpr bool kNativeRegistry = false;
#endif

enum class RegistryRoot { kCurrentUser, kLocalMachine };

// The string value named value (empty for the key's default value) of key (such as
// "SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders\"; names compare without regard
// to case) in the registry of the Wine prefix folder prefix, as UTF-8, cut at its first zero
// character. An expandable string is returned as stored, its variables not expanded. A key absent
// from HKEY_LOCAL_MACHINE\Software is also looked for under Software\Wow6432Node, where a 64-bit
// prefix keeps the keys of 32-bit programs. Nothing when the prefix, its file, the key or the value
// is missing, when the value is not a string, or when the file is damaged where the value stands.
std::optional<std::string> ReadRegistryString(const std::string& prefix, RegistryRoot root,
                                              std::string_view key, std::string_view value);

// The native path that the Windows path windows_path ("C:\FSX\") names in the Wine prefix, through
// the prefix's drive links (dosdevices/c: usually points to ../drive_c); "\" becomes "/" and a
// trailing separator is kept. A path that cannot be mapped (no such drive, a network or
// drive-relative path, no prefix) is returned unchanged.
std::string MapWindowsPath(const std::string& prefix, std::string_view windows_path);

}  // namespace vz::platform
