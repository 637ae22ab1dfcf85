#include "components/outline_tree.h"

#include <functional>
#include <string_view>
#include <unordered_map>

namespace vz {

OutlinePicture OutlineNode::Picture() const {
  switch (kind_) {
    case kFolder:
      return OutlinePicture::kFolder;
    case kFile:
      return OutlinePicture::kFile;
    case kAttribute:
      break;
  }
  return OutlinePicture::kAttribute;
}

OutlinePicture OutlineNode::SelectedPicture() const {
  return static_cast<OutlinePicture>(static_cast<int>(Picture()) + 1);
}

int OutlineNode::ChildCount() const {
  if (kind_ == kFile) return ZipAttributeCount(attributes_);
  return static_cast<int>(children_.size());
}

const OutlineNode& OutlineNode::Child(int row) const {
  if (kind_ == kFile && children_.empty()) MakeAttributeLines();
  return *children_.at(static_cast<size_t>(row));
}

OutlineNode& OutlineNode::Append(Kind kind, std::string text) {
  auto node = std::make_unique<OutlineNode>(kind, std::move(text));
  node->parent_ = this;
  node->row_ = static_cast<int>(children_.size());
  children_.push_back(std::move(node));
  return *children_.back();
}

void OutlineNode::MakeAttributeLines() const {
  auto* self = const_cast<OutlineNode*>(this);  // the lines are a cache of what the item says
  const int count = ZipAttributeCount(attributes_);
  children_.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    self->Append(kAttribute, ZipAttributeLine(*item_, NthZipAttribute(attributes_, i)));
  }
}

namespace {

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// Folders already in the tree by parent and name, so that each item finds its folders in constant
// time (a linear search of siblings makes 50,000 files in one folder quadratic).
struct FolderKey {
  const OutlineNode* parent;
  std::string_view name;
  bool operator==(const FolderKey&) const = default;
};
struct FolderKeyHash {
  size_t operator()(const FolderKey& k) const {
    return std::hash<std::string_view>()(k.name) ^ (std::hash<const void*>()(k.parent) * 31);
  }
};

}  // namespace

// Folder and file parts are split at "/" and at "\" (stored names from DOS tools use either), and
// empty parts are skipped. A folder is found among its parent's folders by exact name, so names
// that differ in case are different folders, as on the systems that made them. A file never
// becomes a folder: a file "docs" and items below "docs/" give a file and a folder of that name.
std::unique_ptr<OutlineNode> BuildOutline(const ZipArchive* archive, bool hierarchy,
                                          ZipAttributes attributes) {
  auto root = std::make_unique<OutlineNode>(OutlineNode::kFolder, std::string());
  if (archive == nullptr) return root;
  const int count = archive->ItemCount();
  auto add_file = [&](OutlineNode& parent, std::string text, ZipItem* item) {
    OutlineNode& file = parent.Append(OutlineNode::kFile, std::move(text));
    file.item_ = item;
    file.attributes_ = attributes;
  };
  if (!hierarchy) {
    root->children_.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
      ZipItem* item = archive->ZipItems(i);
      std::string name = item->StoredName();
      for (char& c : name) {
        if (c == '\\') c = '/';
      }
      add_file(*root, std::move(name), item);
    }
    return root;
  }
  std::unordered_map<FolderKey, OutlineNode*, FolderKeyHash> folders;
  for (int i = 0; i < count; ++i) {
    ZipItem* item = archive->ZipItems(i);
    if (item->PendingAction() == iaDelete) continue;
    const std::string name = item->StoredName();
    // Folders show through their files.
    if (name.empty() || IsSeparator(name.back()) || item->IsFolder()) continue;
    OutlineNode* parent = root.get();
    size_t start = 0;
    for (size_t end = 0; end < name.size(); ++end) {
      if (!IsSeparator(name[end])) continue;
      if (end > start) {
        const std::string_view part(name.data() + start, end - start);
        const auto found = folders.find(FolderKey{parent, part});
        if (found != folders.end()) {
          parent = found->second;
        } else {
          OutlineNode& folder = parent->Append(OutlineNode::kFolder, std::string(part));
          // The key views the node's own copy of the name, which lives as long as the map.
          folders.emplace(FolderKey{parent, folder.Text()}, &folder);
          parent = &folder;
        }
      }
      start = end + 1;
    }
    add_file(*parent, name.substr(start), item);
  }
  return root;
}

}  // namespace vz
