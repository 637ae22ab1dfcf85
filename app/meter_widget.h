// A meter on screen. The meter model of the components layer decides what a position looks like;
// this widget paints it, keeps the model told of its size, and answers the model's two requests:
// repaint now, and handle the events waiting (so a long extraction keeps the window alive).
#pragma once

#include <QWidget>

#include "components/meter.h"

namespace vz {

class MeterWidget : public QWidget {
  Q_OBJECT

 public:
  explicit MeterWidget(QWidget* parent = nullptr);
  ~MeterWidget() override;

  // The meter this widget shows; links and components refer to it. It goes with the widget, and
  // whatever refers to it then forgets it.
  Meter& Model() { return meter_; }
  const Meter& Model() const { return meter_; }

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QColor Resolve(const MeterColor& color) const;

  Meter meter_;
};

}  // namespace vz
