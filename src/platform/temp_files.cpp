// The registry is a fixed array of slots. A slot is taken by moving its state from free to
// filling, filled, then published; the signal handler only reads published slots. A slot is given
// back by moving it from published to filling (the handler then leaves it alone), closing its
// descriptor and freeing it. The program runs its work on one thread, so the handler never meets a
// slot half-published by another thread: at worst it skips a slot that is being filled or freed.
#include "platform/temp_files.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "platform/runtime_errors.h"

namespace vz::platform {

namespace {

enum SlotState : int { kFree = 0, kFilling = 1, kPublished = 2 };

struct Slot {
  std::atomic<int> state{kFree};
  int folder = -1;
  char name[256] = {};
};

// Enough for every part of the largest spanned set (99) besides the work files of one item.
constexpr int kSlots = 256;
Slot g_slots[kSlots];

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

void RemovePublished() {
  for (Slot& slot : g_slots) {
    if (slot.state.load(std::memory_order_acquire) == kPublished) {
      ::unlinkat(slot.folder, slot.name, 0);
    }
  }
}

extern "C" void OnTerminatingSignal(int signal_number) {
  RemovePublished();
  // End as the signal would have ended the program without this handler.
  ::signal(signal_number, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal_number);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signal_number);
}

int TakeSlot(int folder_fd, const std::string& name) {
  if (name.size() >= sizeof Slot::name || folder_fd < 0) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (!g_slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
    Slot& slot = g_slots[i];
    slot.folder = ::fcntl(folder_fd, F_DUPFD_CLOEXEC, 0);
    if (slot.folder < 0) {
      slot.state.store(kFree);
      return -1;
    }
    std::memcpy(slot.name, name.c_str(), name.size() + 1);
    slot.state.store(kPublished, std::memory_order_release);
    return i;
  }
  return -1;
}

void GiveBack(int index) {
  Slot& slot = g_slots[index];
  slot.state.store(kFilling, std::memory_order_release);
  ::close(slot.folder);
  slot.folder = -1;
  slot.name[0] = '\0';
  slot.state.store(kFree, std::memory_order_release);
}

// Holds back the terminating signals for its lifetime, so that a file is never created without
// being registered, nor placed while still registered.
class SignalsHeld {
 public:
  SignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kSignals) sigaddset(&set, s);
    ::pthread_sigmask(SIG_BLOCK, &set, &old_);
  }
  ~SignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &old_, nullptr); }

 private:
  sigset_t old_;
};

}  // namespace

void RemoveTempFilesOnSignals() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int s : kSignals) {
    struct sigaction old {};
    if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnTerminatingSignal;
    sigemptyset(&action.sa_mask);
    for (int other : kSignals) sigaddset(&action.sa_mask, other);
    ::sigaction(s, &action, nullptr);
  }
}

void RemoveRegisteredTempFiles() {
  SignalsHeld held;
  RemovePublished();
}

int RegisteredTempFileCount() {
  int count = 0;
  for (const Slot& slot : g_slots) count += slot.state.load() == kPublished ? 1 : 0;
  return count;
}

TempFileRegistration::TempFileRegistration(const Folder& folder, const std::string& name)
    : slot_(TakeSlot(folder.Descriptor(), name)) {}

TempFileRegistration& TempFileRegistration::operator=(TempFileRegistration&& other) noexcept {
  if (this != &other) {
    Release();
    slot_ = other.slot_;
    other.slot_ = -1;
  }
  return *this;
}

void TempFileRegistration::Release() {
  if (slot_ < 0) return;
  GiveBack(slot_);
  slot_ = -1;
}

WorkFile::WorkFile(const Folder& folder, const std::string& prefix) : folder_(folder.Duplicate()) {
  if (!folder_.IsOpen()) throw InOutError::FromErrno(folder.Path(), errno);
  SignalsHeld held;
  stream_ = folder_.CreateUniqueFile(prefix, &name_);
  registration_ = TempFileRegistration(folder_, name_);
}

WorkFile::~WorkFile() {
  if (placed_) return;
  SignalsHeld held;
  stream_.reset();
  folder_.Remove(name_);
  registration_.Release();
}

void WorkFile::Close() {
  if (!stream_) return;
  stream_->Flush();
  stream_.reset();
}

int WorkFile::PlaceAs(const std::string& target, bool no_replace) {
  stream_.reset();
  SignalsHeld held;
  const int error = folder_.Rename(name_, target, no_replace);
  if (error != 0) return error;
  placed_ = true;
  registration_.Release();
  return 0;
}

}  // namespace vz::platform
