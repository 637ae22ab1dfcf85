// The roots of the archive components. A component owns at most one archive, opened and closed
// through its FileName; it copies its settings (one ComponentSettings value) into each new archive
// and republishes the archive's events as its own (with itself as the sender), feeding two
// progress meter links on the way.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/archive.h"
#include "components/component_settings.h"
#include "components/removal_notice.h"

namespace vz {

// What a component needs of a progress meter: a value from 0 to 100, and a way back to rest. A
// component only refers to its links; destroying a link clears the component's reference.
class MeterLink : public Removable {
 public:
  virtual ~MeterLink() = default;
  virtual void DoProgress(uint8_t progress) = 0;
  virtual void Reset() = 0;
};

// Archive types a file can have.
enum ArchiveType : uint8_t {
  atUnrecognised = 0,
  atZip = 1,
  atSpannedZip = 2,
  atSelfExtractingZip = 3,
  atTar = 4,
  atGzip = 5,
  atGzipTar = 6,
  atCabinet = 7,
};

// The type of a file: by its content when it exists and is not empty (the check chosen by its
// extension), otherwise by its extension alone. Only zip types are recognised by content here.
ArchiveType DetermineArchiveType(const std::string& file_name,
                                 ArchiveType asserted = atUnrecognised);
// The zip type a file's content shows whatever its name: a self-extracting zip when a program
// stub comes first, a zip, or atUnrecognised.
ArchiveType ZipTypeByContent(const std::string& file_name);

// An archive is a regular file or absent: a folder, a device or a pipe (whose opening would block)
// named as one raises ArchiveError saying so.
void RefuseIrregularFile(const std::string& file_name);

class BaseComponent {
 public:
  virtual ~BaseComponent() = default;
  std::string Version() const { return "1.0"; }
};

using NotifyEvent = std::function<void(void* sender)>;

class BaseBrowser : public BaseComponent, public SettingsHolder {
 public:
  BaseBrowser() = default;
  ~BaseBrowser() override;
  BaseBrowser(const BaseBrowser&) = delete;
  BaseBrowser& operator=(const BaseBrowser&) = delete;

  void OpenArchive(const std::string& file_name) { SetFileName(file_name); }
  void CloseArchive();
  // Frees the open archive without writing anything, pending changes included, and forgets its
  // name: what a front end does after a failed save, whose old file is still intact.
  void DiscardArchive();

  const std::string& FileName() const { return file_name_; }
  virtual void SetFileName(const std::string& value) = 0;
  Archive* GetArchive() const { return archive_.get(); }
  ArchiveType GetArchiveType() const { return archive_type_; }
  int ItemCount() const { return archive_ ? archive_->ItemCount() : 0; }

  MeterLink* ItemProgressMeter() const { return item_meter_.get(); }
  void SetItemProgressMeter(MeterLink* link) { item_meter_ = link; }
  MeterLink* ArchiveProgressMeter() const { return archive_meter_.get(); }
  void SetArchiveProgressMeter(MeterLink* link) { archive_meter_ = link; }

  ArchiveProgressEvent OnArchiveProgress;
  ArchiveItemProgressEvent OnArchiveItemProgress;
  NotifyEvent OnChange;
  ArchiveItemConfirmEvent OnConfirmProcessItem;
  ArchiveEvent OnLoad;
  ArchiveItemFailureEvent OnProcessItemFailure;
  ItemWarningEvent OnItemWarning;

  // Message of the failure being reported; valid while OnProcessItemFailure runs.
  std::string FailureMessage() const { return archive_ ? archive_->FailureMessage() : ""; }

 protected:
  virtual void ResetMeters();
  virtual void DoArchiveItemProgress(ArchiveItem* item, uint8_t progress, bool& abort);
  virtual void DoArchiveProgress(uint8_t progress, bool& abort);
  virtual void DoChange();
  virtual void DoConfirmProcessItem(ArchiveItem* item, ProcessType type, bool& confirm);
  virtual void DoLoad();
  virtual void DoProcessItemFailure(ArchiveItem* item, ProcessType type, ErrorClass error_class,
                                    int32_t error_code);
  // Copies the settings into a newly opened archive and connects its events.
  virtual void InitArchive();

  void StoreFileName(const std::string& value) { file_name_ = value; }
  void SetArchive(std::unique_ptr<Archive> archive) { archive_ = std::move(archive); }
  void SetArchiveType(ArchiveType type) { archive_type_ = type; }
  // Saves pending changes of the open archive (failures ignored) and frees it. An archive without
  // pending changes, or one that failed to open, is never written.
  void FreeArchive();
  // Runs InitArchive on the archive just set, then (with load) loads it. A failure of either
  // leaves the archive held but unusable, so that nothing is ever saved over its file.
  void LoadNewArchive(bool load);
  Archive* SettingsTarget() const override { return archive_.get(); }

 private:
  std::unique_ptr<Archive> archive_;
  RemovablePtr<MeterLink> item_meter_;
  RemovablePtr<MeterLink> archive_meter_;
  std::string file_name_;
  ArchiveType archive_type_ = atUnrecognised;
};

}  // namespace vz
