// The window's own pictures, drawn in code so that they are sharp at any screen density: the
// banner, the web icon, the buttons' pictures and the program's icon. Each is drawn on a grid of
// its design size (16 by 16 for button pictures, 32 by 32 for the web icon, 592 by 50 for the
// banner) scaled to the painter's rectangle.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPainter>

#include "front/window_design.h"

namespace vz {

using front::ButtonPicture;

// A button's picture, 16 by 16, with a double-density variant.
QIcon ButtonIcon(ButtonPicture picture);
// The banner's picture, left-aligned on white; the caller's rectangle may be wider than 592.
void PaintBanner(QPainter& painter, const QRect& rect);
// A globe, for the link to the maker's web page.
void PaintWebIcon(QPainter& painter, const QRectF& rect);
// The program's icon: a light aircraft over a zip fastener on a blue tile.
void PaintProgramIcon(QPainter& painter, const QRectF& rect);
// The program's icon as an image of size by size pixels.
QImage ProgramIconImage(int size);
QIcon ProgramIcon();

}  // namespace vz
