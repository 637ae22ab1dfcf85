// Finding FSX. The retail setup records its folder twice: "AppPath" for the user, "SetupPath" for
// the machine. Only the first is trusted without fsx.exe beside it; the second is the last resort,
// so that the warning can at least name where the machine thinks FSX is.
//
// FSX Steam Edition (2014) records "AppPath" under a key of its own beside the retail one, and on
// Linux it usually runs in the Wine prefix that Steam's Proton makes for its app id, 314160, in the
// Steam library that holds the game: <library>/steamapps/compatdata/314160/pfx. Steam lists its
// libraries in libraryfolders.vdf, a nested list of quoted keys and values.
#include "installer/fsx_lookup.h"

#include "archive/utils.h"
#include "installer/ini_text.h"

#include <algorithm>
#include <vector>

#include "platform/fs.h"
#include "platform/process.h"
#include "platform/wine_registry.h"

namespace vz::installer {
namespace {

using platform::RegistryRoot;

constexpr std::string_view kFsxKey =
    "SOFTWARE\\Microsoft\\Microsoft Games\\Flight Simulator\\10.0\\";
constexpr std::string_view kSteamEditionKey =
    "SOFTWARE\\Microsoft\\Microsoft Games\\Flight Simulator - Steam Edition\\10.0\\";
constexpr std::string_view kShellFoldersKey =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";
constexpr int64_t kMaxLibraryListSize = 16 << 20;

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

}  // namespace

FsxInstallation LocateFsx(const FsxSearch& search) {
  const bool prefix_chosen = !search.wine_prefix.empty();
  const std::string prefix = prefix_chosen         ? search.wine_prefix
                             : search.home.empty() ? std::string()
                                                   : search.home + "/.wine";
  const std::string retail = RetailFolder(prefix);
  if (HoldsFsxExe(retail)) return {retail, prefix, false};
  if (auto steam = SteamEditionFolder(prefix)) return {*steam, prefix, true};
  if (!prefix_chosen && !search.home.empty()) {
    for (const std::string& library : SteamLibraries(search.home)) {
      const std::string proton = library + "/steamapps/compatdata/314160/pfx";
      if (!platform::IsDirectory(proton)) continue;
      if (std::string folder = RetailFolder(proton); HoldsFsxExe(folder)) {
        return {folder, proton, false};
      }
      if (auto steam = SteamEditionFolder(proton)) return {*steam, proton, true};
    }
  }
  return {retail.empty() ? std::string(kFsxNotFound) : retail, prefix, false};
}

FsxSearch FsxSearch::FromEnvironment() {
  // The system's own registry has no prefix to choose, and there is no Proton.
  if (platform::kNativeRegistry) return {};
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
  return LocateFsx(search).folder;
}

std::string GetFSXFilesFolder(const FsxSearch& search) {
  const std::string prefix = LocateFsx(search).prefix;
  const auto documents = platform::ReadRegistryString(prefix, RegistryRoot::kCurrentUser,
                                                      kShellFoldersKey, "Personal");
  return (documents ? platform::MapWindowsPath(prefix, *documents) : std::string()) +
         "/Flight Simulator X Files";
}

std::string CaseMatcher::NameIn(const std::string& folder, const std::string& name,
                                bool& found_it) {
  auto listing = listings_.find(folder);
  if (listing == listings_.end()) {
    Listing names;
    for (const platform::DirEntry& entry : platform::ListFolder(folder)) {
      names.exact.insert(entry.name);
      names.by_lower.emplace(LowerAscii(entry.name), entry.name);  // the first in name order
    }
    listing = listings_.emplace(folder, std::move(names)).first;
  }
  // A name spelled exactly as on disk is itself (Linux may hold two that differ in case only).
  found_it = true;
  if (listing->second.exact.count(name) > 0) return name;
  const auto found = listing->second.by_lower.find(LowerAscii(name));
  found_it = found != listing->second.by_lower.end();
  return found_it ? found->second : name;
}

std::string CaseMatcher::Match(std::string_view relative, bool* exists) {
  std::string path = base_;
  bool all_found = true;
  size_t start = 0;
  while (start < relative.size()) {
    const size_t end = std::min(relative.find('/', start), relative.size());
    const std::string name(relative.substr(start, end - start));
    start = end + 1;
    if (name.empty()) continue;
    bool found = false;
    path += "/" + (all_found ? NameIn(path, name, found) : name);
    all_found = all_found && found;
  }
  if (exists != nullptr) *exists = all_found;
  return path;
}

std::string MatchCase(const std::string& base, std::string_view relative) {
  return CaseMatcher(base).Match(relative);
}

FsxInstallation InstallationAt(const std::string& folder) {
  FsxInstallation installation;
  installation.folder = folder;
  while (installation.folder.size() > 1 && installation.folder.back() == '/') {
    installation.folder.pop_back();
  }
  std::string up = installation.folder;
  while (!up.empty()) {
    if (platform::PathExists(up + "/system.reg")) {
      installation.prefix = up;
      break;
    }
    const size_t slash = LastSeparator(up);
    if (slash == std::string::npos || slash == 0) break;
    up.erase(slash);
  }
  if (!installation.prefix.empty()) {
    FsxInstallation steam = installation;
    steam.steam_edition = true;
    const auto folder_of = [](const std::string& file) {
      const size_t slash = LastSeparator(file);
      return slash == std::string::npos ? std::string() : file.substr(0, slash);
    };
    installation.steam_edition =
        !platform::IsDirectory(folder_of(SceneryLibraryFile(installation))) &&
        platform::IsDirectory(folder_of(SceneryLibraryFile(steam)));
  }
  return installation;
}

std::string SceneryLibraryFile(const FsxInstallation& installation) {
  if (installation.prefix.empty() && !platform::kNativeRegistry) return {};
  const auto value = platform::ReadRegistryString(installation.prefix, RegistryRoot::kLocalMachine,
                                                  kShellFoldersKey, "Common AppData");
  std::string data = value ? platform::MapWindowsPath(installation.prefix, *value)
                           : installation.prefix + "/drive_c/ProgramData";
  while (data.size() > 1 && data.back() == '/') data.pop_back();
  if (!platform::IsDirectory(data)) return {};
  return MatchCase(data, installation.steam_edition ? "Microsoft/FSX-SE/Scenery.CFG"
                                                    : "Microsoft/FSX/Scenery.CFG");
}

}  // namespace vz::installer
