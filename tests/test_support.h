// Helpers shared by the tests: scratch folders that delete themselves, file helpers, and the check
// for the other zip tools that serve as oracles.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace vz::testing {

// Whether the tests run on Windows (under Wine), where the Linux programs used as oracles are not.
#ifdef _WIN32
inline constexpr bool kOnWindows = true;
#else
inline constexpr bool kOnWindows = false;
#endif

// The few calls that differ between POSIX and Windows, for the tests that run on both.
namespace portable {

// Makes a new folder "<prefix>" plus six random characters; false when none could be made.
inline bool MakeUniqueFolder(std::string& pattern) {
#ifdef _WIN32
  std::random_device random;
  const std::string stem = pattern.substr(0, pattern.size() - 6);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = stem;
    for (int i = 0; i < 6; ++i) name += "abcdefghijklmnopqrstuvwxyz0123456789"[random() % 36];
    std::error_code error;
    if (std::filesystem::create_directory(name, error)) {
      pattern = name;
      return true;
    }
  }
  return false;
#else
  return ::mkdtemp(pattern.data()) != nullptr;
#endif
}

inline void SetEnvironment(const char* name, const std::string& value) {
#ifdef _WIN32
  ::_putenv_s(name, value.c_str());
#else
  ::setenv(name, value.c_str(), 1);
#endif
}

inline void UnsetEnvironment(const char* name) {
#ifdef _WIN32
  ::_putenv_s(name, "");
#else
  ::unsetenv(name);
#endif
}

// Makes a named pipe; false where there are none (Windows).
inline bool MakeFifo(const std::string& path) {
#ifdef _WIN32
  (void)path;
  return false;
#else
  return ::mkfifo(path.c_str(), 0600) == 0;
#endif
}

// Makes a symbolic link; false where the system makes none (Wine refuses to).
inline bool MakeSymlink(const std::filesystem::path& target, const std::filesystem::path& link) {
  std::error_code error;
  if (std::filesystem::is_directory(target, error)) {
    std::filesystem::create_directory_symlink(target, link, error);
  } else {
    std::filesystem::create_symlink(target, link, error);
  }
  return !error;
}

// Sets a file's modification time, in seconds since 1970.
inline void SetModifiedTime(const std::string& path, int64_t unix_seconds) {
  const auto when = std::chrono::file_clock::from_sys(
      std::chrono::sys_seconds(std::chrono::seconds(unix_seconds)));
  std::filesystem::last_write_time(path, when);
}

// A path written with "/" in the native form: on Windows its "/" become "\\".
inline std::string Native(std::string path) {
  if (kOnWindows) std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace portable

// The POSIX-only part of a test that runs on both systems: on Windows the test ends there, skipped.
#define VZ_SKIP_ON_WINDOWS(why) \
  if (::vz::testing::kOnWindows) GTEST_SKIP() << "not on Windows: " << why

// Whether an oracle tool (unzip, 7zz, bsdtar, python3, ...) is installed. A test that would skip
// or shrink without it must not pass silently in CI: when the environment variable CI is set, a
// missing tool is a test failure.
inline bool HaveTool(const std::string& tool) {
#ifdef _WIN32
  // The oracles are Linux programs: the tests that need them run on Linux.
  (void)tool;
  return false;
#else
  if (std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0) return true;
  const char* ci = std::getenv("CI");
  if (ci != nullptr && *ci != '\0' && std::string(ci) != "0" && std::string(ci) != "false") {
    ADD_FAILURE() << tool << " is needed as an oracle and is not installed (CI is set)";
  }
  return false;
#endif
}

// A fresh folder under the system's temporary folder, removed with everything in it at the end.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vztest-XXXXXX").string();
    if (!portable::MakeUniqueFolder(pattern)) std::abort();
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    // Read-only folders would stop the removal; give permissions back first. Links are left alone:
    // changing a link's permissions would change those of its target, which may lie outside (a
    // Wine prefix links its drive z: to "/" and its serial ports to devices).
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
      if (it->is_symlink(ignored)) continue;
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

inline void WriteFile(const std::string& path, const std::string& text) {
  WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()));
}

inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Deterministic pseudo-random bytes.
inline std::vector<uint8_t> RandomBytes(size_t n, uint32_t seed = 1) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> out(n);
  for (auto& b : out) b = static_cast<uint8_t>(rng());
  return out;
}

// Sets an environment variable (TMPDIR, TZ) for one scope and restores the previous value.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      old_ = old;
      had_old_ = true;
    }
    portable::SetEnvironment(name, value);
  }
  ~ScopedEnv() {
    if (had_old_) {
      portable::SetEnvironment(name_, old_);
    } else {
      portable::UnsetEnvironment(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::string old_;
  bool had_old_ = false;
};

}  // namespace vz::testing
