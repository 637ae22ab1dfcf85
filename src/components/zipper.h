// The zipper: binds one zip file to a front end that creates and updates archives. Setting its
// FileName opens the zip, or creates an empty one at once when no file of that name exists; files
// are added by mask, the comment set, and the archive saved (after every change with AutoSave).
// Each new item is compressed by the insert procedures the zipper installs in its archive.
#pragma once

#include "components/zip_browser.h"
#include "platform/fs.h"

namespace vz {

using WaitForArchiveEvent = std::function<void(void* sender, bool first, bool& abort)>;

class CustomZipper : public CustomZipBrowser {
 public:
  CustomZipper() = default;

  // Saves and frees the open archive (a failing save propagates and keeps it open), then opens
  // the named zip, or starts a new one when it does not exist (its file appears with the first
  // save that stores an item). An existing zip is locked against other writers of this program
  // until it is closed; when one holds it, the zipper waits, raising OnWaitForArchive meanwhile. A
  // relative name is taken against the current folder. Names of other types raise
  // UnhandledTypeError; a name that is a folder, device or pipe raises ArchiveError, and so does a
  // file the caller may not write ("is write-protected"), which is never replaced. A zip that
  // fails to open or load stays held but unusable: no later save or change of file writes over it.
  void SetFileName(const std::string& value) override;
  // Sets the archive comment; an empty text removes it. NoArchiveError when no archive is open.
  void SetZipComment(const std::string& comment) override;

  // Adds the files matching file_mask (one path, a mask, or ";"-separated masks), freshening or
  // replacing existing names as StoreOptions say. NoArchiveError when no archive is open.
  void AddFiles(const std::string& file_mask, uint32_t search_attr);
  // Adds files already found (no search), freshening or replacing existing names as AddFiles
  // does; the archive itself is never added. statuses: what the listing that found them saw of
  // each (same order), so that they are not examined again; without it each is examined once.
  // NoArchiveError when no archive is open.
  void AddFileList(const std::vector<std::string>& paths,
                   const std::vector<platform::FileStatus>* statuses = nullptr);
  // Adds one file that the caller admitted (see FileAdmission) as AddFileList would. With base (a
  // folder holding path), the stored name is made from path relative to base.
  void AddAdmittedFile(const std::string& path, const std::string& base = "");
  // Marks the items matching file_mask and not exclusion_mask for deletion (written by the next
  // save, or at once with AutoSave); returns how many. NoArchiveError when no archive is open.
  int DeleteFiles(const std::string& file_mask, const std::string& exclusion_mask = "");
  // Writes pending changes; does nothing when no archive is open.
  void Save();

  MeterLink* ArchiveSaveProgressMeter() const { return save_meter_.get(); }
  void SetArchiveSaveProgressMeter(MeterLink* link) { save_meter_ = link; }

  ArchiveProgressEvent OnArchiveSaveProgress;
  ArchiveConfirmEvent OnConfirmSave;
  ArchiveEvent OnSave;
  // Raised when another writer holds the archive being opened (first set), and then about every
  // 50 ms while the zipper waits for it; setting abort ends the wait with UserAbortError.
  WaitForArchiveEvent OnWaitForArchive;

 protected:
  void ResetMeters() override;
  void InitArchive() override;
  virtual void DoArchiveSaveProgress(uint8_t progress, bool& abort);
  virtual void DoConfirmSave(bool& confirm);
  virtual void DoSave();
  virtual void DoWaitForArchive(bool first, bool& abort);

 private:
  static constexpr int kCreationRetries = 3;
  // The archive being created has a file under its name now: another writer made it.
  bool CreatedMeanwhile();
  // Moves the pending additions to the archive the other writer made, once it is done with it.
  void AddToArchiveCreatedMeanwhile();

  RemovablePtr<MeterLink> save_meter_;
};

class Zipper : public CustomZipper {};

}  // namespace vz
