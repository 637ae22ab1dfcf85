// Whether a file is to be added to an archive: one decision for every face (the window's list,
// `vzip add`, the zipper's list of files found), made from one look at the file. A file found by a
// folder listing brings what the listing saw, and is not looked at again here; the compression
// that reads it learns its size and time from the open file, once.
//
// Whether the file can be read is found when it is opened for compression; a failure there is
// reported with the item, as for a file that changed meanwhile.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>

#include "archive/archive.h"
#include "platform/fs.h"

namespace vz {

enum class Refusal : uint8_t {
  kNone,        // admitted
  kMissing,     // nothing of that name
  kNotRegular,  // a folder, FIFO, device or socket (a pipe would never end)
  kTheArchive,  // the archive's own file, by device and inode, whatever name or link leads there
  kNameTaken,   // another file of this save already took its stored name
};

class FileAdmission {
 public:
  // For files to be added to archive; its own file is looked up once, here.
  explicit FileAdmission(Archive& archive);

  // Decides on the file at path. known: what a folder listing saw of it; without it (or once the
  // archive was saved since this admission began: a save puts a new file in its place) the file is
  // examined once, here. With check_names, an admitted file takes its stored name (compared as the
  // archive compares stored names, see FoldNameChar) and a later file of the same
  // stored name is refused.
  // name_spec: what the stored name is made from when it is not path (a path relative to the
  // folder the name starts below).
  Refusal Admit(const std::string& path, const std::optional<platform::FileStatus>& known = {},
                bool check_names = true, const std::string& name_spec = "");
  // What the last decision found the file to be ("regular file", "folder", "FIFO", ...).
  const char* Kind() const { return kind_; }
  // The size the last decision found the file to have (0 when it is not a regular file).
  uint64_t Size() const { return size_; }
  // The words a face shows for a refusal of the last file decided.
  std::string Reason(Refusal refusal) const;

 private:
  Archive& archive_;
  std::optional<platform::FileIdentity> own_;
  uint32_t saves_ = 0;  // the archive's save count when own_ was looked up
  bool listings_stale_ = false;
  std::unordered_set<std::string> names_;  // upper-cased stored names taken in this save
  const char* kind_ = "file";
  uint64_t size_ = 0;
};

}  // namespace vz
