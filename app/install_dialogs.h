// The dialogs of the add-on install: the plan shown before anything is written, and the list of
// installed add-ons with their uninstall.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "front/window_shell.h"

class QWidget;

namespace vz {

// "Install" or "Cancel", with the choice to replace the files that differ.
front::InstallPlanAnswer ShowInstallPlanDialog(QWidget* parent,
                                               const front::InstallPlanRequest& request);
// The entry chosen with "Uninstall", or nothing ("Close").
std::optional<int> ShowInstalledAddonsDialog(QWidget* parent,
                                             const std::vector<std::string>& entries);

}  // namespace vz
