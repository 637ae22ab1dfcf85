// The window's design as data: every control with its parent, kind, place at 96 dpi, anchors,
// caption and hint; the controls the window's logic names; the tab order. The form builds itself
// from these tables.
#pragma once

#include <QRect>
#include <span>
#include <utility>

#include "app/anchor_layout.h"
#include "front/window_view.h"

namespace vz::form {

enum class Kind {
  kBanner,     // the banner picture, clickable
  kWebIcon,    // the small web icon on the banner, clickable
  kPages,      // the page control
  kPage,       // one of its pages; the caption is the tab's
  kStatusBar,  // two panels: the maker's text and the status text
  kLabel,      // sized to its text when the rectangle has no width; extra: smallest width
  kButton,     // extra: its picture (ButtonPicture)
  kGroupBox,
  kMeter,  // vertical, flat, white; extra: the colour value of its blocks
  kEdit,   // extra: 1 for read-only
  kCheckBox,
  kComboBox,
  kList,
  kPanel,
  kOutline,
};

struct ControlDef {
  const char* name;
  const char* parent;
  Kind kind;
  QRect rect;  // at 96 dpi, in the parent's client area
  Anchors anchors;
  const char* caption;  // on buttons and check boxes "&X" marks the access key, "&&" shows "&"
  const char* hint;
  int extra = 0;
};

// Parents come before their children.
extern const std::span<const ControlDef> kControls;
// The controls the logic names, by their object names.
extern const std::span<const std::pair<front::Control, const char*>> kControlNames;
// Tab order across the window; the page that is not shown is skipped.
extern const std::span<const char* const> kTabOrder;

}  // namespace vz::form
