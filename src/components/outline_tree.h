// The outline's tree as plain data: folders, files and the attribute lines under each file, built
// from an archive's items either by folders or as a flat list. A toolkit's tree view shows it
// as it stands.
//
// Attribute lines are counted at once but made only when first asked for: a view of 50,000 items
// lays out every row, yet formats only the lines it shows.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/zip_archive.h"
#include "components/zip_attributes.h"

namespace vz {

// The six pictures of the outline, in the order the image list holds them.
enum class OutlinePicture : uint8_t {
  kAttribute,
  kAttributeSelected,
  kFolder,
  kFolderSelected,
  kFile,
  kFileSelected,
};

class OutlineNode {
 public:
  enum Kind : uint8_t { kFolder, kFile, kAttribute };

  OutlineNode(Kind kind, std::string text) : text_(std::move(text)), kind_(kind) {}
  OutlineNode(const OutlineNode&) = delete;
  OutlineNode& operator=(const OutlineNode&) = delete;

  Kind GetKind() const { return kind_; }
  const std::string& Text() const { return text_; }
  OutlinePicture Picture() const;
  OutlinePicture SelectedPicture() const;
  // The item a file node shows (and that its attribute lines describe); null for other nodes.
  ZipItem* Item() const { return item_; }
  // The node above; the tree's root for top-level nodes, null for the root itself.
  const OutlineNode* Parent() const { return parent_; }
  // Index among the parent's children.
  int Row() const { return row_; }

  // Folders (and the root): their folders and files. Files: their attribute lines.
  int ChildCount() const;
  const OutlineNode& Child(int row) const;

  // Building: appends a child and returns it.
  OutlineNode& Append(Kind kind, std::string text);

 private:
  friend std::unique_ptr<OutlineNode> BuildOutline(const ZipArchive*, bool, ZipAttributes);
  void MakeAttributeLines() const;

  std::string text_;
  Kind kind_;
  ZipAttributes attributes_ = 0;  // file nodes: the lines they have
  int row_ = 0;
  OutlineNode* parent_ = nullptr;
  ZipItem* item_ = nullptr;
  mutable std::vector<std::unique_ptr<OutlineNode>> children_;
};

// The tree of an archive's items under an invisible root (a folder without text). With hierarchy,
// files sit below their folders; folder entries and items to be deleted do not show, and
// top-level folders are merged only once the first one exists (names compare exactly, so "A" and
// "a" are two folders). Without hierarchy, every item is one top-level node named by its whole
// path. A missing archive or one without items gives an empty root.
std::unique_ptr<OutlineNode> BuildOutline(const ZipArchive* archive, bool hierarchy,
                                          ZipAttributes attributes);

}  // namespace vz
