// Where a stored name lands: the checks that keep an extracted item inside its destination, the
// target path (with or without the item's folders), the folders opened or made on the way, and
// the overwrite question. Every extraction, serial or decoded ahead, resolves its items here and
// nowhere else.
//
// Folders are opened one name at a time below the destination and never through a symbolic link,
// and the file's folder stays open until the file is placed: a link put in place of a folder
// meanwhile leads nowhere.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/folder.h"

namespace vz {

// Extract options, one bit each.
using ExtractOptions = uint8_t;
enum ExtractOption : uint8_t {
  eoCreateDirs = 1 << 0,
  eoRestorePath = 1 << 1,
};

using ConfirmOverwriteEvent = std::function<void(std::string& name, bool& confirm)>;

// The folders below a destination that a run of extractions has opened, held open for the items
// that follow: an archive's items come folder by folder, and opening every folder of a path anew
// for each item costs more than a small item's data. Each folder was opened as OpenFolderBeneath
// opens it. Before a held folder is used again, every name on its path is looked at (without
// following a link) and must still be the folder held; a name that now leads elsewhere (a link put
// in a folder's place, a folder moved away) drops what is held from there on, and the path is
// opened anew, with OpenFolderBeneath's failures. A cache serves one destination; asked for
// another, it starts over.
class FolderCache {
 public:
  // The folder relative ("/"-separated, "" for the destination itself) below base_directory, as
  // OpenFolderBeneath would open it, failures included.
  std::shared_ptr<const platform::Folder> Open(const std::string& base_directory,
                                               const std::string& relative, bool create);
  void Clear();
  // How many folders are held.
  size_t Size() const { return folders_.size(); }

  static constexpr size_t kMaxFolders = 256;  // descriptors held at most
  static constexpr size_t kMaxDepth = 32;     // folder levels held at most; deeper ones are
                                              // opened for each use

 private:
  struct Held {
    std::shared_ptr<const platform::Folder> folder;
    std::optional<platform::FileIdentity> identity;
  };
  // Drops the folder relative and everything held below it.
  void DropFrom(const std::string& relative);

  std::string base_directory_;
  std::map<std::string, Held> folders_;
};

// Where an extracted file goes: its folder, held open so that nothing done to the path later can
// lead elsewhere, and the file's name in it.
struct ExtractTarget {
  std::shared_ptr<const platform::Folder> folder;
  std::string file_name;
  std::string path;       // the whole path, as questions and messages show it
  bool replaces = false;  // a file was there when the target was resolved
};

// Target of an extracted file below base_directory; creates missing folders with eoCreateDirs
// (else NoSuchDirectoryError) and asks confirm_overwrite about an existing file, keeping the
// file's folder open in target (through folders when given). False when the question was answered
// no. Names that would leave base_directory raise UnsafeNameError saying why (an absolute name, a
// drive, a ".." anywhere, a file part "." or empty), and so does a symbolic link found where one
// of the item's folders should be (base_directory itself may be a link: that is the caller's
// choice). A folder already standing where the file goes raises InOutError. A name the overwrite
// handler changes is taken as it is given (the handler's choice, as base_directory is the
// caller's).
bool ResolveExtractTarget(const std::string& base_directory, const std::string& name,
                          ExtractOptions options, const ConfirmOverwriteEvent& confirm_overwrite,
                          ExtractTarget& target, FolderCache* folders = nullptr);

// True for an item that makes a folder and holds no file: one marked as a folder (is_folder), or
// one whose name ends in a separator.
bool IsFolderEntry(bool is_folder, const std::string& name);

// What an item of an archive needs: a folder entry (is_folder, or a name ending in a separator)
// makes its folder when paths are kept and is never a file; one without a name that holds data
// raises UnsafeNameError; any other item resolves as ResolveExtractTarget. True when a file is to
// be written to target.
bool ResolveItemTarget(const std::string& base_directory, const std::string& name, bool is_folder,
                       bool holds_data, ExtractOptions options,
                       const ConfirmOverwriteEvent& confirm_overwrite, ExtractTarget& target,
                       FolderCache* folders = nullptr);

// ResolveExtractTarget without keeping the folder: on true, name holds the path to write.
bool ResolveExtractPath(const std::string& base_directory, std::string& name,
                        ExtractOptions options, const ConfirmOverwriteEvent& confirm_overwrite);

// Opens the folder relative ("/"-separated) below base_directory one name at a time, never
// through a symbolic link (UnsafeNameError); missing folders are made with create, else
// NoSuchDirectoryError.
platform::Folder OpenFolderBeneath(const std::string& base_directory, const std::string& relative,
                                   bool create);

}  // namespace vz
