// Where Flight Simulator X is installed, the thirteen FSX folders the "Extract Zip" page offers as
// destinations, and the FSX mode of that page (its check box, list, folder button and destination
// field), as plain functions and data for the window's logic.
//
// FSX runs under Wine here, so the installation is read from the registry of a Wine prefix:
// $WINEPREFIX, else ~/.wine. Everything is looked up anew on every call, as the user may install
// or move FSX while the window is open.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace vz::front {

// Stands for the FSX folder when none was found; the destinations then derive from it.
inline constexpr std::string_view kFsxNotFound = "[FSX.exe not found]";

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

// What decides where FSX is looked for.
struct FsxSearch {
  std::string wine_prefix;  // $WINEPREFIX; empty when unset
  std::string home;         // $HOME

  // The values of the running process.
  static FsxSearch FromEnvironment();
};

// The FSX folder, without a trailing separator, or kFsxNotFound. The first choice is the folder
// of HKEY_CURRENT_USER's "AppPath", when it holds fsx.exe; the second HKEY_LOCAL_MACHINE's
// "SetupPath", whether it holds fsx.exe or not. When neither holds fsx.exe, FSX Steam Edition is
// looked for too: its own "AppPath" in the same prefix and, when $WINEPREFIX is unset and ~/.wine
// holds no FSX, the prefix that Steam's Proton made for it in each Steam library; a folder found
// there is taken only when it holds fsx.exe.
std::string GetFSXPath(const FsxSearch& search);

// The user's "Flight Simulator X Files" folder below the documents folder ("Personal") of the
// prefix where FSX was found (else of the default prefix); with no documents folder it is
// "/Flight Simulator X Files".
std::string GetFSXFilesFolder(const FsxSearch& search);

// True when folder holds fsx.exe (a file or a folder, whatever its letter case).
bool HoldsFsxExe(const std::string& folder);

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
