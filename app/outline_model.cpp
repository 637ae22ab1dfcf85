#include "app/outline_model.h"

#include "front/display_text.h"

namespace vz {

OutlineItemModel::OutlineItemModel(const ZipOutline& outline, QObject* parent)
    : QAbstractItemModel(parent), outline_(outline) {}

void OutlineItemModel::SetIcons(const std::array<QPixmap, 6>& pictures) {
  for (size_t kind = 0; kind < icons_.size(); ++kind) {
    // Pictures come in pairs by kind: attribute, folder, file.
    const size_t picture = 2 * (kind == OutlineNode::kFolder ? 1
                                : kind == OutlineNode::kFile ? 2
                                                             : 0);
    QIcon icon;
    if (!pictures[picture].isNull()) icon.addPixmap(pictures[picture], QIcon::Normal);
    if (!pictures[picture + 1].isNull()) icon.addPixmap(pictures[picture + 1], QIcon::Selected);
    icons_[kind] = icon;
  }
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole});
}

const OutlineNode& OutlineItemModel::OwnerOf(const QModelIndex& index) const {
  return *static_cast<const OutlineNode*>(index.internalPointer());
}

const OutlineNode* OutlineItemModel::NodeOf(const QModelIndex& index) const {
  if (!index.isValid()) return nullptr;
  return &OwnerOf(index).Child(index.row());
}

QModelIndex OutlineItemModel::index(int row, int column, const QModelIndex& parent) const {
  const OutlineNode* owner = parent.isValid() ? NodeOf(parent) : &outline_.Root();
  if (column != 0 || row < 0 || row >= owner->ChildCount()) return {};
  return createIndex(row, column, const_cast<OutlineNode*>(owner));
}

QModelIndex OutlineItemModel::parent(const QModelIndex& index) const {
  if (!index.isValid()) return {};
  const OutlineNode& owner = OwnerOf(index);
  if (owner.Parent() == nullptr) return {};  // the root's children are the top level
  return createIndex(owner.Row(), 0, const_cast<OutlineNode*>(owner.Parent()));
}

int OutlineItemModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return outline_.Root().ChildCount();
  if (parent.column() != 0) return 0;
  // Attribute lines (the children of a file) have no children: no need to make them to say so.
  const OutlineNode& owner = OwnerOf(parent);
  if (owner.GetKind() == OutlineNode::kFile) return 0;
  return owner.Child(parent.row()).ChildCount();
}

int OutlineItemModel::columnCount(const QModelIndex&) const {
  return 1;
}

bool OutlineItemModel::hasChildren(const QModelIndex& parent) const {
  return rowCount(parent) > 0;
}

QVariant OutlineItemModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  switch (role) {
    case Qt::DisplayRole:
      // Names from an archive are any bytes: shown as the command line shows them.
      return QString::fromStdString(Printable(NodeOf(index)->Text()));
    case Qt::DecorationRole:
      // The owner says the kind: the children of files are attribute lines.
      if (OwnerOf(index).GetKind() == OutlineNode::kFile) return icons_[OutlineNode::kAttribute];
      return icons_[NodeOf(index)->GetKind()];
    default:
      return {};
  }
}

Qt::ItemFlags OutlineItemModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

}  // namespace vz
