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

WorkFile::WorkFile(const Folder& folder, const std::string& prefix, WorkFileName naming)
    : WorkFile(DuplicateOf(folder), prefix, naming) {}

WorkFile::WorkFile(std::shared_ptr<const Folder> folder, const std::string& prefix,
                   WorkFileName naming)
    : folder_(std::move(folder)), prefix_(prefix) {
  if (naming == WorkFileName::kUnnamedWherePossible) {
    stream_ = folder_->CreateUnnamedFile();
    unnamed_ = stream_ != nullptr;
  }
  if (!unnamed_) MakeNamed(prefix);
}

WorkFile::~WorkFile() {
  if (placed_ || unnamed_) return;  // an unnamed file goes with its descriptor
  SignalsHeld held;
  stream_.reset();
  folder_->Remove(name_);
  registration_.Release();
}

void WorkFile::Close(bool sync) {
  if (!stream_) return;
  if (sync) stream_->Flush();
  if (!unnamed_) stream_.reset();
}

int WorkFile::PlaceAs(const std::string& target, bool no_replace) {
  return Place(*folder_, target, no_replace);
}

int WorkFile::PlaceIn(const Folder& folder, const std::string& target) {
  return Place(folder, target, false);
}

int WorkFile::Place(const Folder& folder, const std::string& target, bool no_replace) {
  const bool elsewhere = &folder != folder_.get();
  if (unnamed_) {
    const int error = folder.Link(*stream_, target);
    if (error == 0) {
      stream_.reset();
      unnamed_ = false;
      placed_ = true;
      return 0;
    }
    if (error != EEXIST || no_replace) return error;
    // The name is taken: the file gets a work name beside it first and replaces the other by a
    // rename, as a named work file does.
    SignalsHeld held;
    std::string name;
    if (const int link_error = folder.LinkUnique(*stream_, prefix_, &name)) return link_error;
    if (elsewhere) folder_ = DuplicateOf(folder);
    name_ = name;
    unnamed_ = false;
    registration_ = TempFileRegistration(*folder_, name_);
    return PlaceNamed([&] { return folder_->Rename(name_, target); });
  }
  if (elsewhere) return PlaceNamed([&] { return folder_->RenameInto(name_, folder, target); });
  return PlaceNamed([&] { return folder_->Rename(name_, target, no_replace); });
}

int WorkFile::PlaceNamed(const std::function<int()>& rename) {
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
