// The file services that are the same on every system, built on each side's StatPath and
// ListFolderChecked (posix/fs.cpp, win32/fs.cpp).
#include "platform/fs.h"

namespace vz::platform {

bool IsDirectory(const std::string& path) {
  const auto status = StatPath(path);
  return status && status->is_directory;
}

bool IsRegularFile(const std::string& path) {
  const auto status = StatPath(path);
  return status && status->is_regular;
}

std::optional<uint32_t> DosAttributesOf(const std::string& path) {
  const auto status = StatPath(path);
  if (!status) return std::nullopt;
  return status->attributes;
}

std::vector<DirEntry> ListFolder(const std::string& folder) {
  std::vector<DirEntry> entries;
  ListFolderChecked(folder, entries);
  return entries;
}

}  // namespace vz::platform
