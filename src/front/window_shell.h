// What the window's logic needs of the platform around the window: message boxes, the file and
// folder dialogs, handling the window messages that wait, the web browser, the window's place on
// the screen and closing it. A toolkit implements it in a few lines per method; tests script it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "front/message_box.h"

namespace vz::front {

struct MessageRequest {
  std::string text;  // shown as it is; line breaks are CR LF (a few boxes use CR alone)
  MessageKind kind = MessageKind::kInformation;
  MessageButtons buttons = mbOK;
  // Where the box goes once it has sized itself: its top-left corner for its width and height.
  // Empty: centred on the screen.
  std::function<BoxOrigin(int32_t width, int32_t height)> place;
};

// A file dialog. The filter is one entry: a description ("Zip files (*.zip)") and a pattern
// ("*.zip") that matches names whatever their letter case (FILE.ZIP is a zip file too).
struct FileDialogRequest {
  std::string title;
  std::string filter_name;
  std::string filter_pattern;
  std::string default_extension;  // with its dot; added to a name typed without any extension
  std::string initial_folder;     // empty: the platform's choice
  std::string initial_name;
};

// The plan of an add-on's install, shown before anything is written.
struct InstallPlanRequest {
  std::string title;               // "Install "NAME" into FSX"
  std::vector<std::string> parts;  // a line per part: its kind, name and destination
  std::vector<std::string> lines;  // the whole plan, a line per file and note
  int different = 0;               // files that exist and differ: replace them or keep them
  int identical = 0;               // files there already, the same: skipped
  bool update = false;             // the add-on was installed before: it is replaced
  // Choices a part waits for, each a list to choose one entry of (empty: no such part).
  std::vector<std::string> aircraft;           // a livery's aircraft, among those installed
  std::vector<std::string> simobject_folders;  // where a sim object of no known category goes
};
struct InstallPlanAnswer {
  bool install = false;            // "Install" pressed
  bool replace_different = false;  // the choice to replace the files that differ
  int aircraft = -1;               // the entry chosen of request.aircraft, or -1
  int simobject_folder = -1;       // the entry chosen of request.simobject_folders, or -1
};

class WindowShell {
 public:
  virtual ~WindowShell() = default;

  // Shows a modal box titled and iconed by its kind (MessageTitle), with the buttons in
  // kButtonOrder, captioned by ButtonCaption, Enter pressing DefaultButton and Escape
  // EscapeButton; returns the button pressed, or mbNone when the box was closed otherwise.
  virtual MessageButton ShowMessage(const MessageRequest& request) = 0;

  // The path chosen in an open-file dialog that accepts only files that exist, or nothing when it
  // was cancelled.
  virtual std::optional<std::string> OpenFileName(const FileDialogRequest& request) = 0;
  // The paths chosen in an open-file dialog that takes several existing files; empty when it was
  // cancelled.
  virtual std::vector<std::string> OpenFileNames(const FileDialogRequest& request) = 0;
  // The path chosen in a save-file dialog that does not itself ask about overwriting, or nothing.
  virtual std::optional<std::string> SaveFileName(const FileDialogRequest& request) = 0;
  // A folder chosen in a folder browser with that caption, or nothing.
  virtual std::optional<std::string> BrowseForFolder(const std::string& caption) = 0;

  // Handles every window message that waits (repaints, clicks, key presses, drops, a request to
  // close) and returns; the user's commands run inside this call.
  virtual void ProcessMessages() = 0;
  virtual void OpenWebPage(const std::string& url) = 0;
  // Shows folder in the desktop's file manager.
  virtual void OpenFolder(const std::string& folder) = 0;
  // The main window's frame in screen coordinates.
  virtual ScreenRect WindowGeometry() const = 0;
  // Closes the main window as its title bar would: the window asks FormCloseQuery first.
  virtual void CloseWindow() = 0;
  // From now on, files dropped on the window reach WMDropFiles.
  virtual void AcceptDroppedFiles() = 0;
  // Asks for the password of the encrypted item item_name (masked as typed; again: the last one
  // was wrong); nothing when cancelled.
  virtual std::optional<std::string> AskPassword(const std::string& item_name, bool again) = 0;
  // Asks for the password that a zip being made is encrypted with: typed twice, masked; nothing
  // when cancelled. The answer is never empty.
  virtual std::optional<std::string> AskNewPassword() = 0;
  // The main window's caption.
  virtual void SetWindowTitle(const std::string& title) = 0;
  // Shows an install's plan in a modal dialog: its parts, its lines, the choice to replace the
  // files that differ (when there are any), "Install" and "Cancel".
  virtual InstallPlanAnswer ShowInstallPlan(const InstallPlanRequest& request) = 0;
  // Shows the installed add-ons (a line each) in a modal dialog with "Uninstall" and "Close";
  // the entry chosen for uninstalling, or nothing.
  virtual std::optional<int> ShowInstalledAddons(const std::vector<std::string>& entries) = 0;
};

}  // namespace vz::front
