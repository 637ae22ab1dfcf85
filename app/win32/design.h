// The window's design as the Windows window uses it: the design shared with the Qt face
// (front/window_design.h), the sizes of the window, and the design scaled to the screen's
// density.
#pragma once

#include "front/window_design.h"

namespace vz::win32 {

using Kind = front::ControlKind;
using Rect = front::DesignRect;
using Size = front::DesignSize;
using front::Anchors;
using front::ButtonPicture;
using front::ControlDef;
using front::FindControl;
using front::kAnchorAll;
using front::kAnchorBottom;
using front::kAnchorLeft;
using front::kAnchorRight;
using front::kAnchorTop;
using front::kControlNames;
using front::kControls;
using front::kTabOrder;

// The window's client area as designed, the smallest one, and the page control's designed size.
inline constexpr Size kClientSize{592, 501};
inline constexpr Size kSmallestClientSize{592, 496};
inline constexpr int kEntryHeight = 13;  // an entry of the file list
inline constexpr const char* kWindowName = "frmZipUtility";
inline constexpr const char* kMakerPanelText = "Veldrin Zip (Freeware)";
inline constexpr int kMakerPanelWidth = 175;

// Where a control designed at rect in a parent of size reference goes in that parent grown to
// size: anchored left and right it stretches, right only it moves with the right edge, neither it
// moves by half the change (likewise vertically). Never narrower than 0.
Rect Place(const Rect& rect, Anchors anchors, Size reference, Size size);
// A length of the design at 96 dpi on a screen of dpi dots per inch.
int Scale(int length, int dpi);
Rect Scale(const Rect& rect, int dpi);

}  // namespace vz::win32
