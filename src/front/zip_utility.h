// The window's logic: every command of the "Veldrin - ZIP" window, the state they share, the
// message boxes and the failure report, over a view (the controls) and a shell (the platform), so
// that it runs and is tested without any toolkit. A toolkit's window builds the widgets, forwards
// each widget signal to the handler of the same name and implements WindowView and WindowShell;
// it holds no workflow logic of its own.
//
// Handlers (the public methods named after a control or a window event) never raise: a failure
// they do not answer themselves goes to the failure report, a box titled "Veldrin Zip". The
// published helpers ExtractTheZip, SaveTheZip and GetFileSize raise, as their callers expect.
//
// One operation at a time. The progress handlers handle the window messages that wait, so the
// user's clicks and drops arrive while an extraction or a save runs (and while a box or a dialog
// of a command is open). The window greys the controls that would start other work, open another
// zip, change the file list or change the destination, and its handlers refuse such commands
// anyway: a nested command could free the archive in use. Closing the window during work aborts
// the work first (the next progress report returns abort, and the engine removes its work files
// as the work unwinds), then closes the window once the command has returned.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "components/meter.h"
#include "components/unzipper.h"
#include "components/zipper.h"
#include "front/failure_list.h"
#include "front/fsx_folders.h"
#include "front/message_box.h"
#include "front/window_shell.h"
#include "front/window_view.h"
#include "front/work_rate.h"
#include "installer/layout.h"

namespace vz::front {

// Key codes the key handlers understand (the platform's virtual-key codes).
inline constexpr int kVkEscape = 27;
inline constexpr int kVkDelete = 46;

// A progress label: the percentage, except at 0 and 100, where the label is at rest.
std::string ProgressText(uint8_t progress, const char* at_rest);

// What the window reads from its surroundings.
struct WindowSettings {
  FsxSearch fsx;               // where the FSX lookup finds the Wine registry
  std::string program_folder;  // where the open dialog starts
  // The values of the running process.
  static WindowSettings FromEnvironment();
};

// A hint for an entry of the file list: its text, shown at the entry's top-left corner (client
// coordinates of the list).
struct ListHint {
  std::string text;
  int x = 0;
  int y = 0;
  bool operator==(const ListHint&) const = default;
};

class ZipUtilityWindow {
 public:
  // Configures the unzipper, the zipper and their meter links over the view's meters, and hears
  // the outline's changes. The view and the shell must outlive this object.
  ZipUtilityWindow(WindowView& view, WindowShell& shell,
                   WindowSettings settings = WindowSettings::FromEnvironment());
  ~ZipUtilityWindow();
  ZipUtilityWindow(const ZipUtilityWindow&) = delete;
  ZipUtilityWindow& operator=(const ZipUtilityWindow&) = delete;

  // ---- the window's life ----
  // The window exists: drops are accepted, and the item count shows 0.
  void FormCreate();
  // The window is shown for the first time: the summary of the empty file list, then the FSX
  // check (later calls do nothing).
  void FormShow();
  // A key the window sees before its controls: Escape closes the window. True when it took the key.
  bool FormKeyDown(int key);
  // Whether the window may close now. During work the user is asked first; agreed, the work is told
  // to abort, and the window closes itself once the work has unwound.
  bool FormCloseQuery();
  // "Exit": empties the outline and the destination, then closes the window.
  void btnExitClick();
  // Files dropped on the window, whole paths in the order the platform gives them.
  void WMDropFiles(const std::vector<std::string>& paths);
  // Paths named when the program starts (a file manager's "Open with"), once the window is shown:
  // one zip file opens on the "Extract Zip" page as if dropped there; anything else goes to the
  // "Create Zip" list as a drop on that page, a folder standing for the files below it. Names that
  // do not exist are told in one box.
  void OpenCommandLine(const std::vector<std::string>& paths);
  // A modal box centred on the window; returns the button pressed (a box closed from its title
  // bar answers as its Escape key).
  MessageButton ShowMessageCentered(const std::string& text, MessageKind kind,
                                    MessageButtons buttons);

  // ---- FSX folders ----
  void CheckFSXPath();
  void cbUseFSXFolderClick();
  void cbxFSXFolderChange();

  // ---- extraction ----
  void btnOpenZipClick();
  void btnUnZipFolderClick();
  void btnUnZipClick();
  // Extracts CurrentZipFile into the destination field's folder and reports the end.
  void ExtractTheZip();
  void ZipViewerChange();

  // ---- installing add-ons ----
  // The FSX list's first entry when the open zip is an add-on the installer recognises:
  // "Add-on's own folders (detected: KIND "NAME")"; UnZip with it chosen installs the add-on.
  bool AddonDetected() const { return detected_.has_value(); }
  // Shows the plan of the open zip's install, installs it as one operation and reports where
  // each part went (raises as ExtractTheZip does).
  void InstallTheAddon();
  // The installed add-ons, with the choice to uninstall one (the outline's popup menu).
  void mnuInstalledAddonsClick();
  // The outline's "Names" choice: the character set that names which do not say they are UTF-8
  // are read in ("" for the usual rule); the open zip is shown again with it.
  void mnuNamesClick(const std::string& charset);
  const std::string& NameCharset() const { return name_charset_; }

  // ---- creation ----
  // Sorts the file list, removes duplicates, shows the summary and reports the duplicates.
  void UpdateFilesLabel();
  void RemoveDuplicateFiles();
  // The file's size in whole KB, read without opening it (InOutError when it cannot be read).
  static int64_t GetFileSize(const std::string& file_name);
  // A key in the file list: Delete removes the selected entries. True when it took the key.
  bool ZipFileListKeyDown(int key);
  void vDelSelectedItmClick();
  // The file list's popup menu: files chosen in a dialog, or the files below a folder chosen,
  // join the list as if dropped (a folder's files keep its name with folders kept).
  void mnuAddFilesClick();
  void mnuAddFolderClick();
  // Ctrl+O: "Open" on the Extract page, "Add Files..." on the Create page.
  void OpenShortcut();
  void btnClearListClick();
  // Runs before a typed key changes the comment.
  void edZipCommentKeyPress();
  void btnZipClick();
  // Writes the listed files into the zip file_name (created, or added to and freshened) with one
  // save, and reports the result.
  void SaveTheZip(const std::string& file_name, const std::string& password);

  // ---- hints and the banner ----
  // The hint of the file list's entry under the mouse (-1 or past the end: none, and no hint).
  std::optional<ListHint> ShowHint(int entry, int first_visible, int entry_height) const;
  void imgBanClick();

  // ---- shared state ----
  const std::string& CurrentZipFile() const { return current_zip_file_; }
  bool OverwriteAll() const { return overwrite_all_; }
  bool AllExtracted() const { return all_extracted_; }
  int32_t DuplicateCount() const { return duplicate_count_; }
  const std::vector<std::string>& FileList() const { return files_; }
  // An extraction or a save is running.
  bool Working() const { return working_; }

 private:
  // Marks an extraction, a save or an install as running for as long as it lives.
  class WorkScope {
   public:
    // stop: the button that becomes "Stop" for as long as the work runs.
    WorkScope(ZipUtilityWindow& window, Control stop) : window_(window) {
      window_.SetWorking(true, stop);
    }
    ~WorkScope() { End(); }
    WorkScope(const WorkScope&) = delete;
    WorkScope& operator=(const WorkScope&) = delete;
    void End() {
      if (!active_) return;
      active_ = false;
      window_.SetWorking(false);
    }

   private:
    ZipUtilityWindow& window_;
    bool active_ = true;
  };

  // Runs a handler: refused while another command runs when exclusive, failures to the report,
  // and a close asked for meanwhile carried out at the end.
  template <typename Fn>
  void Command(bool exclusive, Fn&& fn);
  void ReportFailure(const std::string& message);
  // A command or work is running: commands that must wait are refused.
  bool Busy() const { return commands_ > 0 || working_; }
  void SetWorking(bool working, std::optional<Control> stop = std::nullopt);
  // The work's progress reports return this: the window is closing, or Stop was pressed.
  bool AbortWanted() const { return abort_requested_ || stop_requested_; }

  void DropZip(const std::string& path);
  // Opens path on the Extract page (a drop checks its extension, the Open dialog does not); a
  // failure says why and leaves the page empty.
  void OpenZip(const std::string& path, bool check_extension);
  void DropFiles(const std::vector<std::string>& paths);
  void DeleteSelectedEntries();
  void ShowFileList();
  void AddListedFiles();
  FsxControls ReadFsxControls() const;
  // Looks at the zip just opened: an add-on recognised, with FSX found, gets the FSX list's first
  // entry, chosen; anything else gives the list its thirteen folders back.
  void DetectAddon();
  // The FSX list's entries as they are now (with the detected entry first when there is one).
  void ShowFsxList();
  // True when UnZip is to install: the FSX mode is on and the detected entry chosen.
  bool InstallChosen() const;
  void ShowFsxControls(const FsxControls& controls);

  // The components' events.
  void unZipperConfirmOverwrite(std::string& name, bool& confirm);
  void unZipperNeedPassword(std::string& new_password);
  void unZipperArchiveProgress(uint8_t progress, bool& abort);
  void unZipperArchiveItemProgress(ArchiveItem* item, uint8_t progress, bool& abort);
  void zipperArchiveProgress(uint8_t progress, bool& abort);
  void zipperArchiveItemProgress(ArchiveItem* item, uint8_t progress, bool& abort);
  void zipperArchiveSaveProgress(bool& abort);
  void zipperWaitForArchive(bool& abort);
  // The status bar's line for the item in progress: what is done to it, its name, and once the
  // work has run a while the bytes done and the time left.
  std::string WorkStatus(const char* doing, ArchiveItem* item, uint8_t progress);

  WindowView& view_;
  WindowShell& shell_;
  WindowSettings settings_;

  UnZipper unzipper_;
  Zipper zipper_;
  WidgetMeterLink zip_file_meter_link_;         // drives zipItemMeter
  WidgetMeterLink zip_archive_meter_link_;      // drives zipFileMeter
  WidgetMeterLink file_zipping_meter_link_;     // drives FileZippingMeter
  WidgetMeterLink archive_zipping_meter_link_;  // drives ArchiveZippingMeter

  std::string current_zip_file_;
  bool overwrite_all_ = false;
  bool skip_all_ = false;  // "No to All" answered in this extraction
  int declined_ = 0;       // files there already that this extraction kept (not overwritten)
  bool all_extracted_ = true;
  int32_t duplicate_count_ = 0;
  std::vector<std::string> files_;  // the file list, sorted once UpdateFilesLabel ran
  // The folder a listed file's stored name starts below, for files of a folder that was named
  // (the folder's parent); any other file's is its own folder.
  std::map<std::string, std::string> list_bases_;

  FailureList extraction_failures_;
  FailureList save_failures_;
  bool password_notice_shown_ = false;
  std::string name_charset_;         // the outline's "Names" choice
  std::string stopped_item_;         // the item an extraction's Stop was answered in
  WorkRate rate_;                    // bytes done and time left of the work running
  bool password_cancelled_ = false;  // the password question was cancelled in this command

  std::optional<installer::AddonLayout> detected_;  // the open zip, when it is a known add-on

  bool shown_ = false;
  int commands_ = 0;      // handlers running, nested ones included
  bool working_ = false;  // an extraction or a save is running
  bool abort_requested_ = false;
  std::optional<Control> stop_button_;  // the button showing "Stop" while work runs
  bool stop_requested_ = false;         // Stop pressed during the last work
  bool close_pending_ = false;
  bool asking_close_ = false;  // the question before closing during work is open
};

template <typename Fn>
inline void ZipUtilityWindow::Command(bool exclusive, Fn&& fn) {
  if (exclusive && Busy()) return;
  ++commands_;
  try {
    fn();
  } catch (const std::exception& e) {
    ReportFailure(e.what());
  } catch (...) {
    ReportFailure("Unexpected failure");
  }
  --commands_;
  if (commands_ == 0 && close_pending_) {
    close_pending_ = false;
    abort_requested_ = false;
    shell_.CloseWindow();
  }
}

}  // namespace vz::front
