#include "components/zip_outline.h"

#include "archive/item_procedures.h"
#include "components/zip_browser.h"
#include "platform/file_stream.h"
#include "platform/fs.h"

namespace vz {

ZipOutline::ZipOutline() : root_(BuildOutline(nullptr, true, kDefaultZipAttributes)) {}

// The tree goes first: its file nodes point into the archive.
ZipOutline::~ZipOutline() {
  root_.reset();
  archive_.reset();
}

int ZipOutline::Count() const {
  return archive_ ? archive_->ItemCount() : 0;
}

void ZipOutline::SetFileName(const std::string& value) {
  if (archive_ && archive_->State() == stBusy) throw ArchiveBusyError();
  const std::string name = AbsoluteFileName(value);
  file_name_ = name;
  CloseArchive();
  if (!name.empty()) OpenArchive(name);
  DoChange();
}

void ZipOutline::CloseArchive() {
  if (root_->ChildCount() > 0) SetTree(BuildOutline(nullptr, hierarchy_, attributes_));
  if (!archive_) return;
  // Only what a caller changed through the archive is written; an archive that failed to open is
  // unusable and its Save does nothing.
  if (archive_->Modified()) {
    try {
      archive_->Save();
    } catch (...) {
      // Switching files never fails on the old one.
    }
  }
  archive_.reset();
  loaded_ = false;
}

void ZipOutline::OpenArchive(const std::string& name) {
  if (platform::PathExists(name)) {
    try {
      archive_ = std::make_unique<ZipArchive>(name, kFmOpenReadWrite | kFmShareDenyWrite);
    } catch (const std::exception&) {
      archive_ = std::make_unique<ZipArchive>(name, kFmOpenRead | kFmShareDenyWrite);
    }
    try {
      InitArchive();
      archive_->Load();
    } catch (...) {
      archive_->MarkInvalid();  // held, but nothing will ever be written through it
      throw;
    }
    loaded_ = true;
    return;
  }
  // A name that does not exist becomes an empty zip at once: its end record alone, which every
  // tool opens (a zip archive itself appears on disk only with its first item). A missing folder
  // makes the creation fail, and that failure propagates.
  {
    static constexpr uint8_t kEmptyZip[22] = {'P', 'K', 5, 6};
    FileStream file(name, kFmCreate);
    file.WriteBuffer(kEmptyZip);
  }
  OpenArchive(name);
}

void ZipOutline::SetTree(std::unique_ptr<OutlineNode> root) {
  if (view.before_rebuild) view.before_rebuild();
  root_ = std::move(root);
  if (view.after_rebuild) view.after_rebuild();
}

void ZipOutline::Rebuild() {
  const bool any = loaded_ && archive_->ItemCount() > 0;
  SetTree(BuildOutline(any ? archive_.get() : nullptr, hierarchy_, attributes_));
  if (any) FullExpand();
}

void ZipOutline::FullExpand() {
  if (view.full_expand) view.full_expand();
}

void ZipOutline::FullCollapse() {
  if (view.full_collapse) view.full_collapse();
}

void ZipOutline::SetAttributes(ZipAttributes value) {
  attributes_ = value;
  Rebuild();
}

void ZipOutline::SetHierarchy(bool value) {
  hierarchy_ = value;
  Rebuild();
}

void ZipOutline::InitArchive() {
  ZipArchive& zip = *archive_;
  ApplySettings(zip);
  zip.OnProcessItemFailure = [this](void*, ArchiveItem* item, ProcessType type, ErrorClass cls,
                                    int32_t code) { DoProcessItemFailure(item, type, cls, code); };
  zip.OnArchiveItemProgress = [this](void*, ArchiveItem* item, uint8_t p, bool& abort) {
    DoArchiveItemProgress(item, p, abort);
  };
  zip.OnArchiveProgress = [this](void*, uint8_t p, bool& abort) { DoArchiveProgress(p, abort); };
  zip.OnConfirmProcessItem = [this](void*, ArchiveItem* item, ProcessType type, bool& confirm) {
    DoConfirmProcessItem(item, type, confirm);
  };
  zip.OnConfirmOverwrite = [this](std::string& name, bool& confirm) {
    DoConfirmOverwrite(name, confirm);
  };
  zip.OnConfirmSave = [this](void*, bool& confirm) { DoConfirmSave(confirm); };
  zip.OnLoad = [this](void*) { DoLoad(); };
  zip.OnSave = [this](void*) { DoSave(); };
  zip.OnNeedPassword = [this](void*, std::string& answer) { DoNeedPassword(answer); };
  InstallExtractionProcs(zip);
  InstallInsertionProcs(zip);
}

void ZipOutline::DoProcessItemFailure(ArchiveItem* item, ProcessType type, ErrorClass error_class,
                                      int32_t error_code) {
  if (OnProcessItemFailure) OnProcessItemFailure(this, item, type, error_class, error_code);
}

void ZipOutline::DoArchiveItemProgress(ArchiveItem* item, uint8_t progress, bool& abort) {
  abort = false;
  if (item_meter_) item_meter_->SetPosition(progress);
  if (OnArchiveItemProgress) OnArchiveItemProgress(this, item, progress, abort);
}

void ZipOutline::DoArchiveProgress(uint8_t progress, bool& abort) {
  abort = false;
  if (archive_meter_) archive_meter_->SetPosition(progress);
  if (OnArchiveProgress) OnArchiveProgress(this, progress, abort);
}

void ZipOutline::DoChange() {
  Rebuild();
  if (OnChange) OnChange(this);
}

void ZipOutline::DoConfirmProcessItem(ArchiveItem* item, ProcessType type, bool& confirm) {
  confirm = true;
  if (item_meter_) item_meter_->Reset();
  if (OnConfirmProcessItem) OnConfirmProcessItem(this, item, type, confirm);
}

void ZipOutline::DoConfirmOverwrite(std::string& name, bool& confirm) {
  confirm = true;
  if (OnConfirmOverwrite) OnConfirmOverwrite(name, confirm);
}

void ZipOutline::DoConfirmSave(bool& confirm) {
  confirm = true;
  if (OnConfirmSave) OnConfirmSave(this, confirm);
}

void ZipOutline::DoLoad() {
  if (OnLoad) OnLoad(this);
}

void ZipOutline::DoNeedPassword(std::string& new_password) {
  if (!OnNeedPassword) return;
  OnNeedPassword(this, new_password);
  EditSettings([&](ComponentSettings& settings) { settings.SetPassword(new_password); });
}

void ZipOutline::DoSave() {
  if (OnSave) OnSave(this);
}

}  // namespace vz
