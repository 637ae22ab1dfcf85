// Work files that an interrupted program does not leave behind.
//
// Extraction decodes each item into a work file beside its target, and a save writes the new
// archive into a work file beside the old one; both are renamed into place when complete. A
// program ended by a signal in the middle (Ctrl-C, kill, a closed terminal or pipe, the file size
// limit) would leave such a file, as large as the item or the archive. Every work file is
// therefore registered while it exists, and a handler for every terminating signal that can be
// caught removes the registered files and then ends the program by the signal's
// default action, so the caller sees the usual status. Files that were there before are never
// registered and stay untouched.
//
// The handler may run at any instruction, so it only calls what is async-signal-safe: a
// registration is a fixed slot holding a descriptor of the file's folder and the file's name,
// filled before it is published, and the handler removes each published file with unlinkat.
// Threads that make work files besides the program's main thread run with the signals blocked
// (BlockTerminatingSignals). On the main thread, creating, registering, placing and removing a
// work file are critical sections (SignalsHeld): a signal that arrives inside one takes effect
// when it ends, so that the handler never meets a registration half made, nor a file placed but
// still registered. Holding back costs no system call, where blocking the signals took four per
// extracted file.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/file_stream.h"
#include "platform/folder.h"

namespace vz::platform {

// Installs the handlers for the terminating signals: SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE,
// SIGXFSZ, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM and SIGPROF (once; a signal that the process
// ignores, as SIGHUP under nohup, stays ignored).
void RemoveTempFilesOnSignals();
// Removes every registered file now, for a face that ends its work in another way (a window closed
// while it works). The registrations stay until their owners end them.
void RemoveRegisteredTempFiles();
// Removes every registered file and ends the program as SIGPIPE's default action does, for output
// found cut short while SIGPIPE is ignored (a write then fails with EPIPE instead).
[[noreturn]] void EndAsByClosedPipe();
// How many files are registered now.
int RegisteredTempFileCount();
// Blocks those signals in the calling thread for good: a worker thread calls it first,
// so that the signals reach the program's main thread.
void BlockTerminatingSignals();

// A critical section of the calling thread: a terminating signal that the handler takes on this
// thread meanwhile ends the program only when the outermost section ends.
class SignalsHeld {
 public:
  SignalsHeld();
  ~SignalsHeld();
  SignalsHeld(const SignalsHeld&) = delete;
  SignalsHeld& operator=(const SignalsHeld&) = delete;
};

// One registration; it ends (the file is not removed) when the object is destroyed or released.
class TempFileRegistration {
 public:
  TempFileRegistration() = default;
  // Registers the file name in folder. When every slot is taken the file is simply not
  // registered.
  TempFileRegistration(const Folder& folder, const std::string& name);
  ~TempFileRegistration() { Release(); }
  TempFileRegistration(TempFileRegistration&& other) noexcept : slot_(other.slot_) {
    other.slot_ = -1;
  }
  TempFileRegistration& operator=(TempFileRegistration&& other) noexcept;
  TempFileRegistration(const TempFileRegistration&) = delete;
  TempFileRegistration& operator=(const TempFileRegistration&) = delete;

  void Release();

 private:
  friend class WorkFile;
  int slot_ = -1;
};

// Whether a work file may be one without a name (Folder::CreateUnnamedFile) until it is placed:
// then there is nothing to remove, whatever ends the program, SIGKILL included.
enum class WorkFileName { kNamed, kUnnamedWherePossible };

// A new, uniquely named work file in a folder, open for reading and writing and registered; or,
// where asked and possible, one without a name. It is removed when the object is destroyed,
// unless it was placed under its final name first.
class WorkFile {
 public:
  // Creates "<prefix>XXXXXX" in folder (which is kept open for the file's lifetime), or an unnamed
  // file there. Failure raises InOutError.
  WorkFile(const Folder& folder, const std::string& prefix,
           WorkFileName naming = WorkFileName::kNamed);
  // The same in a folder held already, which the work file shares instead of opening it again.
  WorkFile(std::shared_ptr<const Folder> folder, const std::string& prefix,
           WorkFileName naming = WorkFileName::kNamed);
  ~WorkFile();
  WorkFile(const WorkFile&) = delete;
  WorkFile& operator=(const WorkFile&) = delete;

  FileStream& Stream() { return *stream_; }
  // The file's name in its folder ("" while it has none), and its path for messages (its folder's
  // while it has no name).
  const std::string& Name() const { return name_; }
  std::string Path() const { return name_.empty() ? folder_->Path() : folder_->PathOf(name_); }
  bool IsUnnamed() const { return unnamed_; }
  const Folder& Where() const { return *folder_; }

  // Closes the file, with sync first flushing its data to the disk (fsync; failure raises
  // InOutError). A file that replaces another must be synced first, so that a crash soon after the
  // rename cannot leave an empty file where a complete one was; a new file need not be. (An
  // unnamed file stays open until it is placed: it is named through its descriptor.)
  void Close(bool sync);
  // Renames the (closed) file to target in its folder, or links an unnamed one there, replacing an
  // existing file unless no_replace is set; from then on it is no work file. Returns 0 or the
  // error number (the work file stays then).
  int PlaceAs(const std::string& target, bool no_replace = false);
  // The same to target in another folder of the same file system.
  int PlaceIn(const Folder& folder, const std::string& target);

 private:
  // Makes and registers the named file "<prefix>XXXXXX" in folder_ (each system's own).
  void MakeNamed(const std::string& prefix);
  // Places the file as target in folder.
  int Place(const Folder& folder, const std::string& target, bool no_replace);
  // Runs rename (0 or an errno value) with the signals held; on success the file is placed.
  int PlaceNamed(const std::function<int()>& rename);

  std::shared_ptr<const Folder> folder_;
  std::string name_;
  std::unique_ptr<FileStream> stream_;
  TempFileRegistration registration_;
  std::string prefix_;
  bool unnamed_ = false;
  bool placed_ = false;
};

}  // namespace vz::platform
