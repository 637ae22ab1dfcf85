// The outline on screen: a tree view over the outline of the components layer, with its six
// pictures. It owns the outline; a window sets the outline's FileName and hears its OnChange.
//
// Expanding every node of a big archive costs Qt a persistent index per file (a quarter of a second
// for 50,000 files), and collapsing them again more. The outline expands everything after each
// rebuild and a window collapses everything right after opening, so a full expansion is applied
// when the event loop next runs, and a full collapse before then simply cancels it: nothing is
// ever shown in between, and opening a zip in the window costs no expansion at all.
//
// The mouse wheel walks the selection instead of scrolling once a row is selected: down to the
// first child (expanding the row), the next sibling or the next row; up to the previous sibling
// (or that sibling's last child), or the parent. Without a selection it scrolls as usual.
#pragma once

#include <QPixmap>
#include <QTreeView>
#include <array>
#include <memory>

#include "app/outline_model.h"
#include "components/zip_outline.h"

namespace vz {

class OutlineWidget : public QTreeView {
  Q_OBJECT

 public:
  explicit OutlineWidget(QWidget* parent = nullptr);
  ~OutlineWidget() override;

  ZipOutline& Outline() { return outline_; }
  const ZipOutline& Outline() const { return outline_; }

  // Expand or collapse every node at every level (an expansion takes effect when the event loop
  // runs; see above).
  void FullExpand() { outline_.FullExpand(); }
  void FullCollapse() { outline_.FullCollapse(); }

  // The picture used for a kind of node. A new picture is taken only when it is exactly 16 by 16;
  // a null one brings back the built-in picture.
  QPixmap Picture(OutlinePicture which) const;
  void SetPicture(OutlinePicture which, const QPixmap& picture);

  // The node a row shows; null for an invalid index.
  const OutlineNode* NodeAt(const QModelIndex& index) const { return model_->NodeOf(index); }

 protected:
  void wheelEvent(QWheelEvent* event) override;
  // Enter opens the selected row (a file shows its attribute lines), or closes it when open.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void ApplyPendingExpansion();
  QModelIndex Below(const QModelIndex& index) const;
  QModelIndex Above(const QModelIndex& index) const;

  ZipOutline outline_;
  std::unique_ptr<OutlineItemModel> model_;
  std::array<QPixmap, 6> pictures_;
  bool expansion_pending_ = false;
};

}  // namespace vz
