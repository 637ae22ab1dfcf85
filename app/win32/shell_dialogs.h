// The platform's boxes and dialogs for the window's shell: message boxes that follow the window's
// rules (titles, icons, button captions and order, Enter and Escape buttons, placement), the
// shell's file and folder dialogs, the password questions and the add-on install's dialogs.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "front/window_shell.h"

namespace vz::win32 {

// Shows the box modally over owner and returns the button pressed; a box closed from its title
// bar or with Escape answers as its Escape button.
front::MessageButton ShowMessageBox(HWND owner, const front::MessageRequest& request);

enum class FileDialogKind { kOpen, kSave };
// The chosen path, or nothing when cancelled. The open dialog takes only files that exist; the
// save dialog does not ask about overwriting.
std::optional<std::string> ChooseFile(HWND owner, const front::FileDialogRequest& request,
                                      FileDialogKind kind);
// Several existing files, or none when cancelled.
std::vector<std::string> ChooseFiles(HWND owner, const front::FileDialogRequest& request);
// A folder, starting in start (the platform's choice when empty), or nothing when cancelled.
std::optional<std::string> ChooseFolder(HWND owner, const std::string& caption,
                                        const std::string& start);

// The password of an encrypted item, typed masked; nothing when cancelled.
std::optional<std::string> AskItemPassword(HWND owner, const std::string& item_name, bool again);
// A new password typed twice in masked fields; OK is offered once both agree and are not empty.
std::optional<std::string> ChooseNewPassword(HWND owner);

// "Install" or "Cancel", with the choice to replace the files that differ.
front::InstallPlanAnswer ShowInstallPlanDialog(HWND owner,
                                               const front::InstallPlanRequest& request);
// The entry chosen with "Uninstall", or nothing ("Close").
std::optional<int> ShowInstalledAddonsDialog(HWND owner, const std::vector<std::string>& entries);

}  // namespace vz::win32
