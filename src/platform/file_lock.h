// The advisory lock that writers of one archive take turns with.
//
// Two programs that update the same archive at once would each write the archive they loaded
// plus their own changes, and the second rename would drop the first one's items. A writer
// therefore holds an exclusive flock on the archive from before it loads it until it is done, and
// a second writer waits. Since a save replaces the file by renaming a new one over it, the lock a
// waiting writer is finally granted may be on the file that was replaced: it is then taken again on
// the file the name now holds, until the two agree. Other programs that do not take the lock are
// not held back by it.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace vz::platform {

class FileLock {
 public:
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Locks the file at path (links followed). When another program holds the lock, the call
  // waits for it: without waiting, in the kernel; with it, waiting is called at once and then
  // about every kWaitStepMs milliseconds until the lock is granted, so that a caller can keep a
  // window alive; an exception it throws ends the wait. Returns nothing when no file is at path
  // (any more); a file that cannot be opened raises FileOpenError.
  static std::unique_ptr<FileLock> Acquire(const std::string& path,
                                           const std::function<void()>& waiting = {});
  static constexpr int kWaitStepMs = 50;

 private:
  explicit FileLock(int fd) : fd_(fd) {}
  int fd_;
};

}  // namespace vz::platform
