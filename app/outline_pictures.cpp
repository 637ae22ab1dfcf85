#include "app/outline_pictures.h"

#include <QPainter>
#include <QPainterPath>

namespace vz {

namespace {

// A closed folder: a tab and a body. Selected, it opens: the front leans forward and lightens.
void DrawFolder(QPainter& p, bool selected) {
  const QColor edge(0x8A, 0x62, 0x10);
  p.setPen(edge);
  p.setBrush(QColor(0xD9, 0xA4, 0x2E));
  p.drawRect(1, 3, 6, 2);   // tab
  p.drawRect(1, 4, 13, 9);  // back
  if (!selected) {
    p.setBrush(QColor(0xF2, 0xC9, 0x4C));
    p.drawRect(1, 6, 13, 7);
    return;
  }
  QPainterPath front;
  front.moveTo(3.5, 6.5);
  front.lineTo(15.5, 6.5);
  front.lineTo(13.5, 13.5);
  front.lineTo(1.5, 13.5);
  front.closeSubpath();
  p.setBrush(QColor(0xFF, 0xE8, 0x9A));
  p.drawPath(front);
}

// A sheet with its top right corner folded over and three lines of text.
void DrawFile(QPainter& p, bool selected) {
  QPainterPath sheet;
  sheet.moveTo(2.5, 0.5);
  sheet.lineTo(9.5, 0.5);
  sheet.lineTo(13.5, 4.5);
  sheet.lineTo(13.5, 15.5);
  sheet.lineTo(2.5, 15.5);
  sheet.closeSubpath();
  p.setPen(selected ? QColor(0x1F, 0x3F, 0x8F) : QColor(0x60, 0x60, 0x60));
  p.setBrush(selected ? QColor(0xD6, 0xE4, 0xFF) : QColor(0xFF, 0xFF, 0xFF));
  p.drawPath(sheet);
  p.drawLine(9, 1, 9, 5);
  p.drawLine(9, 5, 13, 5);
  p.setPen(selected ? QColor(0x3A, 0x6E, 0xD8) : QColor(0xA0, 0xA0, 0xA0));
  for (int y = 8; y <= 12; y += 2) p.drawLine(5, y, 11, y);
}

// A small bullet; selected, it fills.
void DrawAttribute(QPainter& p, bool selected) {
  p.setPen(QColor(0x1C, 0x6E, 0x5A));
  p.setBrush(selected ? QColor(0x1C, 0x6E, 0x5A) : QColor(0xBF, 0xEB, 0xDD));
  p.drawEllipse(QRectF(4.5, 4.5, 7, 7));
}

}  // namespace

QPixmap DrawOutlinePicture(OutlinePicture which) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  switch (which) {
    case OutlinePicture::kFolder:
    case OutlinePicture::kFolderSelected:
      DrawFolder(painter, which == OutlinePicture::kFolderSelected);
      break;
    case OutlinePicture::kFile:
    case OutlinePicture::kFileSelected:
      DrawFile(painter, which == OutlinePicture::kFileSelected);
      break;
    case OutlinePicture::kAttribute:
    case OutlinePicture::kAttributeSelected:
      DrawAttribute(painter, which == OutlinePicture::kAttributeSelected);
      break;
  }
  return pixmap;
}

}  // namespace vz
