#include "front/file_gathering.h"

#include "archive/utils.h"

namespace vz {

std::string WithoutDotPrefix(std::string path) {
  while (path.size() > 2 && path[0] == '.' && path[1] == '/') {
    path.erase(0, 2);
    while (!path.empty() && path[0] == '/') path.erase(0, 1);
  }
  return path;
}

std::vector<std::string> FilesBelow(const std::string& folder) {
  std::vector<std::string> found;
  const std::string mask = folder == "." ? std::string("*") : AppendBackslash(folder) + "*";
  FindMatchingFiles(mask, kEveryFile, found, true);
  for (std::string& name : found) name = WithoutDotPrefix(name);
  return found;
}

}  // namespace vz
