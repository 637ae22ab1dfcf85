// The outline's tree as a Qt item model. It adds nothing to the tree of the components layer: each
// index points at its parent node and names its row, so attribute lines need no node of their own
// until their text is shown. Opening an archive of 50,000 items lays out every row without
// formatting a single attribute line.
#pragma once

#include <QAbstractItemModel>
#include <QIcon>
#include <array>

#include "components/zip_outline.h"

namespace vz {

class OutlineItemModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  explicit OutlineItemModel(const ZipOutline& outline, QObject* parent = nullptr);

  // Called around every rebuild of the outline's tree.
  void BeginRebuild() { beginResetModel(); }
  void EndRebuild() { endResetModel(); }
  // The icon of each kind of node: its picture, and the selected picture in the Selected mode.
  void SetIcons(const std::array<QPixmap, 6>& pictures);

  // The node an index shows; null for the invisible root.
  const OutlineNode* NodeOf(const QModelIndex& index) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& index) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  bool hasChildren(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  // The node whose child an index is.
  const OutlineNode& OwnerOf(const QModelIndex& index) const;

  const ZipOutline& outline_;
  std::array<QIcon, 3> icons_;  // by node kind
};

}  // namespace vz
