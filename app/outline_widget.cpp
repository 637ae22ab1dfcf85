#include "app/outline_widget.h"

#include <QKeyEvent>
#include <QWheelEvent>

#include "app/outline_pictures.h"

namespace vz {

OutlineWidget::OutlineWidget(QWidget* parent)
    : QTreeView(parent), model_(std::make_unique<OutlineItemModel>(outline_)) {
  for (size_t i = 0; i < pictures_.size(); ++i) {
    pictures_[i] = DrawOutlinePicture(static_cast<OutlinePicture>(i));
  }
  model_->SetIcons(pictures_);
  setModel(model_.get());
  setHeaderHidden(true);
  setUniformRowHeights(true);  // rows are laid out without asking each one for its size
  setIconSize(QSize(16, 16));
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  resize(300, 143);
  outline_.view.before_rebuild = [this] {
    expansion_pending_ = false;
    model_->BeginRebuild();
  };
  outline_.view.after_rebuild = [this] { model_->EndRebuild(); };
  outline_.view.full_expand = [this] {
    if (expansion_pending_) return;
    expansion_pending_ = true;
    QMetaObject::invokeMethod(this, &OutlineWidget::ApplyPendingExpansion, Qt::QueuedConnection);
  };
  outline_.view.full_collapse = [this] {
    expansion_pending_ = false;
    collapseAll();
  };
}

void OutlineWidget::ApplyPendingExpansion() {
  if (!expansion_pending_) return;
  expansion_pending_ = false;
  expandAll();
}

OutlineWidget::~OutlineWidget() {
  outline_.view = {};
  setModel(nullptr);
}

QPixmap OutlineWidget::Picture(OutlinePicture which) const {
  return pictures_[static_cast<size_t>(which)];
}

void OutlineWidget::SetPicture(OutlinePicture which, const QPixmap& picture) {
  QPixmap& slot = pictures_[static_cast<size_t>(which)];
  if (picture.isNull()) {
    slot = DrawOutlinePicture(which);
  } else if (picture.width() == 16 && picture.height() == 16) {
    slot = picture;
  } else {
    return;  // any other size is ignored
  }
  model_->SetIcons(pictures_);
}

QModelIndex OutlineWidget::Below(const QModelIndex& index) const {
  if (model_->hasChildren(index)) return model_->index(0, 0, index);
  for (QModelIndex at = index; at.isValid(); at = at.parent()) {
    const QModelIndex next = at.siblingAtRow(at.row() + 1);
    if (next.isValid()) return next;
  }
  return {};
}

QModelIndex OutlineWidget::Above(const QModelIndex& index) const {
  if (index.row() == 0) return index.parent();
  const QModelIndex previous = index.siblingAtRow(index.row() - 1);
  const int children = model_->rowCount(previous);
  return children > 0 ? model_->index(children - 1, 0, previous) : previous;
}

void OutlineWidget::keyPressEvent(QKeyEvent* event) {
  const QModelIndex current = currentIndex();
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && current.isValid() &&
      model()->hasChildren(current)) {
    setExpanded(current, !isExpanded(current));
    event->accept();
    return;
  }
  QTreeView::keyPressEvent(event);
}

void OutlineWidget::wheelEvent(QWheelEvent* event) {
  const QModelIndex current = currentIndex();
  const int delta = event->angleDelta().y();
  if (delta == 0 || model_->rowCount() == 0 || !current.isValid() ||
      !selectionModel()->isSelected(current)) {
    QTreeView::wheelEvent(event);
    return;
  }
  if (model_->hasChildren(current)) expand(current);
  const QModelIndex next = delta < 0 ? Below(current) : Above(current);
  if (next.isValid()) {
    setCurrentIndex(next);
    scrollTo(next);
  }
  event->accept();
}

}  // namespace vz
