// The window's design as data, the same for every face: every control with its parent, kind,
// place at 96 dpi, anchors, caption and hint; the controls the window's logic names; the tab
// order; and how a control follows its anchors when its parent grows. A face builds its window
// from these tables with its own toolkit.
#pragma once

#include <span>
#include <utility>

#include "front/window_view.h"

namespace vz::front {

enum class ControlKind {
  kBanner,     // the banner picture, clickable; holds the web icon
  kWebIcon,    // the small web icon on the banner, clickable
  kPages,      // the page control (tabs)
  kPage,       // one of its pages; the caption is the tab's
  kStatusBar,  // two panels: the maker's text and the status text
  kLabel,      // sized to its text when the rectangle has no width; extra: smallest width
  kButton,     // extra: its picture (ButtonPicture)
  kGroupBox,   // a frame; its children are placed inside it
  kMeter,      // vertical, flat, white; extra: the colour value of its blocks
  kEdit,       // extra: 1 for read-only
  kCheckBox,
  kComboBox,
  kList,
  kPanel,  // a frame without border; its children are placed inside it
  kOutline,
};

// Which edges of its parent a control keeps its distance to.
enum Anchor : unsigned {
  kAnchorLeft = 1,
  kAnchorTop = 2,
  kAnchorRight = 4,
  kAnchorBottom = 8,
  kAnchorAll = 15,
};
using Anchors = unsigned;

struct DesignRect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const DesignRect&) const = default;
};

struct DesignSize {
  int width = 0, height = 0;
  bool operator==(const DesignSize&) const = default;
};

struct ControlDef {
  const char* name;
  const char* parent;
  ControlKind kind;
  DesignRect rect;  // at 96 dpi, in the parent's client area
  Anchors anchors;
  const char* caption;  // on buttons and check boxes "&X" marks the access key, "&&" shows "&"
  const char* hint;
  int extra = 0;
};

// The pictures of the buttons that have one (a button's extra).
enum class ButtonPicture { kOpen, kUnZip, kFolder, kZip, kClear, kExit };

// Parents come before their children.
extern const std::span<const ControlDef> kControls;
// The controls the logic names, by their design names (the status text is the status bar's
// second panel, which has no design entry of its own).
extern const std::span<const std::pair<Control, const char*>> kControlNames;
// Tab order across the window; the page that is not shown is skipped.
extern const std::span<const char* const> kTabOrder;

// The design entry of a name, or null.
const ControlDef* FindControl(const char* name);

// Where a control designed at rect in a parent of size reference goes in that parent grown to
// size: anchored left and right it stretches, right only it moves with the right edge, neither it
// moves by half the change (likewise vertically). Never narrower than 0.
DesignRect PlaceByAnchors(const DesignRect& rect, Anchors anchors, DesignSize reference,
                          DesignSize size);

}  // namespace vz::front
