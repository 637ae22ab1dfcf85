// The window's design as data: every control with its parent, kind, place at 96 dpi, anchors,
// caption and hint; the controls the window's logic names; the tab order. The window builds itself
// from these tables, and places each control by its anchors when the window is resized.
#pragma once

#include <span>
#include <utility>

#include "front/window_view.h"

namespace vz::win32 {

enum class Kind {
  kBanner,     // the banner picture, clickable; holds the web icon
  kWebIcon,    // the small web icon on the banner, clickable
  kPages,      // the tab control
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

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

struct Size {
  int width = 0, height = 0;
  bool operator==(const Size&) const = default;
};

struct ControlDef {
  const char* name;
  const char* parent;
  Kind kind;
  Rect rect;  // at 96 dpi, in the parent's client area
  Anchors anchors;
  const char* caption;  // on buttons and check boxes "&X" marks the access key, "&&" shows "&"
  const char* hint;
  int extra = 0;
};

enum class ButtonPicture { kOpen, kUnZip, kFolder, kZip, kClear, kExit };

// The window's client area as designed, the smallest one, and the page control's designed size.
inline constexpr Size kClientSize{592, 501};
inline constexpr Size kSmallestClientSize{592, 496};
inline constexpr int kEntryHeight = 13;  // an entry of the file list
inline constexpr const char* kWindowName = "frmZipUtility";
inline constexpr const char* kMakerPanelText = "Veldrin Zip (Freeware)";
inline constexpr int kMakerPanelWidth = 175;

// Parents come before their children.
extern const std::span<const ControlDef> kControls;
// The controls the logic names, by their design names; the status text, a panel of the status bar,
// has none.
extern const std::span<const std::pair<front::Control, const char*>> kControlNames;
// Tab order across the window; the page that is not shown is skipped.
extern const std::span<const char* const> kTabOrder;

// The design entry of a name, or null.
const ControlDef* FindControl(const char* name);

// Where a control designed at rect in a parent of size reference goes in that parent grown to
// size: anchored left and right it stretches, right only it moves with the right edge, neither it
// moves by half the change (likewise vertically). Never narrower than 0.
Rect Place(const Rect& rect, Anchors anchors, Size reference, Size size);
// A length of the design at 96 dpi on a screen of dpi dots per inch.
int Scale(int length, int dpi);
Rect Scale(const Rect& rect, int dpi);

}  // namespace vz::win32
