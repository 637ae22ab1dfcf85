#include "components/meter.h"

#include <utility>

namespace vz {

void Meter::Repaint() const {
  if (OnRepaint) OnRepaint();
}

void Meter::SetPosition(int value) {
  const int shown = value >= 100 || value < 0 ? 0 : value;
  if (shown == position_) return;  // repeated reports of one value cost nothing
  position_ = shown;
  Repaint();
  // The handler may destroy this meter: run a copy and touch nothing afterwards.
  if (std::function<void()> pump = OnProcessMessages) pump();
}

void Meter::SetOrientation(MeterOrientation value) {
  if (value == orientation_) return;
  orientation_ = value;
  std::swap(width_, height_);
  if (OnResize) OnResize(width_, height_);
  Repaint();
}

void Meter::SetBorderStyle(MeterBorderStyle value) {
  if (value == border_style_) return;
  border_style_ = value;
  Repaint();
}

void Meter::SetCtl3D(bool value) {
  if (value == ctl_3d_) return;
  ctl_3d_ = value;
  Repaint();
}

void Meter::SetUnusedColor(MeterColor value) {
  if (value == unused_color_) return;
  unused_color_ = value;
  Repaint();
}

void Meter::SetUsedColor(MeterColor value) {
  if (value == used_color_) return;
  used_color_ = value;
  Repaint();
}

void Meter::SetSize(int width, int height) {
  width_ = width;
  height_ = height;
}

// Blocks are a tenth of the length less a margin, rounded down, plus one: ten of them with their
// gaps fit the bar. Horizontal blocks grow from the left, 2 pixels apart and 1 pixel from the top
// and bottom edges; vertical ones grow from the bottom, 1 pixel apart and 2 pixels from the sides.
MeterPainting Meter::Paint(int cw, int ch) const {
  MeterPainting out;
  out.background = {{0, 0, cw, ch}, unused_color_};
  const int blocks = position_ / 10;
  if (orientation_ == moHorizontal) {
    const int size = (cw - 19) / 10 + 1;
    for (int i = 0; i < blocks && size > 0; ++i) {
      const int x = 1 + 2 * i + i * size;
      out.blocks.push_back({{x, 1, x + size, ch - 1}, used_color_});
    }
  } else {
    const int size = (ch - 10) / 10 + 1;
    for (int i = 0; i < blocks && size > 0; ++i) {
      const int bottom = ch - 1 - i - i * size;
      out.blocks.push_back({{2, bottom - size, cw - 2, bottom}, used_color_});
    }
  }
  if (border_style_ == bsSingle) {
    // Top and left first, then bottom and right over the two corners they share.
    const MeterColor top_left =
        ctl_3d_ ? MeterColor::System(MeterColor::kButtonShadow) : MeterColor{};
    const MeterColor bottom_right =
        ctl_3d_ ? MeterColor::System(MeterColor::kButtonHighlight) : MeterColor{};
    out.frame = {{{0, 0, cw, 1}, top_left},
                 {{0, 0, 1, ch}, top_left},
                 {{0, ch - 1, cw, ch}, bottom_right},
                 {{cw - 1, 0, cw, ch}, bottom_right}};
  }
  return out;
}

void WidgetMeterLink::DoProgress(uint8_t progress) {
  if (meter_) meter_->SetPosition(progress);
}

void WidgetMeterLink::Reset() {
  if (meter_) meter_->Reset();
}

}  // namespace vz
