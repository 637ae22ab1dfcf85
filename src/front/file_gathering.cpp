#include "front/file_gathering.h"

#include <algorithm>
#include <utility>

#include "platform/runtime_errors.h"

namespace vz {

namespace {

struct FolderId {
  uint64_t device;
  uint64_t inode;
  bool operator==(const FolderId&) const = default;
};

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder == ".") return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

class Walker {
 public:
  explicit Walker(bool follow_links) : follow_links_(follow_links) {}

  void Walk(const std::string& folder, FolderId id) {
    std::vector<platform::DirEntry> entries;
    // Files are known by the listing's word alone: each is examined once, when it is read.
    if (const int error =
            platform::ListFolderChecked(folder, entries, platform::ListDetail::kTypes);
        error != 0) {
      Skip(folder, "folder cannot be read: " + SystemErrorText(error));
      return;
    }
    ancestors_.push_back(id);
    std::vector<std::pair<std::string, FolderId>> subfolders;
    for (const platform::DirEntry& entry : entries) {
      const std::string path = Join(folder, entry.name);
      const auto& status = entry.status;
      if (!status) {
        if (entry.is_link) Skip(path, "link to nothing");
        continue;  // gone since the listing
      }
      if (status->is_regular) {
        result_.files.push_back(path);
        result_.statuses.push_back(*status);
      } else if (!status->is_directory) {
        Skip(path, std::string("is a ") + status->kind + ", not a regular file");
      } else if (entry.is_link && !follow_links_) {
        Skip(path, "is a linked folder, not followed (use -L to follow linked folders)");
      } else {
        const FolderId sub{status->device, status->inode};
        if (std::find(ancestors_.begin(), ancestors_.end(), sub) != ancestors_.end()) {
          Skip(path, "is a linked folder that leads back into itself, not followed");
        } else {
          subfolders.emplace_back(path, sub);
        }
      }
    }
    for (const auto& [path, sub] : subfolders) Walk(path, sub);
    ancestors_.pop_back();
  }

  GatheredFiles Take() { return std::move(result_); }

 private:
  void Skip(const std::string& path, std::string reason) {
    result_.skipped.push_back({path, std::move(reason)});
  }

  bool follow_links_;
  std::vector<FolderId> ancestors_;
  GatheredFiles result_;
};

}  // namespace

std::string WithoutDotPrefix(std::string path) {
  while (path.size() > 2 && path[0] == '.' && path[1] == '/') {
    path.erase(0, 2);
    while (!path.empty() && path[0] == '/') path.erase(0, 1);
  }
  return path;
}

GatheredFiles FilesBelow(const std::string& folder, bool follow_links) {
  Walker walker(follow_links);
  const auto status = platform::StatPath(folder);
  if (status && status->is_directory) {
    walker.Walk(WithoutDotPrefix(folder), {status->device, status->inode});
  }
  return walker.Take();
}

}  // namespace vz
