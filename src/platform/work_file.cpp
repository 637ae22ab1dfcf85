// What a work file does once it exists, and what a registration does whatever it holds, the same
// on every system; making and registering one is each side's own (posix/temp_files.cpp,
// win32/temp_files.cpp).
#include <cerrno>

#include "platform/runtime_errors.h"
#include "platform/temp_files.h"

namespace vz::platform {

namespace {

std::shared_ptr<const Folder> DuplicateOf(const Folder& folder) {
  auto copy = std::make_shared<const Folder>(folder.Duplicate());
  if (!copy->IsOpen()) throw InOutError::FromErrno(folder.Path(), errno != 0 ? errno : EMFILE);
  return copy;
}

}  // namespace

TempFileRegistration& TempFileRegistration::operator=(TempFileRegistration&& other) noexcept {
  if (this != &other) {
    Release();
    slot_ = other.slot_;
    other.slot_ = -1;
  }
  return *this;
}

WorkFile::WorkFile(const Folder& folder, const std::string& prefix)
    : WorkFile(DuplicateOf(folder), prefix) {}

WorkFile::~WorkFile() {
  if (placed_) return;
  SignalsHeld held;
  stream_.reset();
  folder_->Remove(name_);
  registration_.Release();
}

void WorkFile::Close(bool sync) {
  if (!stream_) return;
  if (sync) stream_->Flush();
  stream_.reset();
}

int WorkFile::PlaceAs(const std::string& target, bool no_replace) {
  return Place([&] { return folder_->Rename(name_, target, no_replace); });
}

int WorkFile::PlaceIn(const Folder& folder, const std::string& target) {
  return Place([&] { return folder_->RenameInto(name_, folder, target); });
}

int WorkFile::Place(const std::function<int()>& rename) {
  stream_.reset();
  // The file is renamed and forgotten by the signal handler in one step.
  SignalsHeld held;
  const int error = rename();
  if (error != 0) return error;
  placed_ = true;
  registration_.Release();
  return 0;
}

}  // namespace vz::platform
