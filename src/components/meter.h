// The progress meter, free of any toolkit: a percentage shown as up to ten filled blocks, and the
// link through which a component drives one.
//
// The meter keeps its state and computes what to paint; a widget draws what Paint returns and
// answers the two requests that need the toolkit (repaint now, handle pending window messages)
// through callbacks. Painting is a pure function of the state and a client size, so the block
// geometry is tested without a screen.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "components/base_component.h"
#include "components/removal_notice.h"

namespace vz {

enum MeterOrientation : uint8_t { moHorizontal, moVertical };
enum MeterBorderStyle : uint8_t { bsNone, bsSingle };

// A colour as the window stores it: a value with red in the lowest byte, green in the second and
// blue in the third, or one of the system's colours, which the toolkit resolves when it paints.
struct MeterColor {
  enum Kind : uint8_t { kValue, kButtonFace, kButtonShadow, kButtonHighlight };
  Kind kind = kValue;
  uint32_t value = 0;

  static constexpr MeterColor Value(uint32_t v) { return {kValue, v & 0xFFFFFF}; }
  static constexpr MeterColor Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return Value(r | (uint32_t{g} << 8) | (uint32_t{b} << 16));
  }
  static constexpr MeterColor System(Kind kind) { return {kind, 0}; }
  constexpr uint8_t Red() const { return static_cast<uint8_t>(value); }
  constexpr uint8_t Green() const { return static_cast<uint8_t>(value >> 8); }
  constexpr uint8_t Blue() const { return static_cast<uint8_t>(value >> 16); }
  bool operator==(const MeterColor&) const = default;
};

// A rectangle in client pixels; it includes its left and top edges and excludes its right and
// bottom ones.
struct MeterRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const MeterRect&) const = default;
};

struct MeterFill {
  MeterRect rect;
  MeterColor color;
};

// What to draw, in this order: the background over the whole client area, the blocks (the one
// at the start of the bar first), then the frame lines.
struct MeterPainting {
  MeterFill background;
  std::vector<MeterFill> blocks;
  std::vector<MeterFill> frame;
};

class Meter : public Removable {
 public:
  Meter() = default;  // 150 by 16, horizontal, single 3D border, empty
  Meter(const Meter&) = delete;
  Meter& operator=(const Meter&) = delete;

  // The value shown, 0 to 99.
  int Position() const { return position_; }
  // Shows value; 100 and above (and anything below 0) show as 0. When the shown value changes the
  // meter asks for a repaint at once and then for pending window messages to be handled (which
  // may run the user's commands, even one that destroys this meter); otherwise nothing happens.
  void SetPosition(int value);
  void Reset() { SetPosition(0); }

  MeterOrientation Orientation() const { return orientation_; }
  // A new orientation swaps the width and the height.
  void SetOrientation(MeterOrientation value);
  MeterBorderStyle BorderStyle() const { return border_style_; }
  void SetBorderStyle(MeterBorderStyle value);
  // With a 3D look the frame is sunken in the system's shadow and highlight colours; without,
  // black.
  bool Ctl3D() const { return ctl_3d_; }
  void SetCtl3D(bool value);
  MeterColor UnusedColor() const { return unused_color_; }
  void SetUnusedColor(MeterColor value);
  MeterColor UsedColor() const { return used_color_; }
  void SetUsedColor(MeterColor value);
  std::string Version() const { return "1.0"; }

  int Width() const { return width_; }
  int Height() const { return height_; }
  // The toolkit reports the control's size here; it is not repainted for that.
  void SetSize(int width, int height);

  // The painting of a client area of that size in the current state.
  MeterPainting Paint(int client_width, int client_height) const;

  // Set by the toolkit's widget.
  std::function<void()> OnRepaint;                      // paint now, not later
  std::function<void()> OnProcessMessages;              // handle the window messages waiting
  std::function<void(int width, int height)> OnResize;  // the control must take this size

 private:
  void Repaint() const;

  int position_ = 0;
  MeterOrientation orientation_ = moHorizontal;
  MeterBorderStyle border_style_ = bsSingle;
  bool ctl_3d_ = true;
  MeterColor unused_color_ = MeterColor::System(MeterColor::kButtonFace);
  MeterColor used_color_ = MeterColor::Rgb(0, 0, 128);
  int width_ = 150;
  int height_ = 16;
};

// The link a component drives: it forwards progress to one meter, and forgets the meter when the
// meter is destroyed. Without a meter it does nothing.
class WidgetMeterLink : public MeterLink {
 public:
  WidgetMeterLink() = default;
  explicit WidgetMeterLink(Meter* meter) : meter_(meter) {}

  Meter* GetMeter() const { return meter_.get(); }
  void SetMeter(Meter* meter) { meter_ = meter; }

  void DoProgress(uint8_t progress) override;
  void Reset() override;

 private:
  RemovablePtr<Meter> meter_;
};

}  // namespace vz
