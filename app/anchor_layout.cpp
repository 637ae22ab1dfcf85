#include "app/anchor_layout.h"

#include <QWidget>
#include <QWidgetItem>

namespace vz {

AnchorLayout::AnchorLayout(QWidget* parent, QSize reference)
    : QLayout(parent), reference_(reference) {
  setContentsMargins(0, 0, 0, 0);
  setSizeConstraint(QLayout::SetNoConstraint);
}

AnchorLayout::~AnchorLayout() = default;

void AnchorLayout::AddWidget(QWidget* widget, const QRect& rect, Anchors anchors) {
  addChildWidget(widget);
  Entry entry;
  entry.item = std::make_unique<QWidgetItem>(widget);
  entry.rect = rect;
  entry.anchors = anchors;
  entries_.push_back(std::move(entry));
  invalidate();
}

void AnchorLayout::addItem(QLayoutItem* item) {
  Entry entry;
  entry.item.reset(item);
  entries_.push_back(std::move(entry));
}

QLayoutItem* AnchorLayout::itemAt(int index) const {
  if (index < 0 || index >= count()) return nullptr;
  return entries_[static_cast<size_t>(index)].item.get();
}

QLayoutItem* AnchorLayout::takeAt(int index) {
  if (index < 0 || index >= count()) return nullptr;
  QLayoutItem* item = entries_[static_cast<size_t>(index)].item.release();
  entries_.erase(entries_.begin() + index);
  return item;
}

int AnchorLayout::count() const {
  return static_cast<int>(entries_.size());
}

QRect AnchorLayout::Place(const QRect& rect, Anchors anchors, QSize reference, QSize size) {
  const front::DesignRect placed =
      front::PlaceByAnchors({rect.x(), rect.y(), rect.width(), rect.height()}, anchors,
                            {reference.width(), reference.height()}, {size.width(), size.height()});
  return {placed.x, placed.y, placed.width, placed.height};
}

void AnchorLayout::setGeometry(const QRect& given) {
  QLayout::setGeometry(given);
  // The design places children from the parent's outer corner, also in a frame whose caption
  // takes room at the top (a group box).
  const QWidget* parent = parentWidget();
  const QRect rect = parent != nullptr ? parent->rect() : given;
  for (const Entry& entry : entries_) {
    QRect design = entry.rect;
    const QSize hint = entry.item->sizeHint();
    if (design.width() == 0) design.setWidth(hint.width());
    if (design.height() == 0) design.setHeight(hint.height());
    const QRect placed =
        Place(design, entry.anchors, reference_, rect.size()).translated(rect.topLeft());
    // Straight to the widget: a layout item would bound the size by the widget's size policy (a
    // push button would keep its style's height instead of the design's).
    if (QWidget* widget = entry.item->widget()) {
      widget->setGeometry(placed);
    } else {
      entry.item->setGeometry(placed);
    }
  }
}

}  // namespace vz
