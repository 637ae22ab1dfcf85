// Turning what a user names (files and folders, on a command line or dropped on a window) into the
// files to add to an archive, with a word for everything that is left out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "front/failure_list.h"
#include "platform/fs.h"

namespace vz {

// Search attributes that find files of every kind but folders, hidden ones included.
inline constexpr uint32_t kEveryFile = kFaReadOnly | kFaHidden | kFaSysFile | kFaArchive;

// "./a/b" and "a/b" name the same file and must give the same stored name: leading "./" pieces
// (and the slashes after them) are dropped.
std::string WithoutDotPrefix(std::string path);

struct GatheredFiles {
  std::vector<std::string> files;
  // What the listing saw of each file, in the same order: that it is a regular file, and its
  // identity (its size and time are learnt when it is read).
  std::vector<platform::FileStatus> statuses;
  // What was left out, with the reason: unreadable folders, linked folders that were not
  // followed (or would lead into a loop), FIFOs, devices and sockets.
  std::vector<ItemFailure> skipped;
};

// The files below a folder, hidden ones included, in name order, each folder's own files before
// its subfolders'. Linked files are taken; linked folders are entered only with follow_links, and
// never when they lead back into a folder that is being walked.
GatheredFiles FilesBelow(const std::string& folder, bool follow_links = false);

}  // namespace vz
