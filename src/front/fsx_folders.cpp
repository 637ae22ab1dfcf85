// Finding FSX. The retail setup records its folder twice: "AppPath" for the user, "SetupPath" for
// the machine. Only the first is trusted without fsx.exe beside it; the second is the last resort,
// so that the warning can at least name where the machine thinks FSX is.
//
// FSX Steam Edition (2014) records "AppPath" under a key of its own beside the retail one, and on
// Linux it usually runs in the Wine prefix that Steam's Proton makes for its app id, 314160, in the
// Steam library that holds the game: <library>/steamapps/compatdata/314160/pfx. Steam lists its
// libraries in libraryfolders.vdf, a nested list of quoted keys and values.
#include "front/fsx_folders.h"

#include <algorithm>
#include <vector>

#include "front/product.h"
#include "platform/fs.h"
#include "platform/process.h"
#include "platform/wine_registry.h"

namespace vz::front {
namespace {

using platform::RegistryRoot;

constexpr std::string_view kFsxKey =
    "SOFTWARE\\Microsoft\\Microsoft Games\\Flight Simulator\\10.0\\";
constexpr std::string_view kSteamEditionKey =
    "SOFTWARE\\Microsoft\\Microsoft Games\\Flight Simulator - Steam Edition\\10.0\\";
constexpr std::string_view kShellFoldersKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";
constexpr int64_t kMaxLibraryListSize = 16 << 20;

// Below the FSX folder, by the list's index (the last item does not depend on FSX).
constexpr std::array<std::string_view, 12> kSubPaths = {"",
                                                        "/SimObjects",
                                                        "/SimObjects/Airplanes",
                                                        "/SimObjects/Rotorcraft",
                                                        "/Scenery",
                                                        "/Addon Scenery",
                                                        "/Modules",
                                                        "/Sound",
                                                        "/Texture",
                                                        "/Missions",
                                                        "/Gauges",
                                                        "/Effects"};

static_assert(kSubPaths.size() + 1 == kFsxFolderItems.size());

bool SameAsciiCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return lower(x) == lower(y); });
}

// A folder value of the registry as a native path without one trailing separator; empty when the
// value is absent.
std::string RegistryFolder(const std::string& prefix, RegistryRoot root, std::string_view key,
                           std::string_view value) {
  const auto text = platform::ReadRegistryString(prefix, root, key, value);
  if (!text) return {};
  std::string folder = platform::MapWindowsPath(prefix, *text);
  if (!folder.empty() && (folder.back() == '/' || folder.back() == '\\')) folder.pop_back();
  return folder;
}

// The retail lookup: "AppPath" when it holds fsx.exe, else "SetupPath" as it is; empty when
// neither is there.
std::string RetailFolder(const std::string& prefix) {
  std::string folder = RegistryFolder(prefix, RegistryRoot::kCurrentUser, kFsxKey, "AppPath");
  if (!HoldsFsxExe(folder)) folder.clear();
  if (folder.empty()) {
    folder = RegistryFolder(prefix, RegistryRoot::kLocalMachine, kFsxKey, "SetupPath");
  }
  return folder;
}

// The Steam Edition's folder in prefix, when it holds fsx.exe.
std::optional<std::string> SteamEditionFolder(const std::string& prefix) {
  for (const RegistryRoot root : {RegistryRoot::kCurrentUser, RegistryRoot::kLocalMachine}) {
    std::string folder = RegistryFolder(prefix, root, kSteamEditionKey, "AppPath");
    if (HoldsFsxExe(folder)) return folder;
  }
  return std::nullopt;
}

// The tokens of a VDF text: quoted or bare strings and braces. Comments ("//") and conditions
// ("[$WIN32]") are skipped.
class VdfTokens {
 public:
  enum Kind { kText, kOpen, kClose, kEnd };
  explicit VdfTokens(std::string_view text) : text_(text) {}

  Kind Next(std::string& token) {
    token.clear();
    for (;;) {
      while (pos_ < text_.size() && kBlanks.find(text_[pos_]) != std::string_view::npos) ++pos_;
      if (pos_ >= text_.size()) return kEnd;
      const char c = text_[pos_];
      if (text_.substr(pos_).starts_with("//")) {
        pos_ = std::min(text_.find('\n', pos_), text_.size());
      } else if (c == '{' || c == '}') {
        ++pos_;
        return c == '{' ? kOpen : kClose;
      } else if (c == '"') {
        ReadQuoted(token);
        return kText;
      } else {
        const size_t end = std::min(text_.find_first_of(kBareEnd, pos_), text_.size());
        token = text_.substr(pos_, end - pos_);
        pos_ = end;
        if (token.front() != '[') return kText;
      }
    }
  }

 private:
  void ReadQuoted(std::string& token) {
    ++pos_;
    while (pos_ < text_.size() && text_[pos_] != '"') {
      char c = text_[pos_++];
      if (c == '\\' && pos_ < text_.size()) {
        const char e = text_[pos_++];
        c = e == 'n' ? '\n' : e == 't' ? '\t' : e;
        if (e != '\\' && e != '"' && e != 'n' && e != 't') token += '\\';
      }
      token += c;
    }
    ++pos_;  // the closing quote, if any
  }

  static constexpr std::string_view kBlanks = " \t\r\n";
  static constexpr std::string_view kBareEnd = " \t\r\n{}\"";
  std::string_view text_;
  size_t pos_ = 0;
};

// The library folders a libraryfolders.vdf names: every "path" value (the format since 2021) and
// the numbered values of the top block (the older format: "1" "/mnt/games/SteamLibrary").
std::vector<std::string> LibraryFoldersOf(std::string_view vdf) {
  VdfTokens tokens(vdf);
  std::vector<std::string> folders;
  std::string key;
  std::string value;
  int depth = 0;
  for (;;) {
    VdfTokens::Kind kind = tokens.Next(key);
    if (kind == VdfTokens::kText) kind = tokens.Next(value);
    if (kind == VdfTokens::kEnd) break;
    if (kind != VdfTokens::kText) {
      depth += kind == VdfTokens::kOpen ? 1 : -1;
      continue;
    }
    const bool numbered =
        depth == 1 && !key.empty() &&
        std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
    if ((numbered || SameAsciiCase(key, "path")) && value.starts_with('/'))
      folders.push_back(value);
  }
  return folders;
}

// Steam's own folder first (older lists leave it out), then the libraries it lists.
std::vector<std::string> SteamLibraries(const std::string& home) {
  const std::string steam = home + "/.steam/steam";
  std::vector<std::string> libraries = {steam};
  const auto vdf =
      platform::ReadSmallFile(steam + "/steamapps/libraryfolders.vdf", kMaxLibraryListSize);
  if (!vdf) return libraries;
  for (std::string& folder : LibraryFoldersOf(*vdf)) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    if (std::find(libraries.begin(), libraries.end(), folder) == libraries.end()) {
      libraries.push_back(std::move(folder));
    }
  }
  return libraries;
}

struct Installation {
  std::string folder;  // the FSX folder or kFsxNotFound
  std::string prefix;  // the Wine prefix it came from
};

Installation Locate(const FsxSearch& search) {
  const bool prefix_chosen = !search.wine_prefix.empty();
  const std::string prefix = prefix_chosen         ? search.wine_prefix
                             : search.home.empty() ? std::string()
                                                   : search.home + "/.wine";
  const std::string retail = RetailFolder(prefix);
  if (HoldsFsxExe(retail)) return {retail, prefix};
  if (auto steam = SteamEditionFolder(prefix)) return {*steam, prefix};
  if (!prefix_chosen && !search.home.empty()) {
    for (const std::string& library : SteamLibraries(search.home)) {
      const std::string proton = library + "/steamapps/compatdata/314160/pfx";
      if (!platform::IsDirectory(proton)) continue;
      if (std::string folder = RetailFolder(proton); HoldsFsxExe(folder)) return {folder, proton};
      if (auto steam = SteamEditionFolder(proton)) return {*steam, proton};
    }
  }
  return {retail.empty() ? std::string(kFsxNotFound) : retail, prefix};
}

}  // namespace

FsxSearch FsxSearch::FromEnvironment() {
  return {platform::EnvironmentVariable("WINEPREFIX"), platform::EnvironmentVariable("HOME")};
}

bool HoldsFsxExe(const std::string& folder) {
  if (folder.empty()) return false;
  if (platform::PathExists(folder + "/fsx.exe")) return true;
  // Windows names ignore case, and installers have written FSX.EXE.
  for (const platform::DirEntry& entry : platform::ListFolder(folder)) {
    if (SameAsciiCase(entry.name, "fsx.exe") && platform::PathExists(folder + "/" + entry.name)) {
      return true;
    }
  }
  return false;
}

std::string GetFSXPath(const FsxSearch& search) {
  return Locate(search).folder;
}

std::string GetFSXFilesFolder(const FsxSearch& search) {
  const std::string prefix = Locate(search).prefix;
  const auto documents = platform::ReadRegistryString(prefix, RegistryRoot::kCurrentUser,
                                                      kShellFoldersKey, "Personal");
  return (documents ? platform::MapWindowsPath(prefix, *documents) : std::string()) +
         "/Flight Simulator X Files";
}

std::optional<std::string> FsxFolderOf(const FsxSearch& search, int index) {
  if (index >= 0 && index < static_cast<int>(kSubPaths.size())) {
    return GetFSXPath(search) + std::string(kSubPaths[static_cast<size_t>(index)]);
  }
  if (index == static_cast<int>(kSubPaths.size())) return GetFSXFilesFolder(search);
  return std::nullopt;
}

std::optional<std::string> FsxMissingWarning(const FsxSearch& search) {
  const std::string folder = GetFSXPath(search);
  if (HoldsFsxExe(folder)) return std::nullopt;
  return "Please note: This utility has performed a check and found that the FSX.exe\r"
         "file is not found at the following location as reported by the registry:\r\r" +
         folder + "\r\r" + "We recommend you correct this situation using our freeware Marrowline" +
         "\r" + "which can be downloaded from our main website (" + std::string(kMakerWebAddress) +
         ") otherwise" + "\r" +
         "some features (e.g. 'Extract to Specific FSX Folder') may not function correctly.";
}

void ApplyFsxTick(FsxControls& controls) {
  controls.folder_button_enabled = !controls.use_fsx_folder;
  controls.folder_list_enabled = controls.use_fsx_folder;
  if (controls.use_fsx_folder) {
    controls.folder_path.clear();
  } else {
    controls.folder_list_index = -1;
  }
}

void ApplyFsxModeOff(FsxControls& controls) {
  controls.folder_path.clear();
  controls.use_fsx_folder = false;
  controls.folder_list_enabled = false;
  controls.folder_button_enabled = true;
}

}  // namespace vz::front
