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

// The same pixels with straight alpha, as icons take them.
std::vector<uint32_t> StraightAlpha(std::vector<uint32_t> pixels);
// An icon made of such (premultiplied) pixels; the caller destroys it.
HICON IconOfPixels(const std::vector<uint32_t>& pixels, int size);

// The sizes the program's icon file holds, and that file's bytes (an .ico of 32-bit images): the
// icon Explorer shows for the program, kept beside the sources as veldrin-zip.ico.
inline constexpr int kProgramIconSizes[] = {16, 20, 24, 32, 40, 48, 64};
std::vector<uint8_t> ProgramIconFile();
// A button's pictures for its six states (normal, hot, pressed, disabled, default, stylus hot):
// the picture, and a grey one for disabled. The caller destroys the list.
HIMAGELIST ButtonImageList(const std::vector<uint32_t>& pixels, int size);
// The outline's pictures in the order of OutlinePicture; the caller destroys the list.
HIMAGELIST OutlineImageList(int size);

// The banner's picture, left-aligned on white over rect (which may be wider than the design), for
// a screen of dpi dots per inch.
void PaintBanner(HDC dc, const RECT& rect, int dpi);
// A globe, for the link to the maker's web page, filling rect.
void PaintWebIcon(HDC dc, const RECT& rect);

}  // namespace vz::win32
