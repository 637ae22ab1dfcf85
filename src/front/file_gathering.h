// Turning what a user names (files and folders, on a command line or dropped on a window) into the
// files to add to an archive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/fs.h"

namespace vz {

// Search attributes that find files of every kind but folders, hidden ones included.
inline constexpr uint32_t kEveryFile = kFaReadOnly | kFaHidden | kFaSysFile | kFaArchive;

// "./a/b" and "a/b" name the same file and must give the same stored name: leading "./" pieces
// (and the slashes after them) are dropped.
std::string WithoutDotPrefix(std::string path);

// The files below a folder, hidden ones included, in name order, each folder's own files before
// its subfolders'. Linked folders are not entered.
std::vector<std::string> FilesBelow(const std::string& folder);

}  // namespace vz
