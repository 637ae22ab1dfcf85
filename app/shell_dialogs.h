// The platform's boxes and dialogs for the window's shell: message boxes that follow the window's
// rules (titles, icons, button captions and order, Enter and Escape buttons, placement) and Qt's
// file and folder dialogs.
#pragma once

#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "front/window_shell.h"

class QWidget;

namespace vz {

// Shows the box modally over parent and returns the button pressed; a box closed from its title
// bar answers as its Escape button.
front::MessageButton ShowMessageBox(QWidget* parent, const front::MessageRequest& request);

// A file dialog's name filter that shows the description and matches the pattern in any letter
// case: "*.zip" matches FILE.ZIP too.
QString NameFilterOf(const front::FileDialogRequest& request);

enum class FileDialogKind { kOpen, kSave };
// The chosen path, or nothing when cancelled. The open dialog takes only files that exist; the
// save dialog does not ask about overwriting.
std::optional<std::string> ChooseFile(QWidget* parent, const front::FileDialogRequest& request,
                                      FileDialogKind kind);
// A folder, starting in start (the home folder when empty), or nothing when cancelled.
std::optional<std::string> ChooseFolder(QWidget* parent, const std::string& caption,
                                        const std::string& start = "");
// Several existing files, or none when cancelled.
std::vector<std::string> ChooseFiles(QWidget* parent, const front::FileDialogRequest& request);
// A new password typed twice in masked fields; OK is offered once both agree and are not empty.
// Nothing when cancelled.
std::optional<std::string> ChooseNewPassword(QWidget* parent);

}  // namespace vz
