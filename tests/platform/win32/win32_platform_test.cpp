// What differs on Windows: wide paths, the registry's 32-bit view, junctions, and two processes
// meeting on one file (the writers' lock, a file replaced while another program reads it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/file_lock.h"
#include "platform/file_stream.h"
#include "platform/folder.h"
#include "platform/fs.h"
#include "platform/runtime_errors.h"
#include "platform/temp_files.h"
#include "platform/win32/win32_util.h"
#include "platform/wine_registry.h"
#include "test_support.h"
// After windows.h.
#include <winioctl.h>

namespace vz::platform {
namespace {

using testing::ScratchDir;

// The second process of the tests below: this program started again with VZ_TEST_CHILD set to
// "lock PATH" (exit 3 when another process holds the lock, 0 once it is had) or "read PATH" (opens
// the file, says so with PATH.ready, waits for PATH.done, exits with the first byte it reads).
struct Child {
  Child() {
    const char* job = std::getenv("VZ_TEST_CHILD");
    if (job == nullptr) return;
    const std::string what(job);
    const std::string path = what.substr(5);
    if (what.starts_with("lock ")) {
      auto lock = FileLock::Acquire(path, [] { ::ExitProcess(3); });
      ::ExitProcess(lock ? 0 : 4);
    }
    FileStream reader(path, kFmOpenRead);
    testing::WriteFile(path + ".ready", "");
    while (!PathExists(path + ".done")) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    uint8_t first = 0;
    reader.Read({&first, 1});
    ::ExitProcess(first);
  }
} child;

// Starts this program as the child; its process handle.
HANDLE StartChild(const std::string& job) {
  testing::portable::SetEnvironment("VZ_TEST_CHILD", job);
  wchar_t program[MAX_PATH];
  ::GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(program) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  const BOOL started = ::CreateProcessW(program, command.data(), nullptr, nullptr, FALSE, 0,
                                        nullptr, nullptr, &startup, &process);
  testing::portable::UnsetEnvironment("VZ_TEST_CHILD");
  if (!started) return nullptr;
  ::CloseHandle(process.hThread);
  return process.hProcess;
}

DWORD ExitCodeOf(HANDLE process) {
  ::WaitForSingleObject(process, 30000);
  DWORD code = 999;
  ::GetExitCodeProcess(process, &code);
  ::CloseHandle(process);
  return code;
}

TEST(Win32PlatformTest, NamesOfAnyScriptAndLongPathsWork) {
  ScratchDir dir;
  const std::string deep(120, 'd');
  const std::vector<std::string> names = {"Größe.txt", "日本語 файл.bin",
                                          deep + "\\" + deep + "\\f"};
  for (size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    SCOPED_TRACE(name);
    const std::string path = dir.path().string() + "\\" + std::to_string(i) + "\\" + name;
    const size_t slash = path.rfind('\\');
    Folder folder;
    std::filesystem::create_directories(std::filesystem::path(win32::Wide(path.substr(0, slash))));
    ASSERT_EQ(Folder::Open(path.substr(0, slash), folder), 0);
    {
      auto stream = folder.CreateFile(path.substr(slash + 1));
      const uint8_t data[] = {'o', 'k'};
      stream->Write(data);
    }
    const auto status = StatPath(path);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->size, 2);
    EXPECT_EQ(ReadSmallFile(path, 10), "ok");
    const auto listed = ListFolder(path.substr(0, slash));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, path.substr(slash + 1));
    EXPECT_EQ(RenameFile(path, path + ".moved"), 0);
    EXPECT_TRUE(PathExists(path + ".moved"));
  }
}

TEST(Win32PlatformTest, TheRegistryIsReadInTheViewOf32BitPrograms) {
  const std::string key = "Software\\Veldrin\\RegistryTest";
  // A 32-bit program's key, as FSX writes it, and a 64-bit one beside it that must not be read.
  ASSERT_EQ(std::system(("reg add \"HKLM\\" + key +
                         "\" /v SetupPath /d \"C:\\FSX\\\\\" /reg:32 /f" + " >NUL 2>&1")
                            .c_str()),
            0);
  ASSERT_EQ(
      std::system(("reg add \"HKLM\\" + key + "\" /v Only64 /d x /reg:64 /f >NUL 2>&1").c_str()),
      0);
  EXPECT_EQ(ReadRegistryString("", RegistryRoot::kLocalMachine, key + "\\", "SetupPath"),
            "C:\\FSX\\");
  EXPECT_EQ(ReadRegistryString("", RegistryRoot::kLocalMachine, key, "Only64"), std::nullopt);
  EXPECT_EQ(ReadRegistryString("", RegistryRoot::kLocalMachine, key, "Missing"), std::nullopt);
  // The shell folders come from the known folders.
  const auto documents = ReadRegistryString(
      "", RegistryRoot::kCurrentUser,
      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\", "Personal");
  ASSERT_TRUE(documents);
  EXPECT_TRUE(IsDirectory(*documents)) << *documents;
  std::system(("reg delete \"HKLM\\" + key + "\" /reg:32 /f >NUL 2>&1").c_str());
  std::system(("reg delete \"HKLM\\" + key + "\" /reg:64 /f >NUL 2>&1").c_str());
}

// Makes link a junction to target; false (with the error in *error) when the system makes none.
bool MakeJunction(const std::string& link, const std::string& target, DWORD* error) {
  const std::wstring wide_link = win32::Wide(link);
  const std::wstring target_name = win32::Wide(target);
  const std::wstring substitute = L"\\??\\" + target_name;
  ::CreateDirectoryW(wide_link.c_str(), nullptr);
  const HANDLE handle =
      ::CreateFileW(wide_link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = ::GetLastError();
    return false;
  }
  // REPARSE_DATA_BUFFER of a mount point: tag, length, then the two names' offsets and lengths
  // and the names themselves, each ending in a zero.
  const size_t names = (substitute.size() + 1 + target_name.size() + 1) * sizeof(wchar_t);
  std::vector<uint8_t> buffer(16 + names);
  auto put16 = [&](size_t at, size_t value) {
    buffer[at] = static_cast<uint8_t>(value);
    buffer[at + 1] = static_cast<uint8_t>(value >> 8);
  };
  const uint32_t tag = IO_REPARSE_TAG_MOUNT_POINT;
  std::memcpy(buffer.data(), &tag, 4);
  put16(4, buffer.size() - 8);
  put16(10, substitute.size() * sizeof(wchar_t));
  put16(12, (substitute.size() + 1) * sizeof(wchar_t));
  put16(14, target_name.size() * sizeof(wchar_t));
  std::memcpy(buffer.data() + 16, substitute.c_str(), (substitute.size() + 1) * sizeof(wchar_t));
  std::memcpy(buffer.data() + 16 + (substitute.size() + 1) * sizeof(wchar_t), target_name.c_str(),
              (target_name.size() + 1) * sizeof(wchar_t));
  DWORD got = 0;
  const BOOL made = ::DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(),
                                      static_cast<DWORD>(buffer.size()), nullptr, 0, &got, nullptr);
  *error = made ? 0 : ::GetLastError();
  ::CloseHandle(handle);
  return made;
}

TEST(Win32PlatformTest, AJunctionOnTheWayIsRefusedAsALink) {
  ScratchDir dir;
  const std::string root = dir.path().string();
  std::filesystem::create_directories(dir.path() / "elsewhere");
  DWORD error = 0;
  if (!MakeJunction(root + "\\jn", root + "\\elsewhere", &error)) {
    // Wine 8 makes no junctions (ERROR_NOT_SUPPORTED) and shows Unix links as plain folders.
    GTEST_SKIP() << "this system makes no junctions (error " << error << ")";
  }
  Folder folder;
  ASSERT_EQ(Folder::Open(root, folder), 0);
  EXPECT_EQ(folder.KindOf("jn"), EntryKind::kLink);
  Folder child;
  EXPECT_EQ(folder.OpenChild("jn", false, child), ELOOP);
  EXPECT_EQ(folder.OpenChild("jn", true, child), ELOOP);
  EXPECT_THROW(folder.CreateFile("jn"), vz::FileCreateError);
}

TEST(Win32PlatformTest, TwoProcessesTakeTurnsOnTheLockAndAReaderKeepsTheFileItOpened) {
  ScratchDir dir;
  const std::string path = dir.path().string() + "\\shared.zip";
  testing::WriteFile(path, "old");
  {
    auto held = FileLock::Acquire(path);
    ASSERT_TRUE(held);
    EXPECT_EQ(ExitCodeOf(StartChild("lock " + path)), 3u) << "the lock was free to the other";
  }
  EXPECT_EQ(ExitCodeOf(StartChild("lock " + path)), 0u) << "the lock stayed taken";
  // Another program reads the file while a new one is put in its place.
  const HANDLE reader = StartChild("read " + path);
  ASSERT_NE(reader, nullptr);
  for (int i = 0; i < 3000 && !PathExists(path + ".ready"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  Folder folder;
  ASSERT_EQ(Folder::Open(dir.path().string(), folder), 0);
  WorkFile work(folder, "VMS");
  const uint8_t data[] = {'n', 'e', 'w'};
  work.Stream().Write(data);
  work.Close(true);
  EXPECT_EQ(work.PlaceAs("shared.zip"), 0);
  EXPECT_EQ(ReadSmallFile(path, 10), "new");
  testing::WriteFile(path + ".done", "");
  EXPECT_EQ(ExitCodeOf(reader), static_cast<DWORD>('o')) << "the reader saw another file";
}

}  // namespace
}  // namespace vz::platform
