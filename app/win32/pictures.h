// The window's pictures drawn in code with GDI+, so that they are sharp at any screen density:
// the outline's six pictures, the buttons' pictures, the banner, the web icon and the program's
// icon. Each is drawn on a grid of its design size (16 by 16 for the outline's and the buttons'
// pictures and the program's icon, 32 by 32 for the web icon, 592 by 50 for the banner) scaled to
// the pixels asked for. GDI+ starts on first use and stays until the program ends.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <cstdint>
#include <vector>

#include "app/win32/design.h"
#include "components/outline_tree.h"

namespace vz::win32 {

// The pixels of a picture of size by size, as 32-bit premultiplied BGRA, rows top down.
std::vector<uint32_t> OutlinePicturePixels(OutlinePicture which, int size);
std::vector<uint32_t> ButtonPicturePixels(ButtonPicture which, int size);
std::vector<uint32_t> ProgramIconPixels(int size);

// An icon made of such pixels; the caller destroys it.
HICON IconOfPixels(const std::vector<uint32_t>& pixels, int size);
// The outline's pictures in the order of OutlinePicture; the caller destroys the list.
HIMAGELIST OutlineImageList(int size);

// The banner's picture, left-aligned on white over rect (which may be wider than the design), for
// a screen of dpi dots per inch.
void PaintBanner(HDC dc, const RECT& rect, int dpi);
// A globe, for the link to the maker's web page, filling rect.
void PaintWebIcon(HDC dc, const RECT& rect);

}  // namespace vz::win32
