#include "components/zipper.h"

#include <utility>

#include "archive/item_procedures.h"
#include "archive/utils.h"
#include "components/file_admission.h"
#include "platform/file_lock.h"
#include "platform/fs.h"

namespace vz {

void CustomZipper::SetFileName(const std::string& value) {
  const std::string name = AbsoluteFileName(value);
  StoreFileName(name);
  if (GetArchive() != nullptr) {
    // Unlike a browser, the zipper does not swallow a failing save: the changes would be lost.
    GetArchive()->Save();
    SetArchive(nullptr);  // the writers' lock on it goes with it
  }
  ArchiveType type = GetArchiveType();
  if (!name.empty()) {
    RefuseIrregularFile(name);
    // A file its owner protected is not replaced behind its back, though its folder would allow it.
    if (platform::WriteProtected(name)) throw ArchiveError("is write-protected");
    // Another writer of this archive is waited for before it is loaded, so that its changes are
    // in what is loaded. It may have made the file meanwhile, or removed it.
    std::unique_ptr<platform::FileLock> lock;
    if (platform::PathExists(name)) {
      type = DetermineArchiveType(name, AssertedType());
      if (type != atZip && type != atSpannedZip && type != atSelfExtractingZip) {
        throw UnhandledTypeError();
      }
      bool first = true;
      lock = platform::FileLock::Acquire(name, [&] {
        bool abort = false;
        DoWaitForArchive(std::exchange(first, false), abort);
        if (abort) throw UserAbortError();
      });
    }
    if (lock != nullptr) {
      auto zip = std::make_unique<ZipArchive>(name, kFmOpenRead | kFmShareDenyNone);
      zip->HoldLock(std::move(lock));
      SetArchive(std::move(zip));
      LoadNewArchive(true);
    } else {
      type = DetermineArchiveType(name);
      // Tar and gzip files are other formats: only zip files are created here. The file itself
      // appears with the first save that stores an item.
      if (type != atZip) throw UnhandledTypeError();
      SetArchive(std::make_unique<ZipArchive>(name, kFmCreate));
      LoadNewArchive(false);
    }
    SetArchiveType(type);
  }
  DoChange();
}

void CustomZipper::DoWaitForArchive(bool first, bool& abort) {
  if (OnWaitForArchive) OnWaitForArchive(this, first, abort);
}

void CustomZipper::SetZipComment(const std::string& comment) {
  ZipArchive* zip = GetZipArchive();
  if (zip == nullptr) throw NoArchiveError();
  zip->SetZipComment(comment);
}

void CustomZipper::AddFiles(const std::string& file_mask, uint32_t search_attr) {
  if (GetArchive() == nullptr) throw NoArchiveError();
  GetArchive()->AddMatching(file_mask, search_attr);
  DoChange();
}

void CustomZipper::AddFileList(const std::vector<std::string>& paths,
                               const std::vector<platform::FileStatus>* statuses) {
  Archive* archive = GetArchive();
  if (archive == nullptr) throw NoArchiveError();
  const Archive::AddBatch batch(*archive);
  FileAdmission admission(*archive);
  for (size_t i = 0; i < paths.size(); ++i) {
    std::optional<platform::FileStatus> known;
    if (statuses != nullptr && i < statuses->size()) known = (*statuses)[i];
    // Only the archive itself is left out here; a file gone or changed meanwhile is the save's to
    // report, and a repeated name the archive's.
    if (admission.Admit(paths[i], known, false) == Refusal::kTheArchive) continue;
    archive->AddAdmitted(archive->NewItem(paths[i]));
  }
  DoChange();
}

void CustomZipper::AddAdmittedFile(const std::string& path, const std::string& base) {
  Archive* archive = GetArchive();
  if (archive == nullptr) throw NoArchiveError();
  if (base.empty() || path.size() <= base.size() || path.compare(0, base.size(), base) != 0) {
    archive->AddAdmitted(archive->NewItem(path));
  } else {
    // The item's file is base/relative, its stored name made from relative alone.
    const std::string kept = archive->BaseDirectory();
    archive->SetBaseDirectory(base);
    try {
      const size_t skip = base.back() == '/' ? base.size() : base.size() + 1;
      archive->AddAdmitted(archive->NewItem(path.substr(skip)));
    } catch (...) {
      archive->SetBaseDirectory(kept);
      throw;
    }
    archive->SetBaseDirectory(kept);
  }
  DoChange();
}

int CustomZipper::DeleteFiles(const std::string& file_mask, const std::string& exclusion_mask) {
  if (GetArchive() == nullptr) throw NoArchiveError();
  const int marked = GetArchive()->DeleteMatching(file_mask, exclusion_mask);
  DoChange();
  return marked;
}

void CustomZipper::Save() {
  // Another writer may create the archive this one was creating meanwhile: this one then waits
  // for it, as for an existing archive, and adds its items to what the other saved. The name is
  // looked at before the save, and again after a save that failed because the name was taken.
  for (int attempt = 0;; ++attempt) {
    if (GetArchive() == nullptr) return;
    if (attempt < kCreationRetries && CreatedMeanwhile()) {
      AddToArchiveCreatedMeanwhile();
      continue;
    }
    try {
      GetArchive()->Save();
      break;
    } catch (const std::exception&) {
      if (attempt + 1 >= kCreationRetries || !CreatedMeanwhile()) throw;
    }
  }
  DoChange();
}

bool CustomZipper::CreatedMeanwhile() {
  const ZipArchive* zip = GetZipArchive();
  return zip != nullptr && zip->IsNewFile() && !FileName().empty() &&
         platform::PathExists(FileName());
}

void CustomZipper::AddToArchiveCreatedMeanwhile() {
  std::vector<std::unique_ptr<ArchiveItem>> items = GetArchive()->TakePendingAdditions();
  const std::string name = FileName();
  // A comment this writer gave its archive goes with its items.
  const ZipArchive* zip = GetZipArchive();
  const std::string comment = zip != nullptr ? zip->ZipComment() : std::string();
  DiscardArchive();
  SetFileName(name);  // waits for the other writer, then loads what it saved
  Archive* archive = GetArchive();
  if (archive == nullptr) throw NoArchiveError();
  if (!comment.empty()) SetZipComment(comment);
  const Archive::AddBatch batch(*archive);
  for (auto& item : items) archive->AddAdmitted(std::move(item));
}

void CustomZipper::ResetMeters() {
  CustomZipBrowser::ResetMeters();
  if (save_meter_) save_meter_->Reset();
}

void CustomZipper::InitArchive() {
  CustomZipBrowser::InitArchive();
  ZipArchive* zip = GetZipArchive();
  if (zip == nullptr) return;
  zip->OnArchiveSaveProgress = [this](void*, uint8_t progress, bool& abort) {
    DoArchiveSaveProgress(progress, abort);
  };
  zip->OnConfirmSave = [this](void*, bool& confirm) { DoConfirmSave(confirm); };
  zip->OnSave = [this](void*) { DoSave(); };
  InstallInsertionProcs(*zip);
}

void CustomZipper::DoArchiveSaveProgress(uint8_t progress, bool& abort) {
  abort = false;
  if (save_meter_) save_meter_->DoProgress(progress);
  if (OnArchiveSaveProgress) OnArchiveSaveProgress(this, progress, abort);
}

void CustomZipper::DoConfirmSave(bool& confirm) {
  confirm = true;
  if (OnConfirmSave) OnConfirmSave(this, confirm);
}

void CustomZipper::DoSave() {
  if (OnSave) OnSave(this);
}

}  // namespace vz
