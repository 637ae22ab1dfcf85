// Work files that an interrupted program does not leave behind, on Windows. Ctrl-C, Ctrl-Break and
// a closed console window reach the program as console control events, handled on a thread of
// their own: the handler takes the registry's lock (so it never meets a registration half made,
// nor a file placed and still registered, since those happen under the same lock), deletes every
// registered file and lets the default handler end the program. Work files are opened sharing
// deletion, so one still open is deleted as the program ends.
#include <cerrno>
#include <map>
#include <mutex>

#include "platform/runtime_errors.h"
#include "platform/temp_files.h"
#include "platform/win32/win32_util.h"

namespace vz::platform {

namespace {

std::recursive_mutex& RegistryLock() {
  static std::recursive_mutex lock;
  return lock;
}

// Registered files by slot number, as the paths the handler deletes.
std::map<int, std::wstring>& Registered() {
  static std::map<int, std::wstring> files;
  return files;
}

int g_next_slot = 0;

void RemoveAllLocked() {
  for (const auto& [slot, path] : Registered()) ::DeleteFileW(path.c_str());
}

BOOL WINAPI OnConsoleEvent(DWORD event) {
  (void)event;
  std::lock_guard lock(RegistryLock());
  RemoveAllLocked();
  return FALSE;  // the default handler ends the program
}

}  // namespace

SignalsHeld::SignalsHeld() {
  RegistryLock().lock();
}

SignalsHeld::~SignalsHeld() {
  RegistryLock().unlock();
}

void RemoveTempFilesOnSignals() {
  static std::once_flag once;
  std::call_once(once, [] { ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE); });
}

void EndAsByClosedPipe() {
  RemoveRegisteredTempFiles();
  ::ExitProcess(1);
}

void RemoveRegisteredTempFiles() {
  std::lock_guard lock(RegistryLock());
  RemoveAllLocked();
}

void BlockTerminatingSignals() {}

int RegisteredTempFileCount() {
  std::lock_guard lock(RegistryLock());
  return static_cast<int>(Registered().size());
}

TempFileRegistration::TempFileRegistration(const Folder& folder, const std::string& name) {
  std::lock_guard lock(RegistryLock());
  slot_ = g_next_slot++;
  Registered()[slot_] = win32::WidePath(folder.PathOf(name));
}

void TempFileRegistration::Release() {
  if (slot_ < 0) return;
  std::lock_guard lock(RegistryLock());
  Registered().erase(slot_);
  slot_ = -1;
}

void WorkFile::MakeNamed(const std::string& prefix) {
  SignalsHeld held;
  stream_ = folder_->CreateUniqueFile(prefix, &name_);
  registration_ = TempFileRegistration(*folder_, name_);
}

}  // namespace vz::platform
