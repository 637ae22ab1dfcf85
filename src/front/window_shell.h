// What the window's logic needs of the platform around the window: message boxes, the file and
// folder dialogs, handling the window messages that wait, the web browser, the window's place on
// the screen and closing it. A toolkit implements it in a few lines per method; tests script it.
#pragma once

#include <functional>
#include <optional>
#include <string>

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

class WindowShell {
 public:
  virtual ~WindowShell() = default;

  // Shows a modal box titled and iconed by its kind (MessageTitle), with the buttons in
  // kButtonOrder, captioned by ButtonCaption, Enter pressing DefaultButton and Escape
  // EscapeButton; returns the button pressed, or mbNone when the box was closed otherwise.
  virtual MessageButton ShowMessage(const MessageRequest& request) = 0;

  // The path chosen in an open-file dialog that accepts names of files that do not exist, or
  // nothing when it was cancelled.
  virtual std::optional<std::string> OpenFileName(const FileDialogRequest& request) = 0;
  // The path chosen in a save-file dialog that does not itself ask about overwriting, or nothing.
  virtual std::optional<std::string> SaveFileName(const FileDialogRequest& request) = 0;
  // A folder chosen in a folder browser with that caption, or nothing.
  virtual std::optional<std::string> BrowseForFolder(const std::string& caption) = 0;

  // Handles every window message that waits (repaints, clicks, key presses, drops, a request to
  // close) and returns; the user's commands run inside this call.
  virtual void ProcessMessages() = 0;
  virtual void OpenWebPage(const std::string& url) = 0;
  // The main window's frame in screen coordinates.
  virtual ScreenRect WindowGeometry() const = 0;
  // Closes the main window as its title bar would: the window asks FormCloseQuery first.
  virtual void CloseWindow() = 0;
  // From now on, files dropped on the window reach WMDropFiles.
  virtual void AcceptDroppedFiles() = 0;
};

}  // namespace vz::front
