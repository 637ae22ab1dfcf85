// Where a stored name lands: name checks, the target path, the folders on the way (held open),
// and the overwrite question.
#include "archive/extract_target.h"

#include <algorithm>
#include <cerrno>

#include "archive/utils.h"
#include "errors/errors.h"
#include "platform/fs.h"
#include "platform/runtime_errors.h"

namespace vz {

namespace {

// Stored names may use "\\" as well as "/" between folders; natively both become "/".
std::string StoredToNative(const std::string& name) {
  return ToSlashes(name);
}

[[noreturn]] void Unsafe(const std::string& why) {
  throw UnsafeNameError(MessageText(UnsafeNameError::kCode) + ": " + why, UnsafeNameError::kCode);
}

// The stored name, in native form, as a path below the destination: "." components inside it and
// empty ones are dropped ("a/./b" is "a/b"). A name that would place a file outside the destination
// raises UnsafeNameError saying why: an absolute name, a drive ("C:..."), a ".." component
// anywhere (even one that would stay inside), or a file part that is "." or "..". A folder
// entry's name keeps its final separator.
std::string RelativeTarget(const std::string& native_name) {
  if (native_name.empty()) Unsafe("the name is empty");
  if (native_name.front() == '/') Unsafe("the name begins at the root (\"" + native_name + "\")");
  if (native_name.size() >= 2 && native_name[1] == ':') {
    Unsafe("the name begins with a drive (\"" + native_name.substr(0, 2) + "\")");
  }
  std::string relative;
  size_t start = 0;
  while (start <= native_name.size()) {
    const size_t end = std::min(native_name.find('/', start), native_name.size());
    const std::string part = native_name.substr(start, end - start);
    const bool last = end == native_name.size();
    if (part == "..") Unsafe("\"..\" in \"" + native_name.substr(0, end) + "\"");
    if (last && part == ".") Unsafe("the name ends in \".\"");
    if (part != "." && !part.empty()) {
      if (!relative.empty()) relative += '/';
      relative += part;
    }
    start = end + 1;
  }
  if (relative.empty()) Unsafe("the name holds no file or folder name");
  if (native_name.back() == '/') relative += '/';
  return relative;
}

}  // namespace

namespace {

platform::Folder OpenBase(const std::string& base_directory) {
  platform::Folder folder;
  if (const int error = platform::Folder::Open(base_directory, folder)) {
    if (error == ENOENT || error == ENOTDIR) throw NoSuchDirectoryError();
    throw InOutError::FromErrno(base_directory, error);
  }
  return folder;
}

platform::Folder OpenChildBeneath(const platform::Folder& folder, const std::string& part,
                                  bool create) {
  platform::Folder child;
  const int error = folder.OpenChild(part, create, child);
  if (error == ELOOP) Unsafe("\"" + folder.PathOf(part) + "\" is a symbolic link");
  if (error == ENOENT) throw NoSuchDirectoryError();
  if (error != 0) throw InOutError::FromErrno(folder.PathOf(part), error);
  return child;
}

}  // namespace

platform::Folder OpenFolderBeneath(const std::string& base_directory, const std::string& relative,
                                   bool create) {
  platform::Folder folder = OpenBase(base_directory);
  size_t start = 0;
  while (start < relative.size()) {
    const size_t end = std::min(relative.find('/', start), relative.size());
    const std::string part = relative.substr(start, end - start);
    start = end + 1;
    if (part.empty()) continue;
    folder = OpenChildBeneath(folder, part, create);
  }
  return folder;
}

std::shared_ptr<const platform::Folder> FolderCache::Open(const std::string& base_directory,
                                                          const std::string& relative,
                                                          bool create) {
  if (base_directory != base_directory_ || folders_.size() >= kMaxFolders) {
    Clear();
    base_directory_ = base_directory;
  }
  // The destination itself, then one name at a time; key is the path so far.
  std::string key;
  const platform::Folder* parent = nullptr;
  std::shared_ptr<const platform::Folder> folder;
  size_t start = 0;
  size_t depth = 0;
  bool held = true;  // the folders so far are in the cache
  for (;;) {
    std::string part;
    if (parent != nullptr) {
      if (start >= relative.size()) break;
      const size_t end = std::min(relative.find('/', start), relative.size());
      part = relative.substr(start, end - start);
      start = end + 1;
      if (part.empty()) continue;
      if (!held || ++depth > kMaxDepth || folders_.size() >= kMaxFolders) {
        // Deeper than what is held: the rest of the path is opened one folder at a time, each let
        // go once its child is open, so that neither descriptors nor keys grow with the depth.
        held = false;
        folder = std::make_shared<const platform::Folder>(OpenChildBeneath(*parent, part, create));
        parent = folder.get();
        continue;
      }
      if (!key.empty()) key += '/';
      key += part;
    }
    auto found = folders_.find(key);
    if (found != folders_.end()) {
      // The destination is opened by its path, following links, as Folder::Open does.
      const auto now = parent == nullptr
                           ? platform::IdentityOf(base_directory.empty() ? "." : base_directory)
                           : parent->IdentityOf(part);
      if (!now || now != found->second.identity) {
        DropFrom(key);
        found = folders_.end();
      }
    }
    if (found == folders_.end()) {
      auto opened = std::make_shared<const platform::Folder>(
          parent == nullptr ? OpenBase(base_directory) : OpenChildBeneath(*parent, part, create));
      const auto identity = opened->Identity();
      found = folders_.emplace(key, Held{std::move(opened), identity}).first;
    }
    folder = found->second.folder;
    parent = folder.get();
  }
  return folder;
}

void FolderCache::DropFrom(const std::string& relative) {
  if (relative.empty()) {
    folders_.clear();
    return;
  }
  folders_.erase(relative);
  // The names below relative sort from "relative/" up to (not including) "relative0".
  folders_.erase(folders_.lower_bound(relative + '/'), folders_.lower_bound(relative + '0'));
}

void FolderCache::Clear() {
  folders_.clear();
  base_directory_.clear();
}

bool ResolveExtractTarget(const std::string& base_directory, const std::string& name,
                          ExtractOptions options, const ConfirmOverwriteEvent& confirm_overwrite,
                          ExtractTarget& target, FolderCache* folders) {
  const std::string native = RelativeTarget(StoredToNative(name));
  std::string relative = native;
  if (!(options & eoRestorePath)) {
    const size_t slash = native.rfind('/');
    relative = slash == std::string::npos ? native : native.substr(slash + 1);
  }
  const size_t slash = relative.rfind('/');
  const std::string folder_part =
      slash == std::string::npos ? std::string() : relative.substr(0, slash);
  target.file_name = slash == std::string::npos ? relative : relative.substr(slash + 1);
  // A path longer than the system takes would cost a folder per level to reach, and no other
  // program could open the file: the item fails, naming the limit.
  const size_t length = (base_directory.empty() ? 0 : base_directory.size() + 1) + relative.size();
  if (length >= platform::kMaxPathBytes) {
    throw InOutError("the path would be " + std::to_string(length) +
                         " bytes long; this system takes " +
                         std::to_string(platform::kMaxPathBytes - 1) + " at most",
                     ENAMETOOLONG);
  }
  const bool create = (options & eoCreateDirs) != 0;
  target.folder = folders != nullptr ? folders->Open(base_directory, folder_part, create)
                                     : std::make_shared<const platform::Folder>(
                                           OpenFolderBeneath(base_directory, folder_part, create));
  // Shown, and asked about, in native form ("\\" between folders on Windows).
  const std::string shown = platform::kWindowsPaths ? ToBackslashes(relative) : relative;
  target.path = (base_directory.empty() ? std::string() : AppendBackslash(base_directory)) + shown;
  bool confirm = true;
  const platform::EntryKind existing = target.folder->KindOf(target.file_name);
  if (existing == platform::EntryKind::kFolder) {
    // Another item made a folder of this name (x/y before x): the file cannot be placed, and
    // saying nothing would lose it.
    throw InOutError(target.path + ": a folder of that name is in the way", EISDIR);
  }
  target.replaces = existing != platform::EntryKind::kNone;
  if (!confirm_overwrite || existing == platform::EntryKind::kNone) return true;
  std::string asked = target.path;
  confirm_overwrite(asked, confirm);
  if (confirm && asked != target.path) {
    const size_t s = LastSeparator(asked);
    const bool root = s == 0 || (platform::kWindowsPaths && s == 2 && asked[1] == ':');
    const std::string folder = s == std::string::npos ? std::string(".")
                               : root                 ? asked.substr(0, s + 1)
                                                      : asked.substr(0, s);
    platform::Folder chosen;
    if (const int error = platform::Folder::Open(folder, chosen)) {
      throw InOutError::FromErrno(folder, error);
    }
    target.file_name = s == std::string::npos ? asked : asked.substr(s + 1);
    target.replaces = chosen.KindOf(target.file_name) != platform::EntryKind::kNone;
    target.folder = std::make_shared<const platform::Folder>(std::move(chosen));
    target.path = asked;
  }
  return confirm;
}

bool ResolveExtractPath(const std::string& base_directory, std::string& name,
                        ExtractOptions options, const ConfirmOverwriteEvent& confirm_overwrite) {
  ExtractTarget target;
  if (!ResolveExtractTarget(base_directory, name, options, confirm_overwrite, target)) return false;
  name = target.path;
  return true;
}

bool IsFolderEntry(bool is_folder, const std::string& name) {
  return is_folder || (!name.empty() && (name.back() == '/' || name.back() == '\\'));
}

bool ResolveItemTarget(const std::string& base_directory, const std::string& name, bool is_folder,
                       bool holds_data, ExtractOptions options,
                       const ConfirmOverwriteEvent& confirm_overwrite, ExtractTarget& target,
                       FolderCache* folders) {
  if (IsFolderEntry(is_folder, name)) {
    // A folder entry makes its folder (when paths are kept) and has no data. One without a name
    // ("/", "//") that holds data would otherwise vanish without a word.
    if (name.find_first_not_of("/\\") == std::string::npos && holds_data) {
      throw UnsafeNameError(
          MessageText(UnsafeNameError::kCode) + ": the name is empty, and the item holds data",
          UnsafeNameError::kCode);
    }
    if (!(options & eoRestorePath)) return false;
    std::string probe = name;
    while (!probe.empty() && (probe.back() == '/' || probe.back() == '\\')) probe.pop_back();
    ResolveExtractTarget(base_directory, probe + "/x", options, nullptr, target, folders);
    return false;
  }
  return ResolveExtractTarget(base_directory, name, options, confirm_overwrite, target, folders);
}

}  // namespace vz
