#include "app/meter_widget.h"

#include <QCoreApplication>
#include <QPainter>
#include <QResizeEvent>

namespace vz {

MeterWidget::MeterWidget(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);  // the meter paints all of its area
  resize(meter_.Width(), meter_.Height());
  meter_.OnRepaint = [this] { repaint(); };
  meter_.OnProcessMessages = [] { QCoreApplication::processEvents(); };
  meter_.OnResize = [this](int width, int height) { resize(width, height); };
}

MeterWidget::~MeterWidget() = default;

QSize MeterWidget::sizeHint() const {
  return {meter_.Width(), meter_.Height()};
}

void MeterWidget::resizeEvent(QResizeEvent* event) {
  meter_.SetSize(event->size().width(), event->size().height());
  QWidget::resizeEvent(event);
}

QColor MeterWidget::Resolve(const MeterColor& color) const {
  switch (color.kind) {
    case MeterColor::kValue:
      break;
    case MeterColor::kButtonFace:
      return palette().color(QPalette::Button);
    case MeterColor::kButtonShadow:
      return palette().color(QPalette::Dark);
    case MeterColor::kButtonHighlight:
      return palette().color(QPalette::Light);
  }
  return QColor(color.Red(), color.Green(), color.Blue());
}

void MeterWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const MeterPainting painting = meter_.Paint(width(), height());
  auto fill = [&](const MeterFill& f) {
    const QRect rect(f.rect.left, f.rect.top, f.rect.right - f.rect.left,
                     f.rect.bottom - f.rect.top);
    if (!rect.isEmpty()) painter.fillRect(rect, Resolve(f.color));
  };
  fill(painting.background);
  for (const MeterFill& block : painting.blocks) fill(block);
  for (const MeterFill& line : painting.frame) fill(line);
}

}  // namespace vz
