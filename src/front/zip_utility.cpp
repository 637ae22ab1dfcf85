// The window's commands. Each handler is a short script over the view, the shell and the
// components; what the user is told is written out here letter for letter.
//
// How a save stays linear: the zipper saves the whole archive after every change when AutoSave is
// on, which made a zip of n files cost n rewrites of a growing archive. SaveTheZip switches it off,
// records every file as a pending addition (a hash lookup each) and writes the archive once.
#include "front/zip_utility.h"

#include "front/window_helpers.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "archive/utils.h"
#include "components/file_admission.h"
#include "components/zip_attributes.h"
#include "components/zip_outline.h"
#include "errors/errors.h"
#include "front/file_gathering.h"
#include "front/product.h"
#include "platform/dos_time.h"
#include "platform/file_stream.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/runtime_errors.h"

namespace vz::front {

using detail::HasZipExtension;
using detail::ParentFolder;

namespace {

// The controls greyed while an extraction or a save runs.
constexpr Control kWorkControls[] = {
    Control::btnOpenZip,     Control::btnUnZip,     Control::btnUnZipFolder,
    Control::cbUseFSXFolder, Control::cbxFSXFolder, Control::edFolderPath,
    Control::ZipFileList,    Control::btnZip,       Control::btnClearList,
};

}  // namespace

WindowSettings WindowSettings::FromEnvironment() {
  return {FsxSearch::FromEnvironment(), platform::ProgramFolder()};
}

// Greys the controls that would start other work for as long as an extraction or a save runs.
ZipUtilityWindow::ZipUtilityWindow(WindowView& view, WindowShell& shell, WindowSettings settings)
    : view_(view), shell_(shell), settings_(std::move(settings)) {
  zip_file_meter_link_.SetMeter(&view_.MeterOf(Control::zipItemMeter));
  zip_archive_meter_link_.SetMeter(&view_.MeterOf(Control::zipFileMeter));
  file_zipping_meter_link_.SetMeter(&view_.MeterOf(Control::FileZippingMeter));
  archive_zipping_meter_link_.SetMeter(&view_.MeterOf(Control::ArchiveZippingMeter));

  unzipper_.SetItemProgressMeter(&zip_file_meter_link_);
  unzipper_.SetArchiveProgressMeter(&zip_archive_meter_link_);
  unzipper_.EditSettings([&](ComponentSettings& s) { s.SetExtractOptions(0); });
  unzipper_.OnArchiveProgress = [this](void*, uint8_t progress, bool& abort) {
    unZipperArchiveProgress(progress, abort);
  };
  unzipper_.OnArchiveItemProgress = [this](void*, ArchiveItem* item, uint8_t progress,
                                           bool& abort) {
    unZipperArchiveItemProgress(item, progress, abort);
  };
  unzipper_.OnConfirmOverwrite = [this](std::string& name, bool& confirm) {
    unZipperConfirmOverwrite(name, confirm);
  };
  unzipper_.OnNeedPassword = [this](void*, std::string& password) {
    unZipperNeedPassword(password);
  };
  extraction_failures_.Watch(unzipper_);

  zipper_.SetItemProgressMeter(&file_zipping_meter_link_);
  zipper_.SetArchiveProgressMeter(&archive_zipping_meter_link_);
  zipper_.EditSettings([&](ComponentSettings& s) {
    s.SetAutoSave(true);
    s.SetDOSMode(false);
    s.SetStoreOptions(soStripDrive | soRemoveDots | soFreshen);
  });
  zipper_.OnArchiveProgress = [this](void*, uint8_t progress, bool& abort) {
    zipperArchiveProgress(progress, abort);
  };
  zipper_.OnArchiveItemProgress = [this](void*, ArchiveItem* item, uint8_t progress, bool& abort) {
    zipperArchiveItemProgress(item, progress, abort);
  };
  zipper_.OnArchiveSaveProgress = [this](void*, uint8_t, bool& abort) {
    zipperArchiveSaveProgress(abort);
  };
  zipper_.OnWaitForArchive = [this](void*, bool, bool& abort) { zipperWaitForArchive(abort); };
  save_failures_.Watch(zipper_, {}, true);

  view_.ZipViewer().OnChange = [this](void*) { ZipViewerChange(); };
}

std::string ProgressText(uint8_t progress, const char* at_rest) {
  if (progress == 0 || progress == 100) return at_rest;
  if (progress > 100) return "100%";
  return std::to_string(progress) + "%";
}

ZipUtilityWindow::~ZipUtilityWindow() {
  view_.ZipViewer().OnChange = nullptr;
}

void ZipUtilityWindow::ReportFailure(const std::string& message) {
  // Work aborted because the window is closing is no failure to tell about.
  if (close_pending_) return;
  shell_.ShowMessage({FailureReportText(message), MessageKind::kError, mbOK, {}});
}

void ZipUtilityWindow::SetWorking(bool working, std::optional<Control> stop) {
  working_ = working;
  for (const Control control : kWorkControls) view_.SetEnabled(control, !working);
  if (working) {
    // The button that started the work stops it.
    stop_requested_ = false;
    stop_button_ = stop;
    if (stop) {
      view_.SetEnabled(*stop, true);
      view_.SetText(*stop, "Stop");
    }
    return;
  }
  if (stop_button_) {
    view_.SetText(*stop_button_, *stop_button_ == Control::btnUnZip ? "UnZip" : "Zip");
    stop_button_.reset();
  }
  const bool fsx_mode = view_.Checked(Control::cbUseFSXFolder);
  view_.SetEnabled(Control::btnUnZipFolder, !fsx_mode);
  view_.SetEnabled(Control::cbxFSXFolder, fsx_mode);
}

// ---- the window's life ---------------------------------------------------------------------

void ZipUtilityWindow::FormCreate() {
  Command(false, [&] {
    shell_.AcceptDroppedFiles();
    view_.ZipViewer().Loaded();
  });
}

void ZipUtilityWindow::FormShow() {
  if (shown_) return;
  shown_ = true;
  Command(false, [&] {
    UpdateFilesLabel();
    CheckFSXPath();
  });
}

bool ZipUtilityWindow::FormKeyDown(int key) {
  if (key != kVkEscape) return false;
  shell_.CloseWindow();
  return true;
}

bool ZipUtilityWindow::FormCloseQuery() {
  if (!Busy()) return true;
  if (close_pending_ || asking_close_) return false;
  // Work running: the user is asked first (a dialog or box of a command is simply closed).
  if (working_) {
    asking_close_ = true;
    const MessageButton answer = ShowMessageCentered(
        "Work is in progress. Stop it and close the window?\r\n\r\n"
        "What was finished stays; the file in progress is removed.",
        MessageKind::kConfirmation, mbYes | mbNo);
    asking_close_ = false;
    if (answer != mbYes) return false;
    if (!Busy()) return true;  // the work ended meanwhile
  }
  abort_requested_ = true;
  close_pending_ = true;
  return false;
}

void ZipUtilityWindow::btnExitClick() {
  if (!Busy()) {
    bool emptied = false;
    Command(false, [&] {
      view_.ZipViewer().SetFileName("");
      view_.SetText(Control::edFolderPath, "");
      emptied = true;
    });
    if (!emptied) return;
  }
  shell_.CloseWindow();
}

void ZipUtilityWindow::WMDropFiles(const std::vector<std::string>& paths) {
  Command(true, [&] {
    if (view_.VisiblePage() == Page::tabUnZip) {
      if (!paths.empty()) DropZip(paths.front());
    } else {
      DropFiles(paths);
    }
  });
}

void ZipUtilityWindow::OpenCommandLine(const std::vector<std::string>& paths) {
  Command(true, [&] {
    std::vector<std::string> found;
    std::string missing;
    for (const std::string& path : paths) {
      const std::string absolute = AbsoluteFileName(path);
      if (platform::StatPath(absolute)) {
        found.push_back(absolute);
      } else {
        missing += "\r\n" + absolute;
      }
    }
    if (!missing.empty()) {
      ShowMessageCentered("These files were not found:\r\n" + missing, MessageKind::kInformation,
                          mbOK);
    }
    const bool all_zips =
        !found.empty() && std::all_of(found.begin(), found.end(), [](const std::string& path) {
          return HasZipExtension(path) && !platform::IsDirectory(path);
        });
    if (all_zips) {
      // One zip at a time on the Extract page: the first opens, the others are named.
      view_.ShowPage(Page::tabUnZip);
      if (found.size() > 1) {
        std::string others;
        for (size_t i = 1; i < found.size(); ++i) others += "\r\n" + found[i];
        ShowMessageCentered("One zip is opened at a time. These were not opened:\r\n" + others,
                            MessageKind::kInformation, mbOK);
      }
      DropZip(found.front());
      return;
    }
    std::vector<std::string> files;
    for (const std::string& path : found) {
      if (!platform::IsDirectory(path)) {
        files.push_back(path);
        continue;
      }
      const GatheredFiles below = FilesBelow(path);
      files.insert(files.end(), below.files.begin(), below.files.end());
      // A folder named keeps its own name as the first part of its files' stored names.
      const std::string base = ParentFolder(path);
      for (const std::string& file : below.files) list_bases_[file] = base;
    }
    if (files.empty()) return;
    view_.ShowPage(Page::tabZip);
    DropFiles(files);
  });
}

MessageButton ZipUtilityWindow::ShowMessageCentered(const std::string& text, MessageKind kind,
                                                    MessageButtons buttons) {
  MessageRequest request{text, kind, buttons, [this](int32_t width, int32_t height) {
                           return CenteredOn(shell_.WindowGeometry(), width, height);
                         }};
  const MessageButton answer = shell_.ShowMessage(request);
  if (answer == mbNone || (answer & buttons) == 0) return EscapeButton(buttons);
  return answer;
}

// ---- FSX folders ---------------------------------------------------------------------------

FsxControls ZipUtilityWindow::ReadFsxControls() const {
  return {view_.Checked(Control::cbUseFSXFolder), view_.Enabled(Control::cbxFSXFolder),
          view_.ItemIndex(Control::cbxFSXFolder), view_.Enabled(Control::btnUnZipFolder),
          view_.Text(Control::edFolderPath)};
}

void ZipUtilityWindow::ShowFsxControls(const FsxControls& controls) {
  view_.SetChecked(Control::cbUseFSXFolder, controls.use_fsx_folder);
  view_.SetEnabled(Control::cbxFSXFolder, controls.folder_list_enabled);
  view_.SetItemIndex(Control::cbxFSXFolder, controls.folder_list_index);
  view_.SetEnabled(Control::btnUnZipFolder, controls.folder_button_enabled);
  view_.SetText(Control::edFolderPath, controls.folder_path);
}

void ZipUtilityWindow::CheckFSXPath() {
  Command(false, [&] {
    const auto warning = FsxMissingWarning(settings_.fsx);
    if (!warning) return;
    // The one box centred on the screen: it may come before the window is in place.
    shell_.ShowMessage({*warning, MessageKind::kInformation, mbOK, {}});
    FsxControls controls = ReadFsxControls();
    ApplyFsxModeOff(controls);
    ShowFsxControls(controls);
  });
}

void ZipUtilityWindow::cbUseFSXFolderClick() {
  if (Busy()) {
    // Refused while work runs: the box goes back to what the destination follows.
    view_.SetChecked(Control::cbUseFSXFolder, !view_.Checked(Control::cbUseFSXFolder));
    return;
  }
  Command(true, [&] {
    // Leaving the add-on's own folders leaves no destination: the FSX folder it showed is no
    // place for the zip's files as they are.
    const bool leaves_install = !view_.Checked(Control::cbUseFSXFolder) && detected_ &&
                                view_.ItemIndex(Control::cbxFSXFolder) == 0;
    FsxControls controls = ReadFsxControls();
    ApplyFsxTick(controls);
    if (leaves_install) controls.folder_path.clear();
    ShowFsxControls(controls);
    CheckFSXPath();
  });
}

void ZipUtilityWindow::cbxFSXFolderChange() {
  Command(true, [&] {
    const int index = view_.ItemIndex(Control::cbxFSXFolder);
    // With an add-on detected its entry comes first and the folders follow it.
    const auto folder = detected_ && index == 0
                            ? std::optional(GetFSXPath(settings_.fsx))
                            : FsxFolderOf(settings_.fsx, index - (detected_ ? 1 : 0));
    if (folder) view_.SetText(Control::edFolderPath, *folder);
  });
}

// ---- extraction ----------------------------------------------------------------------------

void ZipUtilityWindow::btnOpenZipClick() {
  Command(true, [&] {
    const auto chosen = shell_.OpenFileName({"Select a Zip file", "Zip files (*.zip)", "*.zip", "",
                                             settings_.program_folder, current_zip_file_});
    if (!chosen) return;
    OpenZip(*chosen, false);
  });
}

void ZipUtilityWindow::DropZip(const std::string& path) {
  OpenZip(path, true);
}

void ZipUtilityWindow::OpenZip(const std::string& path, bool check_extension) {
  // Opening never makes a zip: a name that is not there is said to be missing, and only a regular
  // file is a zip (a pipe would never end, a folder is none).
  const auto status = platform::StatPath(path);
  if (!status) {
    ShowMessageCentered("This Zip file was not found:\r\n\r\n" + path, MessageKind::kError, mbOK);
    return;
  }
  if (!status->is_regular) {
    ShowMessageCentered(path + ": is a " + status->kind + ", not a zip archive",
                        MessageKind::kError, mbOK);
    return;
  }
  if (check_extension && !HasZipExtension(path)) {
    ShowMessageCentered("Sorry, this is not a Zip File!", MessageKind::kError, mbOK);
    return;
  }
  try {
    view_.ZipViewer().SetFileName(path);
    current_zip_file_ = path;
    view_.ZipViewer().FullCollapse();
    DetectAddon();
    shell_.SetWindowTitle(std::string(kWindowCaption) + " - " +
                          path.substr(LastSeparator(path) + 1));
    return;
  } catch (const std::exception&) {
    // answered below
  }
  shell_.SetWindowTitle(std::string(kWindowCaption));
  // What failed to open leaves the page empty: UnZip never extracts a zip the page no longer
  // shows.
  try {
    view_.ZipViewer().SetFileName("");
  } catch (const std::exception&) {
  }
  current_zip_file_.clear();
  view_.SetText(Control::Label4, "0 file(s)");
  DetectAddon();
  // A download cut short still begins with a local header: say so rather than "not a zip".
  std::string head;
  try {
    FileStream file(path, kFmOpenRead | kFmShareDenyNone);
    head.resize(4);
    head.resize(static_cast<size_t>(file.Read({reinterpret_cast<uint8_t*>(head.data()), 4})));
  } catch (const std::exception&) {
  }
  if (head == std::string("PK\x03\x04", 4)) {
    ShowMessageCentered(path +
                            ": this zip is cut short (an incomplete download?): the directory "
                            "at its end is missing.",
                        MessageKind::kError, mbOK);
    return;
  }
  ShowMessageCentered("Sorry, this is not a Zip File!", MessageKind::kError, mbOK);
}

void ZipUtilityWindow::ZipViewerChange() {
  view_.SetText(Control::Label4, std::to_string(view_.ZipViewer().Count()) + " file(s)");
}

void ZipUtilityWindow::btnUnZipFolderClick() {
  Command(true, [&] {
    const auto folder = shell_.BrowseForFolder("Select the destination folder...");
    if (folder) view_.SetText(Control::edFolderPath, *folder);
  });
}

void ZipUtilityWindow::btnUnZipClick() {
  if (working_ && stop_button_ == Control::btnUnZip) {
    stop_requested_ = true;  // the work ends at its next progress report
    return;
  }
  Command(true, [&] {
    overwrite_all_ = false;
    skip_all_ = false;
    all_extracted_ = true;
    password_notice_shown_ = false;
    password_cancelled_ = false;
    // Each command asks anew: a password of another zip is no answer here.
    unzipper_.EditSettings([](ComponentSettings& s) { s.SetPassword(""); });
    if (current_zip_file_.empty()) {
      ShowMessageCentered("Please open a Zip file!", MessageKind::kInformation, mbOK);
      return;
    }
    if (InstallChosen()) {
      InstallTheAddon();
      return;
    }
    if (view_.Text(Control::edFolderPath).empty()) {
      const auto folder = shell_.BrowseForFolder("Select the destination folder...");
      if (!folder) return;
      view_.SetText(Control::edFolderPath, *folder);
    }
    ExtractTheZip();
  });
}

void ZipUtilityWindow::ExtractTheZip() {
  // The folder named at the end is the one used, whatever the field shows by then.
  const std::string folder = view_.Text(Control::edFolderPath);
  WorkScope work(*this, Control::btnUnZip);
  extraction_failures_.Clear();
  stopped_item_.clear();
  declined_ = 0;
  int attempted = 0;  // files the extraction set out to write
  bool stopped = false;
  try {
    // The unzipper applies its folder again to every zip it opens: one deleted since the last
    // extraction must not stop this one.
    unzipper_.EditSettings([&](ComponentSettings& s) { s.SetBaseDirectory(""); });
    unzipper_.SetFileName(current_zip_file_);
    unzipper_.EditSettings([&](ComponentSettings& s) { s.SetBaseDirectory(folder); });
    uint64_t total = 0;
    for (int i = 0; i < unzipper_.GetArchive()->ItemCount(); ++i) {
      total += static_cast<uint64_t>(
          std::max<int64_t>(unzipper_.GetArchive()->Items(i)->UncompressedSize(), 0));
    }
    rate_.Start(total, WorkRate::Clock::now());
    constexpr ExtractOptions kPaths = eoCreateDirs | eoRestorePath;
    const bool paths = view_.Checked(Control::cdExtractPaths);
    unzipper_.EditSettings([&](ComponentSettings& s) {
      const ExtractOptions options = s.GetExtractOptions();
      s.SetExtractOptions(paths ? static_cast<ExtractOptions>(options | kPaths)
                                : static_cast<ExtractOptions>(options & ~kPaths));
    });
    // Without folders, items of one name in different folders land on one file: the first is
    // extracted, the later ones are listed rather than asked about as if they were there before.
    std::map<const ArchiveItem*, std::string> same_name_as;
    if (!paths) {
      std::map<std::string, std::string> first_of;
      Archive& archive = *unzipper_.GetArchive();
      for (int i = 0; i < archive.ItemCount(); ++i) {
        const ArchiveItem* item = archive.Items(i);
        std::string name = item->StoredName();
        std::replace(name.begin(), name.end(), '\\', '/');
        if (name.empty() || name.back() == '/') continue;  // a folder entry
        const std::string file = name.substr(LastSeparator(name) + 1);
        const auto [first, added] = first_of.emplace(file, item->StoredName());
        if (!added) same_name_as[item] = first->second;
      }
    }
    unzipper_.OnConfirmProcessItem = [&](void*, ArchiveItem* item, ProcessType, bool& confirm) {
      const auto same = same_name_as.find(item);
      if (same == same_name_as.end()) {
        const std::string& name = item->StoredName();
        if (!name.empty() && name.back() != '/' && name.back() != '\\') ++attempted;
        return;
      }
      confirm = false;
      extraction_failures_.Add(item->StoredName(),
                               "same name as " + same->second + " in this archive");
    };
    unzipper_.ExtractFiles("*.*");
  } catch (const UserAbortError&) {
    unzipper_.OnConfirmProcessItem = nullptr;
    if (!stop_requested_ || abort_requested_) throw;
    stopped = true;  // Stop pressed: what was extracted stays, the item in progress went
    if (!stopped_item_.empty()) {
      // The item Stop ended was neither written nor failed: its data was cut short on purpose.
      --attempted;
      extraction_failures_.Forget(stopped_item_);
    }
  } catch (...) {
    unzipper_.OnConfirmProcessItem = nullptr;
    throw;
  }
  unzipper_.OnConfirmProcessItem = nullptr;
  const int failed = static_cast<int>(extraction_failures_.Size());
  // Damage the load found in the end records (a count the directory disagrees with) is told with
  // the failures: the items were extracted, but the archive is not what it says.
  const std::string zip_name = current_zip_file_.substr(LastSeparator(current_zip_file_) + 1);
  for (const std::string& warning : unzipper_.LoadWarnings()) {
    extraction_failures_.Add(zip_name, warning);
  }
  unzipper_.CloseArchive();
  view_.MeterOf(Control::zipItemMeter).Reset();
  view_.MeterOf(Control::zipFileMeter).Reset();
  view_.SetText(Control::Label6, "File");
  view_.SetText(Control::Label7, "Zip");
  view_.SetText(Control::StatusText, "");
  work.End();
  if (abort_requested_) throw UserAbortError();

  // Each ending counts what became of the files, and offers to show the folder.
  const int written = std::max(0, attempted - declined_ - failed);
  const std::string counts = "\r\n\r\n" + std::to_string(written) + " file(s) written, " +
                             std::to_string(declined_) + " skipped, " + std::to_string(failed) +
                             " failed.";
  std::string text;
  MessageKind kind = MessageKind::kInformation;
  if (stopped) {
    text = "UnZip stopped. What was extracted before stays in this location:\r\n\r\n" + folder;
  } else if (!extraction_failures_.Empty()) {
    text = "UnZip Complete. One or more files could not be extracted:\r\n\r\n" +
           extraction_failures_.Report();
    kind = MessageKind::kError;
  } else if (all_extracted_) {
    text = "Zip contents extracted to this location:\r\n\r\n" + folder;
  } else {
    text = "UnZip Complete. One or more extractions cancelled!";
  }
  if (ShowMessageCentered(text + counts, kind, mbOK | mbOpenFolder) == mbOpenFolder) {
    shell_.OpenFolder(folder);
  }
}

void ZipUtilityWindow::unZipperConfirmOverwrite(std::string& name, bool& confirm) {
  if (AbortWanted()) {
    confirm = false;  // the window is closing: no more questions, nothing more replaced
    return;
  }
  if (overwrite_all_) {
    confirm = true;
    return;
  }
  if (skip_all_) {
    confirm = false;
    all_extracted_ = false;
    ++declined_;
    return;
  }
  // The status bar names the item asked about (its progress has not been reported yet), and the
  // question says what is there and what would come.
  std::string details;
  if (const Archive* archive = unzipper_.GetArchive(); archive && archive->ActiveItem()) {
    const ArchiveItem& item = *archive->ActiveItem();
    view_.SetText(Control::StatusText, "Extracting: " + item.StoredName());
    if (const auto there = platform::StatPath(name)) {
      const uint32_t dos = platform::UnixTimeToDosDateTime(there->mtime);
      details = "\r\n\r\nThere now: " + std::to_string(there->size) + " bytes, " +
                DosTimeStampText(static_cast<uint16_t>(dos >> 16), static_cast<uint16_t>(dos)) +
                "\r\nFrom the zip: " + std::to_string(item.UncompressedSize()) + " bytes, " +
                DosTimeStampText(item.FileDate(), item.FileTime());
    }
  }
  constexpr MessageButtons kAnswers = mbYes | mbNo | mbAll | mbNoToAll | mbCancel;
  MessageRequest request{"This file already exists in the destination location. \r\n\r\n" + name +
                             details + "\r\n\r\nWould you like to overwrite?",
                         MessageKind::kConfirmation, kAnswers,
                         [this](int32_t width, int32_t height) {
                           return CenteredOn(shell_.WindowGeometry(), width, height);
                         }};
  switch (shell_.ShowMessage(request)) {
    case mbYes:
      confirm = true;
      break;
    case mbAll:
      overwrite_all_ = true;
      confirm = true;
      break;
    case mbNoToAll:
      skip_all_ = true;
      confirm = false;
      all_extracted_ = false;
      ++declined_;
      break;
    case mbCancel:
      // The extraction ends here, as Stop ends it.
      stop_requested_ = true;
      confirm = false;
      break;
    default:  // No, or the box closed (which keeps the file there)
      confirm = false;
      all_extracted_ = false;
      ++declined_;
      break;
  }
}

void ZipUtilityWindow::unZipperNeedPassword(std::string& password) {
  // Asked for each encrypted item until one is given that opens it; cancelled, the command asks
  // no more: the encrypted items are skipped, told once, and listed with the failures at the end.
  if (AbortWanted() || password_cancelled_) return;
  const Archive* archive = unzipper_.GetArchive();
  const std::string item = archive != nullptr && archive->ActiveItem() != nullptr
                               ? archive->ActiveItem()->StoredName()
                               : std::string();
  const auto answer = shell_.AskPassword(item, !password.empty());
  if (answer && !answer->empty()) {
    password = *answer;
    return;
  }
  password_cancelled_ = true;
  if (password_notice_shown_) return;
  password_notice_shown_ = true;
  ShowMessageCentered(
      "Please note: One or more files in this Zip archive are encrypted.\r"
      "Password-protected Zip file support has not yet been implemented.\r\r"
      "The Zip Utility will now attempt to extract any non-encrypted files,\r"
      "please check the destination folder for any output.",
      MessageKind::kInformation, mbOK | mbCancel);
}

void ZipUtilityWindow::mnuNamesClick(const std::string& charset) {
  Command(true, [&] {
    name_charset_ = charset;
    unzipper_.EditSettings([&](ComponentSettings& s) { s.SetNameCharset(charset); });
    view_.ZipViewer().EditSettings([&](ComponentSettings& s) { s.SetNameCharset(charset); });
    if (!current_zip_file_.empty()) OpenZip(current_zip_file_, false);
  });
}

void ZipUtilityWindow::unZipperArchiveProgress(uint8_t progress, bool& abort) {
  view_.SetText(Control::Label7, ProgressText(progress, "Zip"));
  shell_.ProcessMessages();
  abort = AbortWanted();
}

void ZipUtilityWindow::unZipperArchiveItemProgress(ArchiveItem* item, uint8_t progress,
                                                   bool& abort) {
  view_.SetText(Control::StatusText, WorkStatus("Extracting: ", item, progress));
  view_.SetText(Control::Label6, ProgressText(progress, "File"));
  shell_.ProcessMessages();
  abort = AbortWanted();
  if (abort && stop_requested_ && item != nullptr) stopped_item_ = item->StoredName();
}

std::string ZipUtilityWindow::WorkStatus(const char* doing, ArchiveItem* item, uint8_t progress) {
  if (item == nullptr) return doing;
  rate_.Progress(item, static_cast<uint64_t>(std::max<int64_t>(item->UncompressedSize(), 0)),
                 progress);
  const std::string rate = rate_.Text(WorkRate::Clock::now());
  return doing + item->StoredName() + (rate.empty() ? "" : "  (" + rate + ")");
}

std::optional<ListHint> ZipUtilityWindow::ShowHint(int entry, int first_visible,
                                                   int entry_height) const {
  if (entry < 0 || static_cast<size_t>(entry) >= files_.size()) return std::nullopt;
  return ListHint{files_[static_cast<size_t>(entry)], 0, (entry - first_visible) * entry_height};
}

void ZipUtilityWindow::imgBanClick() {
  Command(false, [&] { shell_.OpenWebPage(std::string(kMakerWebAddress) + "/?=VeldrinZip"); });
}

}  // namespace vz::front
