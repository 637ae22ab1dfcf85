#include "front/destination.h"

#include <cerrno>

#include "platform/fs.h"
#include "platform/runtime_errors.h"

namespace vz {

Destination::~Destination() {
  for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
    if (platform::RemoveFolder(*it) != 0) break;  // not empty (or gone): keep it and its parents
  }
}

void Destination::Create() {
  auto make = [this](const std::string& folder) {
    if (folder.empty() || platform::IsDirectory(folder)) return;
    const int error = platform::MakeFolder(folder);
    if (error == 0) {
      created_.push_back(folder);
    } else if (!(error == EEXIST && platform::IsDirectory(folder))) {
      throw InOutError::FromErrno("Cannot create folder \"" + folder + "\"", error);
    }
  };
  for (size_t i = 1; i < path_.size(); ++i) {
    if (path_[i] == '/' && path_[i - 1] != '/') make(path_.substr(0, i));
  }
  make(path_);
}

}  // namespace vz
