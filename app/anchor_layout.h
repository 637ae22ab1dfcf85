// A layout that places each child at its rectangle of the window's design (pixels at 96 dpi; Qt
// scales them on high-density screens) and, when the parent is resized, keeps the child's distance
// to the parent's edges it is anchored to: anchored left and right it stretches, right only it
// moves with the right edge, neither left nor right it moves by half the change (and likewise
// vertically). The distances are those of the parent's reference size, the size the design was
// made for.
#pragma once

#include <QLayout>
#include <QRect>
#include <memory>
#include <vector>

#include "front/window_design.h"

namespace vz {

using front::Anchors;
using front::kAnchorAll;
using front::kAnchorBottom;
using front::kAnchorLeft;
using front::kAnchorRight;
using front::kAnchorTop;

class AnchorLayout : public QLayout {
 public:
  // reference: the parent's client size for which the children's rectangles are given.
  AnchorLayout(QWidget* parent, QSize reference);
  ~AnchorLayout() override;

  // A rectangle with a width or height of 0 takes that extent from the widget's size hint (a
  // label sized to its text).
  void AddWidget(QWidget* widget, const QRect& rect, Anchors anchors);
  // Where a child goes in a parent of the given size.
  static QRect Place(const QRect& rect, Anchors anchors, QSize reference, QSize size);

  void addItem(QLayoutItem* item) override;
  QLayoutItem* itemAt(int index) const override;
  QLayoutItem* takeAt(int index) override;
  int count() const override;
  QSize sizeHint() const override { return reference_; }
  QSize minimumSize() const override { return {0, 0}; }
  void setGeometry(const QRect& rect) override;

 private:
  struct Entry {
    std::unique_ptr<QLayoutItem> item;
    QRect rect;
    Anchors anchors = kAnchorLeft | kAnchorTop;
  };
  QSize reference_;
  std::vector<Entry> entries_;
};

}  // namespace vz
