#include "app/window_pictures.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>

namespace vz {

namespace {

// Runs draw on a grid of grid by grid units mapped onto rect.
template <typename Draw>
void OnGrid(QPainter& p, const QRectF& rect, qreal grid, Draw draw) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(rect.topLeft());
  p.scale(rect.width() / grid, rect.height() / grid);
  draw(p);
  p.restore();
}

QPen Pen(const QColor& color, qreal width = 1.0) {
  QPen pen(color, width);
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  return pen;
}

// A thick arrow from one point to another, with its head at the end.
void Arrow(QPainter& p, QPointF from, QPointF to, const QColor& color) {
  p.setPen(Pen(color.darker(140), 3.2));
  p.drawLine(from, to);
  p.setPen(Pen(color, 2.0));
  p.drawLine(from, to);
  const QPointF d = (to - from) / std::hypot(to.x() - from.x(), to.y() - from.y());
  const QPointF n(-d.y(), d.x());
  QPainterPath head;
  head.moveTo(to + d * 1.6);
  head.lineTo(to - d * 2.2 + n * 2.8);
  head.lineTo(to - d * 2.2 - n * 2.8);
  head.closeSubpath();
  p.setPen(Pen(color.darker(140), 0.8));
  p.setBrush(color);
  p.drawPath(head);
}

// A closed archive: a yellow box with a zip fastener down its middle.
void Archive(QPainter& p, const QRectF& box) {
  p.setPen(Pen(QColor(0x8A, 0x62, 0x10), 0.9));
  p.setBrush(QColor(0xF2, 0xC9, 0x4C));
  p.drawRoundedRect(box, 1.0, 1.0);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x55, 0x55, 0x55));
  const qreal mid = box.center().x();
  int tooth = 0;
  for (qreal y = box.top() + 1.0; y + 1.0 <= box.bottom(); y += 1.6, ++tooth) {
    p.drawRect(QRectF(mid - (tooth % 2 ? 1.2 : 0.0), y, 1.2, 0.8));
  }
}

void Folder(QPainter& p, bool open) {
  p.setPen(Pen(QColor(0x8A, 0x62, 0x10), 0.9));
  p.setBrush(QColor(0xD9, 0xA4, 0x2E));
  QPainterPath back;
  back.moveTo(1.5, 13.5);
  back.lineTo(1.5, 3.5);
  back.lineTo(6, 3.5);
  back.lineTo(7.5, 5);
  back.lineTo(13.5, 5);
  back.lineTo(13.5, 13.5);
  back.closeSubpath();
  p.drawPath(back);
  p.setBrush(QColor(0xF7, 0xD3, 0x62));
  QPainterPath front;
  if (open) {
    front.moveTo(4, 7.5);
    front.lineTo(15.5, 7.5);
    front.lineTo(13.5, 13.5);
    front.lineTo(1.5, 13.5);
  } else {
    front.addRect(QRectF(1.5, 6.5, 12, 7));
  }
  front.closeSubpath();
  p.drawPath(front);
}

void DrawButton(QPainter& p, ButtonPicture picture) {
  const QColor green(0x2E, 0xA0, 0x43), red(0xD0, 0x34, 0x2C);
  switch (picture) {
    case ButtonPicture::kOpen:
      Folder(p, true);
      break;
    case ButtonPicture::kFolder:
      Folder(p, false);
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(0x6B, 0x4A, 0x08));
      for (const qreal x : {4.5, 7.5, 10.5}) p.drawEllipse(QPointF(x, 10.5), 0.9, 0.9);
      break;
    case ButtonPicture::kUnZip:
      Archive(p, QRectF(1.5, 7.5, 9, 7));
      Arrow(p, QPointF(8.5, 8.5), QPointF(12.5, 3.5), green);
      break;
    case ButtonPicture::kZip:
      Archive(p, QRectF(1.5, 7.5, 9, 7));
      Arrow(p, QPointF(13.0, 1.8), QPointF(8.8, 6.8), green);
      break;
    case ButtonPicture::kClear:
      p.setPen(Pen(red.darker(140), 3.6));
      p.drawLine(QPointF(4, 4), QPointF(12, 12));
      p.drawLine(QPointF(12, 4), QPointF(4, 12));
      p.setPen(Pen(red, 2.2));
      p.drawLine(QPointF(4, 4), QPointF(12, 12));
      p.drawLine(QPointF(12, 4), QPointF(4, 12));
      break;
    case ButtonPicture::kExit:
      p.setPen(Pen(QColor(0x5A, 0x3A, 0x1A), 0.9));
      p.setBrush(QColor(0xA8, 0x6B, 0x32));
      p.drawRect(QRectF(1.5, 1.5, 7, 13));
      p.setBrush(QColor(0xF2, 0xC9, 0x4C));
      p.drawEllipse(QPointF(7, 8.5), 0.7, 0.7);
      Arrow(p, QPointF(7.5, 8), QPointF(12.8, 8), green);
      break;
  }
}

// The banner's line of contrails behind the title, and the title itself.
void DrawBanner(QPainter& p, const QRect& rect) {
  p.fillRect(rect, Qt::white);
  QLinearGradient sky(rect.left() + 280, 0, rect.left() + 592, 0);
  sky.setColorAt(0, QColor(255, 255, 255));
  sky.setColorAt(1, QColor(0xDC, 0xEA, 0xFA));
  p.fillRect(QRect(rect.left() + 280, rect.top(), 312, rect.height()), sky);
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.translate(rect.topLeft());
  p.setPen(Pen(QColor(0xB8, 0xD2, 0xF0), 1.4));
  QPainterPath trail;
  trail.moveTo(300, 44);
  trail.cubicTo(380, 40, 440, 18, 520, 12);
  p.drawPath(trail);
  p.restore();
  PaintProgramIcon(p, QRectF(rect.left() + 9, rect.top() + 7, 36, 36));
  QFont title = p.font();
  title.setPixelSize(21);
  title.setBold(true);
  p.setFont(title);
  p.setPen(QColor(0x1D, 0x4F, 0x9C));
  p.drawText(QRect(rect.left() + 54, rect.top() + 4, 300, 27), Qt::AlignLeft | Qt::AlignBottom,
             "Veldrin Zip");
  QFont subtitle = p.font();
  subtitle.setPixelSize(11);
  subtitle.setBold(false);
  p.setFont(subtitle);
  p.setPen(QColor(0x5F, 0x6B, 0x7A));
  p.drawText(QRect(rect.left() + 55, rect.top() + 31, 400, 15), Qt::AlignLeft | Qt::AlignVCenter,
             "Zip archives of Flight Simulator X add-ons");
}

}  // namespace

QIcon ButtonIcon(ButtonPicture picture) {
  QIcon icon;
  for (const int size : {16, 32}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    OnGrid(painter, QRectF(0, 0, size, size), 16, [&](QPainter& p) { DrawButton(p, picture); });
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

void PaintBanner(QPainter& painter, const QRect& rect) {
  DrawBanner(painter, rect);
}

void PaintWebIcon(QPainter& painter, const QRectF& rect) {
  OnGrid(painter, rect, 32, [](QPainter& p) {
    QRadialGradient sea(QPointF(12, 11), 18);
    sea.setColorAt(0, QColor(0x9F, 0xD4, 0xFF));
    sea.setColorAt(1, QColor(0x2F, 0x7F, 0xD8));
    p.setPen(Pen(QColor(0x1B, 0x4F, 0x91), 1.4));
    p.setBrush(sea);
    p.drawEllipse(QPointF(16, 16), 13.5, 13.5);
    // Land: two rough continents.
    p.setPen(Pen(QColor(0x2A, 0x7A, 0x2E), 0.8));
    p.setBrush(QColor(0x6C, 0xC0, 0x5A));
    QPainterPath west;
    west.moveTo(8, 8);
    west.cubicTo(12, 5, 16, 7, 15, 11);
    west.cubicTo(14, 14, 11, 13, 12, 18);
    west.cubicTo(12, 22, 9, 24, 8, 20);
    west.cubicTo(7, 16, 4, 14, 5, 11);
    west.closeSubpath();
    p.drawPath(west);
    QPainterPath east;
    east.moveTo(19, 7);
    east.cubicTo(24, 6, 28, 11, 27, 15);
    east.cubicTo(26, 19, 22, 17, 22, 22);
    east.cubicTo(21, 26, 18, 26, 18, 21);
    east.cubicTo(18, 17, 16, 14, 18, 11);
    east.closeSubpath();
    p.drawPath(east);
    // Meridians and parallels.
    p.setBrush(Qt::NoBrush);
    p.setPen(Pen(QColor(255, 255, 255, 150), 0.8));
    p.drawEllipse(QPointF(16, 16), 6, 13.5);
    p.drawLine(QPointF(16, 2.5), QPointF(16, 29.5));
    p.drawLine(QPointF(2.5, 16), QPointF(29.5, 16));
    p.drawLine(QPointF(5, 9), QPointF(27, 9));
    p.drawLine(QPointF(5, 23), QPointF(27, 23));
  });
}

void PaintProgramIcon(QPainter& painter, const QRectF& rect) {
  OnGrid(painter, rect, 16, [](QPainter& p) {
    QLinearGradient tile(0, 0, 0, 16);
    tile.setColorAt(0, QColor(0x5F, 0xA8, 0xF0));
    tile.setColorAt(1, QColor(0x1F, 0x5F, 0xC0));
    p.setPen(Pen(QColor(0x17, 0x47, 0x90), 0.6));
    p.setBrush(tile);
    p.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
    // The fastener: a yellow tape with teeth down the left.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xF5, 0xC5, 0x42));
    p.drawRect(QRectF(2.2, 1.2, 2.0, 13.6));
    p.setBrush(QColor(0x6B, 0x4A, 0x08));
    for (int i = 0; i < 7; ++i) p.drawRect(QRectF(i % 2 ? 3.2 : 2.4, 1.8 + i * 1.9, 0.8, 0.9));
    // The aircraft, seen from above: fuselage, wings, tailplane.
    p.setBrush(Qt::white);
    p.setPen(Pen(QColor(0x17, 0x47, 0x90), 0.35));
    QPainterPath plane;
    plane.addRoundedRect(QRectF(9.4, 2.0, 1.6, 12.0), 0.8, 0.8);
    QPainterPath wing;
    wing.moveTo(5.2, 6.4);
    wing.lineTo(15.2, 6.4);
    wing.lineTo(15.0, 8.2);
    wing.lineTo(5.4, 8.2);
    wing.closeSubpath();
    QPainterPath tail;
    tail.addRoundedRect(QRectF(7.8, 12.0, 4.8, 1.3), 0.5, 0.5);
    p.drawPath(plane.united(wing).united(tail));
  });
}

QImage ProgramIconImage(int size) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  PaintProgramIcon(painter, QRectF(0, 0, size, size));
  return image;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    icon.addPixmap(QPixmap::fromImage(ProgramIconImage(size)));
  }
  return icon;
}

}  // namespace vz
