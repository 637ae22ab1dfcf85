// The thirteen FSX folders the "Extract Zip" page offers as destinations, and the FSX mode of that
// page (its check box, list, folder button and destination field), as plain functions and data for
// the window's logic. Where FSX is comes from the installer's lookup (installer/fsx_lookup.h).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "installer/fsx_lookup.h"

namespace vz::front {

using installer::FsxSearch;
using installer::GetFSXFilesFolder;
using installer::GetFSXPath;
using installer::HoldsFsxExe;
using installer::kFsxNotFound;

// The texts of the FSX folder list, in order; an item's position is its index.
inline constexpr std::array<std::string_view, 13> kFsxFolderItems = {"Main FSX Folder",
                                                                     "SimObjects Folder",
                                                                     "SimObjects Airplanes Folder",
                                                                     "SimObjects Rotorcraft Folder",
                                                                     "Main Scenery Folder",
                                                                     "Addon Scenery Folder",
                                                                     "Modules Folder",
                                                                     "Sound Folder",
                                                                     "Texture Folder",
                                                                     "Missions Folder",
                                                                     "Gauges Folder",
                                                                     "Effects Folder",
                                                                     "FSX Files Folder"};

// The destination folder of the FSX folder list's item index (0 to 12); nothing for any other index
// (-1: no item chosen).
std::optional<std::string> FsxFolderOf(const FsxSearch& search, int index);

// The check made when the window is shown and after every click on the FSX check box: nothing when
// the FSX folder holds fsx.exe; otherwise the text of the warning to show (an information box with
// OK, centred on the screen), which names the FSX folder. After the box, apply ApplyFsxModeOff.
std::optional<std::string> FsxMissingWarning(const FsxSearch& search);

// The FSX mode's controls, as at start: the mode is off.
struct FsxControls {
  bool use_fsx_folder = false;        // cbUseFSXFolder ticked
  bool folder_list_enabled = false;   // cbxFSXFolder
  int folder_list_index = -1;         // cbxFSXFolder's chosen item; -1 (no item) shows no text
  bool folder_button_enabled = true;  // btnUnZipFolder
  std::string folder_path;            // edFolderPath, the destination

  bool operator==(const FsxControls&) const = default;
};

// Follows the check box's new tick (use_fsx_folder): on empties the destination, enables the list
// and disables the folder button; off enables the button, disables the list and clears its choice,
// keeping the destination. FsxMissingWarning runs next.
void ApplyFsxTick(FsxControls& controls);

// The FSX mode switched off after the warning: the destination emptied, the box unticked, the list
// disabled, the folder button enabled.
void ApplyFsxModeOff(FsxControls& controls);

}  // namespace vz::front
