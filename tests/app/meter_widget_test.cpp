#include "app/meter_widget.h"

#include <gtest/gtest.h>

#include <QImage>

namespace vz {
namespace {

// Rendered like the window's item meters: the blocks on screen are those the model computes.
TEST(MeterWidgetTest, RendersTheBlocksOfTheWindowsVerticalMeter) {
  MeterWidget widget;
  Meter& meter = widget.Model();
  meter.SetOrientation(moVertical);
  EXPECT_EQ(widget.size(), QSize(16, 150));
  widget.resize(14, 125);
  meter.SetCtl3D(false);
  meter.SetUnusedColor(MeterColor::Value(0xFFFFFF));
  meter.SetUsedColor(MeterColor::Value(15118749));
  const QColor used(157, 177, 230), unused(Qt::white), black(Qt::black);
  for (const int position : {0, 9, 10, 25, 99, 100}) {
    SCOPED_TRACE(position);
    meter.SetPosition(position);
    const QImage image = widget.grab().toImage();
    ASSERT_EQ(image.size(), QSize(14, 125));
    // Runs of the used colour up the middle column, and nothing of it outside the blocks' columns.
    int runs = 0;
    for (int y = 1; y < 124; ++y) {
      if (image.pixelColor(6, y) == used && image.pixelColor(6, y + 1) != used) ++runs;
      ASSERT_EQ(image.pixelColor(1, y), unused);
      ASSERT_EQ(image.pixelColor(12, y), unused);
    }
    EXPECT_EQ(runs, position >= 100 ? 0 : position / 10);
    if (position == 25) {
      for (int y = 112; y < 124; ++y) EXPECT_EQ(image.pixelColor(2, y), used) << y;
      EXPECT_EQ(image.pixelColor(6, 111), unused);  // the gap between the first two blocks
      EXPECT_EQ(image.pixelColor(6, 98), unused);
    }
    EXPECT_EQ(image.pixelColor(0, 0), black);
    EXPECT_EQ(image.pixelColor(13, 124), black);
  }
}

TEST(MeterWidgetTest, ASunkenFrameUsesTheStylesShadowAndLight) {
  MeterWidget widget;
  widget.Model().SetPosition(50);
  const QImage image = widget.grab().toImage();
  ASSERT_EQ(image.size(), QSize(150, 16));
  EXPECT_EQ(image.pixel(0, 8), widget.palette().color(QPalette::Dark).rgb());
  EXPECT_EQ(image.pixel(149, 8), widget.palette().color(QPalette::Light).rgb());
  EXPECT_EQ(image.pixel(2, 8), QColor(0, 0, 128).rgb());
  EXPECT_EQ(image.pixel(148, 8), widget.palette().color(QPalette::Button).rgb());
}

}  // namespace
}  // namespace vz
