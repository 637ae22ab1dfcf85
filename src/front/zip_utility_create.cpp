// The window's "Create Zip" page: the file list and its summary, Add Files and Add Folder, and
// the save into a zip with its report.
#include <algorithm>

#include "archive/utils.h"
#include "components/file_admission.h"
#include "errors/errors.h"
#include "front/file_gathering.h"
#include "front/product.h"
#include "front/window_helpers.h"
#include "front/zip_utility.h"
#include "platform/fs.h"
#include "platform/runtime_errors.h"

namespace vz::front {

using detail::CharacterCount;
using detail::HasZipExtension;
using detail::ListOrder;
using detail::ParentFolder;
using detail::SizeInBytes;
using detail::SizeInKb;

void ZipUtilityWindow::ShowFileList() {
  view_.SetListEntries(Control::ZipFileList, files_);
}

void ZipUtilityWindow::DropFiles(const std::vector<std::string>& paths) {
  bool refused = false;  // a path that is gone, or no regular file (a pipe would never end)
  try {
    int32_t folders = 0;
    for (const std::string& path : paths) {
      const auto status = platform::StatPath(path);
      if (status && status->is_directory) {
        ++folders;
      } else if (status && status->is_regular) {
        files_.push_back(path);
      } else {
        refused = true;
      }
    }
    std::sort(files_.begin(), files_.end(), ListOrder);
    ShowFileList();
    if (folders > 0) {
      ShowMessageCentered("Please note: [" + std::to_string(folders) +
                              "] of the items dropped were folders.\r\n\r\n"
                              "This utility currently only accepts actual filenames.\r\n\r\n"
                              "To add the contents of a folder open it in the explorer\r\n"
                              "and 'Drag & Drop' the files, the folder structure will\r\n"
                              "be preserved if you select that option.",
                          MessageKind::kInformation, mbOK);
    }
    UpdateFilesLabel();
  } catch (const std::exception&) {
    refused = true;
  }
  if (view_.VisiblePage() != Page::tabZip) view_.ShowPage(Page::tabZip);
  if (refused) {
    ShowMessageCentered("One of the files you attempted to drop is in use and will not be added.",
                        MessageKind::kInformation, mbOK);
  }
}

void ZipUtilityWindow::UpdateFilesLabel() {
  duplicate_count_ = 0;
  if (!std::is_sorted(files_.begin(), files_.end(), ListOrder)) {
    std::sort(files_.begin(), files_.end(), ListOrder);
  }
  RemoveDuplicateFiles();
  int64_t total = 0;
  // A listed file that has gone since adds nothing here; the save names it.
  // Bytes added up, then shown in KB rounded up: 2,000 small files are not "0 Kb".
  for (const std::string& file : files_) total += SizeInBytes(file).value_or(0);
  total = (total + 1023) / 1024;
  ShowFileList();
  view_.SetText(Control::FilesLabel,
                std::to_string(files_.size()) + " file(s) - " + std::to_string(total) + " Kb");
  if (duplicate_count_ > 0) {
    ShowMessageCentered("Please Note: [ " + std::to_string(duplicate_count_) +
                            " ] of the files you just dropped are already in the list.",
                        MessageKind::kInformation, mbOK);
  }
}

void ZipUtilityWindow::RemoveDuplicateFiles() {
  const auto kept = std::unique(files_.begin(), files_.end());
  duplicate_count_ += static_cast<int32_t>(files_.end() - kept);
  files_.erase(kept, files_.end());
}

int64_t ZipUtilityWindow::GetFileSize(const std::string& file_name) {
  errno = 0;
  const auto size = SizeInKb(file_name);
  if (!size) throw InOutError::FromErrno(file_name, errno != 0 ? errno : ENOENT);
  return *size;
}

void ZipUtilityWindow::DeleteSelectedEntries() {
  std::vector<int> selected = view_.SelectedEntries(Control::ZipFileList);
  std::sort(selected.rbegin(), selected.rend());
  selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
  for (const int index : selected) {
    if (index >= 0 && static_cast<size_t>(index) < files_.size())
      files_.erase(files_.begin() + index);
  }
  UpdateFilesLabel();
}

bool ZipUtilityWindow::ZipFileListKeyDown(int key) {
  if (key != kVkDelete) return false;
  Command(true, [&] { DeleteSelectedEntries(); });
  return true;
}

void ZipUtilityWindow::vDelSelectedItmClick() {
  Command(true, [&] { DeleteSelectedEntries(); });
}

void ZipUtilityWindow::mnuAddFilesClick() {
  Command(true, [&] {
    const std::vector<std::string> chosen =
        shell_.OpenFileNames({"Add files to the list", "All files (*)", "*", "", "", ""});
    if (!chosen.empty()) DropFiles(chosen);
  });
}

void ZipUtilityWindow::mnuAddFolderClick() {
  Command(true, [&] {
    const auto folder = shell_.BrowseForFolder("Select a folder to add...");
    if (!folder) return;
    const GatheredFiles below = FilesBelow(*folder);
    const std::string base = ParentFolder(*folder);
    for (const std::string& file : below.files) list_bases_[file] = base;
    if (below.files.empty()) {
      ShowMessageCentered("There are no files below this folder:\r\n\r\n" + *folder,
                          MessageKind::kInformation, mbOK);
      return;
    }
    DropFiles(below.files);
  });
}

void ZipUtilityWindow::OpenShortcut() {
  if (view_.VisiblePage() == Page::tabZip) {
    mnuAddFilesClick();
  } else {
    btnOpenZipClick();
  }
}

void ZipUtilityWindow::btnClearListClick() {
  Command(true, [&] {
    if (files_.empty()) return;
    if (ShowMessageCentered("Clear the list of files?", MessageKind::kConfirmation,
                            mbOK | mbCancel) != mbOK) {
      return;
    }
    files_.clear();
    list_bases_.clear();
    UpdateFilesLabel();
  });
}

void ZipUtilityWindow::edZipCommentKeyPress() {
  Command(false, [&] {
    if (CharacterCount(view_.Text(Control::edZipComment)) == 1 &&
        !view_.Checked(Control::cbAddComments)) {
      view_.SetChecked(Control::cbAddComments, true);
    }
  });
}

void ZipUtilityWindow::btnZipClick() {
  if (working_ && stop_button_ == Control::btnZip) {
    stop_requested_ = true;
    return;
  }
  Command(true, [&] {
    if (files_.empty()) {
      ShowMessageCentered("Please add some files to this Zip!", MessageKind::kInformation, mbOK);
      return;
    }
    auto name =
        shell_.SaveFileName({"Save your zip file", "Zip file (*.zip)", "*.zip", ".zip", "", ""});
    if (!name) return;
    if (!HasZipExtension(*name)) *name += ".zip";
    if (platform::WriteProtected(*name)) {
      ShowMessageCentered(*name + ": is write-protected", MessageKind::kError, mbOK);
      return;
    }
    if (platform::PathExists(*name) &&
        ShowMessageCentered("This Zip filename exists. Add files to this Zip?\r\n\r\n"
                            "(Any existing files in the Zip will be replaced)",
                            MessageKind::kConfirmation, mbYes | mbCancel) != mbYes) {
      return;
    }
    // With AES chosen, the new items are encrypted with a password typed for this save.
    std::string password;
    if (view_.Checked(Control::cbEncryptAes)) {
      const auto typed = shell_.AskNewPassword();
      if (!typed) return;
      password = *typed;
    }
    try {
      SaveTheZip(*name, password);
    } catch (const UserAbortError&) {
      if (!stop_requested_ || abort_requested_) throw;
      // Stop pressed: a save writes a new file beside the old one, so nothing changed.
      ShowMessageCentered("Zip stopped. The zip was left as it was:\r\n\r\n" + *name,
                          MessageKind::kInformation, mbOK);
    }
  });
}

void ZipUtilityWindow::AddListedFiles() {
  // Each listed file is looked at once: missing, not a regular file, the zip itself, or a stored
  // name this save already has are told; the rest is added (or freshened when the zip holds it).
  // With folders kept, a file is stored relative to the folder that held what was dropped or
  // named: never under the folders above it (the user's home, the desktop).
  FileAdmission admission(*zipper_.GetArchive());
  uint64_t total = 0;
  for (const std::string& file : files_) {
    const auto listed = list_bases_.find(file);
    const std::string base = listed != list_bases_.end() ? listed->second : ParentFolder(file);
    const std::string relative = file.substr(std::min(file.size(), base.size() + 1));
    const Refusal refusal = admission.Admit(file, {}, true, relative);
    if (refusal == Refusal::kNone) {
      zipper_.AddAdmittedFile(file, base);
      total += admission.Size();
    } else {
      save_failures_.Add(file, admission.Reason(refusal));
    }
    shell_.ProcessMessages();
    if (AbortWanted()) throw UserAbortError();
  }
  rate_.Start(total, WorkRate::Clock::now());
}

void ZipUtilityWindow::SaveTheZip(const std::string& file_name, const std::string& password) {
  WorkScope work(*this, Control::btnZip);
  save_failures_.Clear();
  const bool existed = platform::PathExists(file_name);
  const bool auto_save = zipper_.Settings().AutoSave();
  // The settings this save changes, put back however it ends.
  auto restore = [&] {
    zipper_.EditSettings([&](ComponentSettings& s) {
      s.SetAutoSave(auto_save);
      s.SetPassword("");
      s.SetEncryption(zeTraditional);
    });
  };
  zipper_.EditSettings([&](ComponentSettings& s) {
    s.SetAutoSave(false);
    s.SetPassword(password);
    s.SetEncryption(password.empty() ? zeTraditional : zeAes256);
  });
  try {
    zipper_.SetFileName(file_name);
    zipper_.SetZipComment(view_.Checked(Control::cbAddComments)
                              ? view_.Text(Control::edZipComment)
                              : "Created with Veldrin ZIP (Freeware) - " +
                                    std::string(kMakerWebAddress));
    const bool paths = view_.Checked(Control::cbIncludePaths);
    zipper_.EditSettings([&](ComponentSettings& s) {
      const StoreOptions options = s.GetStoreOptions();
      s.SetStoreOptions(paths ? static_cast<StoreOptions>(options & ~soStripPath)
                              : static_cast<StoreOptions>(options | soStripPath));
    });
    AddListedFiles();
    zipper_.Save();
    zipper_.CloseArchive();
  } catch (...) {
    // The old file is intact (a save writes a new file beside it); nothing of this attempt may
    // be written by a later one, and a new file that never got its first save goes again.
    zipper_.DiscardArchive();
    restore();
    const auto status = platform::StatPath(file_name);
    if (!existed && status && status->is_regular && status->size == 0) {
      platform::DeleteFile(file_name);
    }
    throw;
  }
  restore();
  view_.MeterOf(Control::FileZippingMeter).Reset();
  view_.MeterOf(Control::ArchiveZippingMeter).Reset();
  view_.SetText(Control::Label2, "File");
  view_.SetText(Control::Label3, "Zip");
  view_.SetText(Control::StatusText, "");
  work.End();
  if (AbortWanted()) throw UserAbortError();

  // Every listed file failed: nothing was stored, and no new file was left behind.
  if (save_failures_.Size() >= files_.size() && !files_.empty()) {
    ShowMessageCentered(
        "No file could be added to the zip " + file_name + ":\r\n" + save_failures_.Report(),
        MessageKind::kError, mbOK);
    return;
  }
  std::string text = "Zip file saved as:\r\n\r\n" + file_name;
  if (!save_failures_.Empty()) {
    text += "\r\n\r\nThese files could not be added:\r\n" + save_failures_.Report();
  }
  ShowMessageCentered(
      text, save_failures_.Empty() ? MessageKind::kInformation : MessageKind::kError, mbOK);
}

void ZipUtilityWindow::zipperArchiveProgress(uint8_t progress, bool& abort) {
  view_.SetText(Control::Label3, ProgressText(progress, "Zip"));
  shell_.ProcessMessages();
  abort = AbortWanted();
}

void ZipUtilityWindow::zipperArchiveItemProgress(ArchiveItem* item, uint8_t progress, bool& abort) {
  view_.SetText(Control::StatusText, WorkStatus("Compressing: ", item, progress));
  view_.SetText(Control::Label2, ProgressText(progress, "File"));
  shell_.ProcessMessages();
  abort = AbortWanted();
}

// Writing the finished zip to its file: no label of its own, but the window stays alive.
void ZipUtilityWindow::zipperArchiveSaveProgress(bool& abort) {
  shell_.ProcessMessages();
  abort = AbortWanted();
}

// Another program is writing the zip: the window waits for its turn between message steps, and
// Stop or closing the window ends the wait.
void ZipUtilityWindow::zipperWaitForArchive(bool& abort) {
  const std::string& path = zipper_.FileName();
  view_.SetText(Control::StatusText, "Waiting for another program to finish with " +
                                         path.substr(LastSeparator(path) + 1));
  shell_.ProcessMessages();
  abort = AbortWanted();
}

// ---- hints and the banner ------------------------------------------------------------------

}  // namespace vz::front
