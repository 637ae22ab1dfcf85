#include "app/win32/design.h"

namespace vz::win32 {

Rect Place(const Rect& rect, Anchors anchors, Size reference, Size size) {
  return front::PlaceByAnchors(rect, anchors, reference, size);
}

int Scale(int length, int dpi) {
  // Rounded to the nearest pixel, halves away from zero, as MulDiv does.
  const long long scaled = static_cast<long long>(length) * dpi;
  return static_cast<int>((scaled >= 0 ? scaled + 48 : scaled - 48) / 96);
}

Rect Scale(const Rect& rect, int dpi) {
  // Edges are scaled, not extents, so that controls that touch at 96 dpi touch at any density.
  const int left = Scale(rect.x, dpi), top = Scale(rect.y, dpi);
  return {left, top, Scale(rect.x + rect.width, dpi) - left,
          Scale(rect.y + rect.height, dpi) - top};
}

}  // namespace vz::win32
