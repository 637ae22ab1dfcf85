// The window's design as the Qt window uses it: the design shared with the Windows face
// (front/window_design.h), with its rectangles as Qt's.
#pragma once

#include <QRect>

#include "front/window_design.h"

namespace vz::form {

using Kind = front::ControlKind;
using front::ControlDef;
using front::kControlNames;
using front::kControls;
using front::kTabOrder;

inline QRect RectOf(const front::DesignRect& rect) {
  return {rect.x, rect.y, rect.width, rect.height};
}

}  // namespace vz::form
