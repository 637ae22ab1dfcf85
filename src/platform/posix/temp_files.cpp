// The registry is a fixed array of slots. A slot is taken by moving its state from free to
// filling, filled, then published; the signal handler only reads published slots. A slot is given
// back by moving it from published to filling (the handler then leaves it alone), closing its
// descriptor and freeing it.
//
// Work files are made on worker threads too. Those threads hold the terminating signals blocked for
// their whole life, so the handler runs on a thread that is not in the middle of filling a slot;
// a slot it finds filling belongs to another thread that is about to publish or free it, and the
// handler waits for that (briefly) before it looks again. A work file's slot is taken before the
// file is created, so no file exists that a slot does not cover.
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
  bool borrowed = false;  // the folder's descriptor belongs to the owner, not to the slot
  char name[256] = {};
};

// Enough for every part of the largest spanned set (99) besides the work files of the items in
// flight.
constexpr int kSlots = 256;
Slot g_slots[kSlots];

// Every signal whose default action ends the program and that a program may catch: a user's
// Ctrl-C and Ctrl-\\, a closed terminal, kill, output into a closed pipe, the file size limit, and
// the timers and user signals that other programs send.
constexpr int kSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,   SIGPIPE, SIGXFSZ,
                            SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF};

void RemovePublished() {
  for (Slot& slot : g_slots) {
    int state = slot.state.load(std::memory_order_acquire);
    // Another thread is filling or freeing this slot: give it up to a second.
    for (int wait = 0; state == kFilling && wait < 1000; ++wait) {
      struct timespec pause = {0, 1000000};
      ::nanosleep(&pause, nullptr);
      state = slot.state.load(std::memory_order_acquire);
    }
    if (state == kPublished) ::unlinkat(slot.folder, slot.name, 0);
  }
}

// A thread inside a critical section (SignalsHeld) takes a terminating signal only when it
// leaves it: the handler notes the signal and returns. Both are the thread's own, read by the
// handler that interrupts it.
[[gnu::tls_model("initial-exec")]] thread_local volatile sig_atomic_t t_held_depth = 0;
[[gnu::tls_model("initial-exec")]] thread_local volatile sig_atomic_t t_deferred_signal = 0;

// Removes the registered files and ends the program as the signal would have without the handler.
void EndBy(int signal_number) {
  RemovePublished();
  ::signal(signal_number, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal_number);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
  ::raise(signal_number);
}

extern "C" void OnTerminatingSignal(int signal_number) {
  if (t_held_depth > 0) {
    t_deferred_signal = signal_number;
    return;
  }
  EndBy(signal_number);
}

// Takes a free slot for a file in the folder folder_fd and leaves it filling; -1 when none is
// free. A borrowed descriptor must stay open until the slot is given back.
int ReserveSlot(int folder_fd, bool borrow) {
  if (folder_fd < 0) return -1;
  for (int i = 0; i < kSlots; ++i) {
    int expected = kFree;
    if (!g_slots[i].state.compare_exchange_strong(expected, kFilling)) continue;
    Slot& slot = g_slots[i];
    slot.borrowed = borrow;
    slot.folder = borrow ? folder_fd : ::fcntl(folder_fd, F_DUPFD_CLOEXEC, 0);
    if (slot.folder < 0) {
      slot.state.store(kFree);
      return -1;
    }
    return i;
  }
  return -1;
}

void PublishSlot(int index, const std::string& name) {
  std::memcpy(g_slots[index].name, name.c_str(), name.size() + 1);
  g_slots[index].state.store(kPublished, std::memory_order_release);
}

void GiveBack(int index) {
  Slot& slot = g_slots[index];
  slot.state.store(kFilling, std::memory_order_release);
  if (!slot.borrowed) ::close(slot.folder);
  slot.folder = -1;
  slot.name[0] = '\0';
  slot.state.store(kFree, std::memory_order_release);
}

}  // namespace

SignalsHeld::SignalsHeld() {
  t_held_depth = t_held_depth + 1;
}

SignalsHeld::~SignalsHeld() {
  t_held_depth = t_held_depth - 1;
  if (t_held_depth == 0 && t_deferred_signal != 0) {
    // No other terminating signal interrupts the ending.
    sigset_t set;
    sigemptyset(&set);
    for (int s : kSignals) sigaddset(&set, s);
    ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
    EndBy(t_deferred_signal);
  }
}

void RemoveTempFilesOnSignals() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int s : kSignals) {
    struct sigaction old {};
    if (::sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnTerminatingSignal;
    // A signal held back returns from the handler: the system call it interrupted goes on.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int other : kSignals) sigaddset(&action.sa_mask, other);
    ::sigaction(s, &action, nullptr);
  }
}

void EndAsByClosedPipe() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kSignals) sigaddset(&set, s);
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  EndBy(SIGPIPE);
  ::_exit(128 + SIGPIPE);  // not reached: the signal's default action ends the program
}

void RemoveRegisteredTempFiles() {
  SignalsHeld held;
  RemovePublished();
}

void BlockTerminatingSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kSignals) sigaddset(&set, s);
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

int RegisteredTempFileCount() {
  int count = 0;
  for (const Slot& slot : g_slots) count += slot.state.load() == kPublished ? 1 : 0;
  return count;
}

TempFileRegistration::TempFileRegistration(const Folder& folder, const std::string& name) {
  if (name.size() >= sizeof Slot::name) return;
  slot_ = ReserveSlot(folder.Descriptor(), false);
  if (slot_ >= 0) PublishSlot(slot_, name);
}

void TempFileRegistration::Release() {
  if (slot_ < 0) return;
  GiveBack(slot_);
  slot_ = -1;
}

void WorkFile::MakeNamed(const std::string& prefix) {
  SignalsHeld held;
  // The slot borrows the folder's descriptor: the registration ends before the folder closes.
  const int slot = ReserveSlot(folder_->Descriptor(), true);
  try {
    stream_ = folder_->CreateUniqueFile(prefix, &name_);
  } catch (...) {
    if (slot >= 0) GiveBack(slot);
    throw;
  }
  if (slot >= 0) {
    if (name_.size() < sizeof Slot::name) {
      PublishSlot(slot, name_);
      registration_.slot_ = slot;
    } else {
      GiveBack(slot);
    }
  }
}

}  // namespace vz::platform
