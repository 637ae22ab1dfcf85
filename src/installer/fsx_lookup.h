// Where Flight Simulator X is installed, and the files of an installation that an add-on install
// touches beside its folder: the scenery library and the user's data folder for install records.
//
// FSX runs under Wine here, so the installation is read from the registry of a Wine prefix:
// $WINEPREFIX, else ~/.wine, or the prefix Steam's Proton made for FSX Steam Edition. Everything
// is looked up anew on every call, as the user may install or move FSX meanwhile.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace vz::installer {

// Stands for the FSX folder when none was found.
inline constexpr std::string_view kFsxNotFound = "[FSX.exe not found]";

// What decides where FSX is looked for.
struct FsxSearch {
  std::string wine_prefix;  // $WINEPREFIX; empty when unset
  std::string home;         // $HOME

  // The values of the running process.
  static FsxSearch FromEnvironment();
};

struct FsxInstallation {
  std::string folder;          // the FSX folder, without a trailing separator, or kFsxNotFound
  std::string prefix;          // the Wine prefix it was found in (or looked for in)
  bool steam_edition = false;  // FSX Steam Edition, which keeps its files under "FSX-SE"
};

// The installation. The first choice is the folder of HKEY_CURRENT_USER's "AppPath", when it holds
// fsx.exe; the second HKEY_LOCAL_MACHINE's "SetupPath", whether it holds fsx.exe or not. When
// neither holds fsx.exe, FSX Steam Edition is looked for too: its own "AppPath" in the same prefix
// and, when $WINEPREFIX is unset and ~/.wine holds no FSX, the prefix that Steam's Proton made for
// it in each Steam library; a folder found there is taken only when it holds fsx.exe.
FsxInstallation LocateFsx(const FsxSearch& search);

// The installation whose folder the user named: its prefix is the nearest folder above it that
// holds a registry (system.reg); the Steam Edition when the prefix keeps an FSX-SE data folder and
// no FSX one.
FsxInstallation InstallationAt(const std::string& folder);

// LocateFsx's folder.
std::string GetFSXPath(const FsxSearch& search);

// The user's "Flight Simulator X Files" folder below the documents folder ("Personal") of the
// prefix where FSX was found (else of the default prefix); with no documents folder it is
// "/Flight Simulator X Files".
std::string GetFSXFilesFolder(const FsxSearch& search);

// True when folder holds fsx.exe (a file or a folder, whatever its letter case).
bool HoldsFsxExe(const std::string& folder);

// The scenery library file of an installation: Microsoft/FSX/Scenery.CFG ("FSX-SE" for the Steam
// Edition) below the prefix's "Common AppData" folder (HKEY_LOCAL_MACHINE's Shell Folders, usually
// C:\ProgramData); the names on the way are matched ignoring letter case, as Windows does. Empty
// when there is no such folder.
std::string SceneryLibraryFile(const FsxInstallation& installation);

// The path below base whose names match relative's ignoring ASCII letter case, as Windows (and so
// Wine) finds them: each name that exists in some case is taken as it is spelled on disk, the rest
// as given. relative uses "/" between names.
std::string MatchCase(const std::string& base, std::string_view relative);

// MatchCase for many paths below one folder: each folder is listed once.
class CaseMatcher {
 public:
  explicit CaseMatcher(std::string base) : base_(std::move(base)) {}
  // exists, when given, says whether the whole path was found on disk.
  std::string Match(std::string_view relative, bool* exists = nullptr);

 private:
  // The name in folder that equals name ignoring ASCII case (name itself when none does).
  std::string NameIn(const std::string& folder, const std::string& name, bool& found);

  struct Listing {
    std::unordered_set<std::string> exact;
    std::unordered_map<std::string, std::string> by_lower;
  };
  std::string base_;
  std::unordered_map<std::string, Listing> listings_;  // by folder
};

}  // namespace vz::installer
