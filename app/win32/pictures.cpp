#include "app/win32/pictures.h"

#include <objidl.h>

#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <memory>

namespace vz::win32 {

namespace {

namespace gp = Gdiplus;

void StartGdiplus() {
  static const bool started = [] {
    gp::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    return gp::GdiplusStartup(&token, &input, nullptr) == gp::Ok;
  }();
  (void)started;
}

gp::Color Rgb(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) {
  return gp::Color(a, r, g, b);
}

// The colour with its value divided by factor / 100, as a darker shade of it.
gp::Color Darker(const gp::Color& c, int factor) {
  auto dim = [factor](BYTE v) { return static_cast<BYTE>(v * 100 / factor); };
  return gp::Color(c.GetA(), dim(c.GetR()), dim(c.GetG()), dim(c.GetB()));
}

std::unique_ptr<gp::Pen> Pen(const gp::Color& color, float width = 1.0f) {
  auto pen = std::make_unique<gp::Pen>(color, width);
  pen->SetLineCap(gp::LineCapRound, gp::LineCapRound, gp::DashCapRound);
  pen->SetLineJoin(gp::LineJoinRound);
  return pen;
}

// A closed figure through the points.
void Polygon(gp::GraphicsPath& path, std::initializer_list<gp::PointF> points) {
  path.StartFigure();
  const gp::PointF* previous = nullptr;
  for (const gp::PointF& point : points) {
    if (previous != nullptr) path.AddLine(*previous, point);
    previous = &point;
  }
  path.CloseFigure();
}

// A rectangle with corners rounded by radius r.
void RoundedRect(gp::GraphicsPath& path, float x, float y, float w, float h, float r) {
  const float d = 2 * r;
  path.StartFigure();
  path.AddArc(x, y, d, d, 180, 90);
  path.AddArc(x + w - d, y, d, d, 270, 90);
  path.AddArc(x + w - d, y + h - d, d, d, 0, 90);
  path.AddArc(x, y + h - d, d, d, 90, 90);
  path.CloseFigure();
}

void Ellipse(gp::Graphics& g, const gp::Pen* pen, const gp::Brush* brush, float cx, float cy,
             float rx, float ry) {
  if (brush != nullptr) g.FillEllipse(brush, cx - rx, cy - ry, 2 * rx, 2 * ry);
  if (pen != nullptr) g.DrawEllipse(pen, cx - rx, cy - ry, 2 * rx, 2 * ry);
}

// A rectangle as a 1-pixel pen draws it without smoothing: the outline covers the far edges too.
void Box(gp::Graphics& g, const gp::Color& edge, const gp::Color& fill, int x, int y, int w,
         int h) {
  gp::SolidBrush brush(fill);
  gp::Pen pen(edge, 1.0f);
  g.FillRectangle(&brush, x, y, w, h);
  g.DrawRectangle(&pen, x, y, w, h);
}

// ---- the outline's pictures (drawn without smoothing, pixel by pixel) ----

void DrawOutlineFolder(gp::Graphics& g, bool selected) {
  const gp::Color edge = Rgb(0x8A, 0x62, 0x10);
  Box(g, edge, Rgb(0xD9, 0xA4, 0x2E), 1, 3, 6, 2);   // tab
  Box(g, edge, Rgb(0xD9, 0xA4, 0x2E), 1, 4, 13, 9);  // back
  if (!selected) {
    Box(g, edge, Rgb(0xF2, 0xC9, 0x4C), 1, 6, 13, 7);
    return;
  }
  // Selected, it opens: the front leans forward and lightens.
  gp::GraphicsPath front;
  Polygon(front, {{3, 6}, {15, 6}, {13, 13}, {1, 13}});
  gp::SolidBrush brush(Rgb(0xFF, 0xE8, 0x9A));
  gp::Pen pen(edge, 1.0f);
  g.FillPath(&brush, &front);
  g.DrawPath(&pen, &front);
}

// A sheet with its top right corner folded over and three lines of text.
void DrawOutlineFile(gp::Graphics& g, bool selected) {
  gp::GraphicsPath sheet;
  Polygon(sheet, {{2, 0}, {9, 0}, {13, 4}, {13, 15}, {2, 15}});
  gp::Pen pen(selected ? Rgb(0x1F, 0x3F, 0x8F) : Rgb(0x60, 0x60, 0x60), 1.0f);
  gp::SolidBrush brush(selected ? Rgb(0xD6, 0xE4, 0xFF) : Rgb(0xFF, 0xFF, 0xFF));
  g.FillPath(&brush, &sheet);
  g.DrawPath(&pen, &sheet);
  g.DrawLine(&pen, 9, 1, 9, 5);
  g.DrawLine(&pen, 9, 5, 13, 5);
  gp::Pen text(selected ? Rgb(0x3A, 0x6E, 0xD8) : Rgb(0xA0, 0xA0, 0xA0), 1.0f);
  for (int y = 8; y <= 12; y += 2) g.DrawLine(&text, 5, y, 11, y);
}

// A small bullet; selected, it fills.
void DrawOutlineAttribute(gp::Graphics& g, bool selected) {
  gp::Pen pen(Rgb(0x1C, 0x6E, 0x5A), 1.0f);
  gp::SolidBrush brush(selected ? Rgb(0x1C, 0x6E, 0x5A) : Rgb(0xBF, 0xEB, 0xDD));
  Ellipse(g, &pen, &brush, 7.5f, 7.5f, 3.5f, 3.5f);
}

// ---- the buttons' pictures (smoothed, on a 16 by 16 grid) ----

// A thick arrow from one point to another, with its head at the end.
void Arrow(gp::Graphics& g, gp::PointF from, gp::PointF to, const gp::Color& color) {
  g.DrawLine(Pen(Darker(color, 140), 3.2f).get(), from, to);
  g.DrawLine(Pen(color, 2.0f).get(), from, to);
  const float dx = to.X - from.X, dy = to.Y - from.Y;
  const float length = std::hypot(dx, dy);
  const gp::PointF d(dx / length, dy / length), n(-d.Y, d.X);
  gp::GraphicsPath head;
  Polygon(head, {{to.X + d.X * 1.6f, to.Y + d.Y * 1.6f},
                 {to.X - d.X * 2.2f + n.X * 2.8f, to.Y - d.Y * 2.2f + n.Y * 2.8f},
                 {to.X - d.X * 2.2f - n.X * 2.8f, to.Y - d.Y * 2.2f - n.Y * 2.8f}});
  gp::SolidBrush brush(color);
  g.FillPath(&brush, &head);
  g.DrawPath(Pen(Darker(color, 140), 0.8f).get(), &head);
}

// A closed archive: a yellow box with a zip fastener down its middle.
void Archive(gp::Graphics& g, float x, float y, float w, float h) {
  gp::GraphicsPath box;
  RoundedRect(box, x, y, w, h, 1.0f);
  gp::SolidBrush fill(Rgb(0xF2, 0xC9, 0x4C));
  g.FillPath(&fill, &box);
  g.DrawPath(Pen(Rgb(0x8A, 0x62, 0x10), 0.9f).get(), &box);
  gp::SolidBrush teeth(Rgb(0x55, 0x55, 0x55));
  const float mid = x + w / 2;
  int tooth = 0;
  for (float ty = y + 1.0f; ty + 1.0f <= y + h; ty += 1.6f, ++tooth) {
    g.FillRectangle(&teeth, mid - (tooth % 2 ? 1.2f : 0.0f), ty, 1.2f, 0.8f);
  }
}

void Folder(gp::Graphics& g, bool open) {
  const auto edge = Pen(Rgb(0x8A, 0x62, 0x10), 0.9f);
  gp::GraphicsPath back;
  Polygon(back, {{1.5f, 13.5f}, {1.5f, 3.5f}, {6, 3.5f}, {7.5f, 5}, {13.5f, 5}, {13.5f, 13.5f}});
  gp::SolidBrush back_fill(Rgb(0xD9, 0xA4, 0x2E));
  g.FillPath(&back_fill, &back);
  g.DrawPath(edge.get(), &back);
  gp::GraphicsPath front;
  if (open) {
    Polygon(front, {{4, 7.5f}, {15.5f, 7.5f}, {13.5f, 13.5f}, {1.5f, 13.5f}});
  } else {
    Polygon(front, {{1.5f, 6.5f}, {13.5f, 6.5f}, {13.5f, 13.5f}, {1.5f, 13.5f}});
  }
  gp::SolidBrush front_fill(Rgb(0xF7, 0xD3, 0x62));
  g.FillPath(&front_fill, &front);
  g.DrawPath(edge.get(), &front);
}

void DrawButton(gp::Graphics& g, ButtonPicture picture) {
  const gp::Color green = Rgb(0x2E, 0xA0, 0x43), red = Rgb(0xD0, 0x34, 0x2C);
  switch (picture) {
    case ButtonPicture::kOpen:
      Folder(g, true);
      break;
    case ButtonPicture::kFolder: {
      Folder(g, false);
      gp::SolidBrush dots(Rgb(0x6B, 0x4A, 0x08));
      for (const float x : {4.5f, 7.5f, 10.5f}) Ellipse(g, nullptr, &dots, x, 10.5f, 0.9f, 0.9f);
      break;
    }
    case ButtonPicture::kUnZip:
      Archive(g, 1.5f, 7.5f, 9, 7);
      Arrow(g, {8.5f, 8.5f}, {12.5f, 3.5f}, green);
      break;
    case ButtonPicture::kZip:
      Archive(g, 1.5f, 7.5f, 9, 7);
      Arrow(g, {13.0f, 1.8f}, {8.8f, 6.8f}, green);
      break;
    case ButtonPicture::kClear:
      for (const auto& [color, width] : {std::pair{Darker(red, 140), 3.6f}, {red, 2.2f}}) {
        const auto pen = Pen(color, width);
        g.DrawLine(pen.get(), 4.0f, 4.0f, 12.0f, 12.0f);
        g.DrawLine(pen.get(), 12.0f, 4.0f, 4.0f, 12.0f);
      }
      break;
    case ButtonPicture::kExit: {
      gp::SolidBrush door(Rgb(0xA8, 0x6B, 0x32)), knob(Rgb(0xF2, 0xC9, 0x4C));
      const auto edge = Pen(Rgb(0x5A, 0x3A, 0x1A), 0.9f);
      g.FillRectangle(&door, 1.5f, 1.5f, 7.0f, 13.0f);
      g.DrawRectangle(edge.get(), 1.5f, 1.5f, 7.0f, 13.0f);
      Ellipse(g, edge.get(), &knob, 7, 8.5f, 0.7f, 0.7f);
      Arrow(g, {7.5f, 8}, {12.8f, 8}, green);
      break;
    }
  }
}

// ---- the program's icon and the web icon ----

// A light aircraft over a zip fastener on a blue tile, on a 16 by 16 grid.
void DrawProgramIcon(gp::Graphics& g) {
  gp::LinearGradientBrush tile(gp::PointF(0, -0.5f), gp::PointF(0, 16.5f), Rgb(0x5F, 0xA8, 0xF0),
                               Rgb(0x1F, 0x5F, 0xC0));
  gp::GraphicsPath shape;
  RoundedRect(shape, 0.5f, 0.5f, 15, 15, 3);
  g.FillPath(&tile, &shape);
  g.DrawPath(Pen(Rgb(0x17, 0x47, 0x90), 0.6f).get(), &shape);
  // The fastener: a yellow tape with teeth down the left.
  gp::SolidBrush tape(Rgb(0xF5, 0xC5, 0x42)), teeth(Rgb(0x6B, 0x4A, 0x08));
  g.FillRectangle(&tape, 2.2f, 1.2f, 2.0f, 13.6f);
  for (int i = 0; i < 7; ++i)
    g.FillRectangle(&teeth, i % 2 ? 3.2f : 2.4f, 1.8f + i * 1.9f, 0.8f, 0.9f);
  // The aircraft, seen from above: fuselage, wings, tailplane. The outlines go first and the
  // fills over them, so that only the outer edge of the whole shows.
  gp::GraphicsPath fuselage, wing, tail;
  RoundedRect(fuselage, 9.4f, 2.0f, 1.6f, 12.0f, 0.8f);
  Polygon(wing, {{5.2f, 6.4f}, {15.2f, 6.4f}, {15.0f, 8.2f}, {5.4f, 8.2f}});
  RoundedRect(tail, 7.8f, 12.0f, 4.8f, 1.3f, 0.5f);
  const auto outline = Pen(Rgb(0x17, 0x47, 0x90), 0.7f);
  gp::SolidBrush white(Rgb(0xFF, 0xFF, 0xFF));
  for (gp::GraphicsPath* part : {&fuselage, &wing, &tail}) g.DrawPath(outline.get(), part);
  for (gp::GraphicsPath* part : {&fuselage, &wing, &tail}) g.FillPath(&white, part);
}

// A globe with two rough continents, meridians and parallels, on a 32 by 32 grid.
void DrawWebIcon(gp::Graphics& g) {
  gp::GraphicsPath sea_shape;
  sea_shape.AddEllipse(12.0f - 19, 11.0f - 19, 38.0f, 38.0f);
  gp::PathGradientBrush sea(&sea_shape);
  sea.SetCenterPoint(gp::PointF(12, 11));
  sea.SetCenterColor(Rgb(0x9F, 0xD4, 0xFF));
  gp::Color rim = Rgb(0x2F, 0x7F, 0xD8);
  INT count = 1;
  sea.SetSurroundColors(&rim, &count);
  Ellipse(g, Pen(Rgb(0x1B, 0x4F, 0x91), 1.4f).get(), &sea, 16, 16, 13.5f, 13.5f);
  gp::SolidBrush land(Rgb(0x6C, 0xC0, 0x5A));
  const auto coast = Pen(Rgb(0x2A, 0x7A, 0x2E), 0.8f);
  gp::GraphicsPath west;
  west.AddBezier(8, 8, 12, 5, 16, 7, 15, 11);
  west.AddBezier(15, 11, 14, 14, 11, 13, 12, 18);
  west.AddBezier(12, 18, 12, 22, 9, 24, 8, 20);
  west.AddBezier(8, 20, 7, 16, 4, 14, 5, 11);
  west.CloseFigure();
  gp::GraphicsPath east;
  east.AddBezier(19, 7, 24, 6, 28, 11, 27, 15);
  east.AddBezier(27, 15, 26, 19, 22, 17, 22, 22);
  east.AddBezier(22, 22, 21, 26, 18, 26, 18, 21);
  east.AddBezier(18, 21, 18, 17, 16, 14, 18, 11);
  east.CloseFigure();
  for (gp::GraphicsPath* continent : {&west, &east}) {
    g.FillPath(&land, continent);
    g.DrawPath(coast.get(), continent);
  }
  const auto grid = Pen(Rgb(255, 255, 255, 150), 0.8f);
  Ellipse(g, grid.get(), nullptr, 16, 16, 6, 13.5f);
  g.DrawLine(grid.get(), 16.0f, 2.5f, 16.0f, 29.5f);
  g.DrawLine(grid.get(), 2.5f, 16.0f, 29.5f, 16.0f);
  g.DrawLine(grid.get(), 5.0f, 9.0f, 27.0f, 9.0f);
  g.DrawLine(grid.get(), 5.0f, 23.0f, 27.0f, 23.0f);
}

// Smoothed drawing on a grid of grid units mapped onto width by height pixels at (x, y).
void OnGrid(gp::Graphics& g, float x, float y, float width, float height, float grid) {
  g.SetSmoothingMode(gp::SmoothingModeAntiAlias);
  g.SetPixelOffsetMode(gp::PixelOffsetModeHalf);
  g.TranslateTransform(x, y);
  g.ScaleTransform(width / grid, height / grid);
}

// Draws on a transparent picture of size by size pixels and returns its pixels.
template <typename Draw>
std::vector<uint32_t> Pixels(int size, Draw draw) {
  StartGdiplus();
  std::vector<uint32_t> pixels(static_cast<size_t>(size) * static_cast<size_t>(size), 0);
  gp::Bitmap bitmap(size, size, size * 4, PixelFormat32bppPARGB,
                    reinterpret_cast<BYTE*>(pixels.data()));
  {
    gp::Graphics g(&bitmap);
    draw(g);
  }
  return pixels;
}

// The banner without its text: white, the sky, a contrail and the program's icon.
void PaintBannerShapes(HDC dc, const RECT& rect, float scale) {
  gp::Graphics g(dc);
  g.TranslateTransform(static_cast<float>(rect.left), static_cast<float>(rect.top));
  g.ScaleTransform(scale, scale);
  const float height = (rect.bottom - rect.top) / scale;
  gp::SolidBrush white(Rgb(255, 255, 255));
  g.FillRectangle(&white, 0.0f, 0.0f, (rect.right - rect.left) / scale, height);
  gp::LinearGradientBrush sky(gp::PointF(279, 0), gp::PointF(593, 0), Rgb(255, 255, 255),
                              Rgb(0xDC, 0xEA, 0xFA));
  g.FillRectangle(&sky, 280.0f, 0.0f, 312.0f, height);
  g.SetSmoothingMode(gp::SmoothingModeAntiAlias);
  g.SetPixelOffsetMode(gp::PixelOffsetModeHalf);
  g.DrawBezier(Pen(Rgb(0xB8, 0xD2, 0xF0), 1.4f).get(), 300, 44, 380, 40, 440, 18, 520, 12);
  {
    const gp::GraphicsState state = g.Save();
    OnGrid(g, 9, 7, 36, 36, 16);
    DrawProgramIcon(g);
    g.Restore(state);
  }
}

// A line of the banner's text in the window's font family, with GDI's own font fallback, in a box
// of the design's pixels.
void DrawBannerText(HDC dc, const wchar_t* text, int pixels, bool bold, COLORREF color, RECT box,
                    UINT vertical, float scale, POINT origin) {
  HFONT font =
      CreateFontW(-static_cast<int>(pixels * scale + 0.5f), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL,
                  FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                  ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma");
  HGDIOBJ old = SelectObject(dc, font);
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, color);
  RECT placed{origin.x + static_cast<LONG>(box.left * scale),
              origin.y + static_cast<LONG>(box.top * scale),
              origin.x + static_cast<LONG>(box.right * scale),
              origin.y + static_cast<LONG>(box.bottom * scale)};
  DrawTextW(dc, text, -1, &placed, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | vertical);
  SelectObject(dc, old);
  DeleteObject(font);
}

}  // namespace

std::vector<uint32_t> OutlinePicturePixels(OutlinePicture which, int size) {
  return Pixels(size, [&](gp::Graphics& g) {
    g.SetSmoothingMode(gp::SmoothingModeNone);
    g.ScaleTransform(size / 16.0f, size / 16.0f);
    switch (which) {
      case OutlinePicture::kFolder:
      case OutlinePicture::kFolderSelected:
        DrawOutlineFolder(g, which == OutlinePicture::kFolderSelected);
        break;
      case OutlinePicture::kFile:
      case OutlinePicture::kFileSelected:
        DrawOutlineFile(g, which == OutlinePicture::kFileSelected);
        break;
      case OutlinePicture::kAttribute:
      case OutlinePicture::kAttributeSelected:
        DrawOutlineAttribute(g, which == OutlinePicture::kAttributeSelected);
        break;
    }
  });
}

std::vector<uint32_t> ButtonPicturePixels(ButtonPicture which, int size) {
  return Pixels(size, [&](gp::Graphics& g) {
    OnGrid(g, 0, 0, static_cast<float>(size), static_cast<float>(size), 16);
    DrawButton(g, which);
  });
}

std::vector<uint32_t> ProgramIconPixels(int size) {
  return Pixels(size, [&](gp::Graphics& g) {
    OnGrid(g, 0, 0, static_cast<float>(size), static_cast<float>(size), 16);
    DrawProgramIcon(g);
  });
}

std::vector<uint32_t> StraightAlpha(std::vector<uint32_t> pixels) {
  // The premultiplied colours are divided back.
  for (uint32_t& p : pixels) {
    const uint32_t a = p >> 24;
    if (a == 0 || a == 255) {
      p = a == 0 ? 0 : p;
      continue;
    }
    auto channel = [&](int shift) { return ((((p >> shift) & 0xFF) * 255 + a / 2) / a) << shift; };
    p = (a << 24) | channel(16) | channel(8) | channel(0);
  }
  return pixels;
}

std::vector<uint8_t> ProgramIconFile() {
  std::vector<uint8_t> out;
  auto put16 = [&](uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  };
  auto put32 = [&](uint32_t v) {
    put16(v & 0xFFFF);
    put16(v >> 16);
  };
  constexpr size_t kCount = std::size(kProgramIconSizes);
  put16(0);
  put16(1);  // an icon, not a cursor
  put16(kCount);
  // Each image: a bitmap header of twice the height (the colours, then a mask of one bit per
  // pixel that alpha makes moot), the colours' rows bottom up, the mask's rows padded to 32 bits.
  auto image_bytes = [](int size) { return 40 + size * size * 4 + ((size + 31) / 32 * 4) * size; };
  uint32_t offset = static_cast<uint32_t>(6 + 16 * kCount);
  for (const int size : kProgramIconSizes) {
    out.push_back(static_cast<uint8_t>(size));
    out.push_back(static_cast<uint8_t>(size));
    put16(0);  // no palette, reserved
    put16(1);  // planes
    put16(32);
    put32(static_cast<uint32_t>(image_bytes(size)));
    put32(offset);
    offset += static_cast<uint32_t>(image_bytes(size));
  }
  for (const int size : kProgramIconSizes) {
    put32(40);
    put32(static_cast<uint32_t>(size));
    put32(static_cast<uint32_t>(2 * size));
    put16(1);
    put16(32);
    for (int i = 0; i < 6; ++i) put32(0);  // no compression, sizes and colours left to the reader
    const std::vector<uint32_t> pixels = StraightAlpha(ProgramIconPixels(size));
    for (int row = size - 1; row >= 0; --row) {
      for (int x = 0; x < size; ++x) put32(pixels[static_cast<size_t>(row * size + x)]);
    }
    out.insert(out.end(), static_cast<size_t>((size + 31) / 32 * 4 * size), 0);
  }
  return out;
}

HICON IconOfPixels(const std::vector<uint32_t>& pixels, int size) {
  BITMAPV5HEADER header{};
  header.bV5Size = sizeof(header);
  header.bV5Width = size;
  header.bV5Height = -size;  // top down
  header.bV5Planes = 1;
  header.bV5BitCount = 32;
  header.bV5Compression = BI_BITFIELDS;
  header.bV5RedMask = 0x00FF0000;
  header.bV5GreenMask = 0x0000FF00;
  header.bV5BlueMask = 0x000000FF;
  header.bV5AlphaMask = 0xFF000000;
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HBITMAP colour = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS,
                                    &bits, nullptr, 0);
  ReleaseDC(nullptr, screen);
  if (colour == nullptr) return nullptr;
  const std::vector<uint32_t> straight = StraightAlpha(pixels);
  std::copy(straight.begin(), straight.end(), static_cast<uint32_t*>(bits));
  HBITMAP mask = CreateBitmap(size, size, 1, 1, nullptr);
  ICONINFO info{};
  info.fIcon = TRUE;
  info.hbmColor = colour;
  info.hbmMask = mask;
  HICON icon = CreateIconIndirect(&info);
  DeleteObject(colour);
  DeleteObject(mask);
  return icon;
}

HIMAGELIST ButtonImageList(const std::vector<uint32_t>& pixels, int size) {
  std::vector<uint32_t> grey = pixels;
  for (uint32_t& p : grey) {
    // Premultiplied: the grey of the colour's brightness, at half the opacity.
    const uint32_t level =
        (((p >> 16) & 0xFF) * 30 + ((p >> 8) & 0xFF) * 59 + (p & 0xFF) * 11) / 200;
    p = ((p >> 25) << 24) | level << 16 | level << 8 | level;
  }
  HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32, 6, 0);
  HICON plain = IconOfPixels(pixels, size);
  HICON greyed = IconOfPixels(grey, size);
  for (int state = 1; state <= 6; ++state) ImageList_AddIcon(list, state == 4 ? greyed : plain);
  DestroyIcon(plain);
  DestroyIcon(greyed);
  return list;
}

HIMAGELIST OutlineImageList(int size) {
  HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32, 6, 0);
  for (int i = 0; i < 6; ++i) {
    HICON icon = IconOfPixels(OutlinePicturePixels(static_cast<OutlinePicture>(i), size), size);
    ImageList_AddIcon(list, icon);
    DestroyIcon(icon);
  }
  return list;
}

void PaintBanner(HDC dc, const RECT& rect, int dpi) {
  StartGdiplus();
  const float scale = dpi / 96.0f;
  PaintBannerShapes(dc, rect, scale);
  // The title and its line below, drawn by GDI once GDI+ is done with the device context.
  const POINT origin{rect.left, rect.top};
  DrawBannerText(dc, L"Veldrin Zip", 21, true, RGB(0x1D, 0x4F, 0x9C), {54, 4, 354, 31}, DT_BOTTOM,
                 scale, origin);
  DrawBannerText(dc, L"Zip archives of Flight Simulator X add-ons", 11, false,
                 RGB(0x5F, 0x6B, 0x7A), {55, 31, 455, 46}, DT_VCENTER, scale, origin);
}

void PaintWebIcon(HDC dc, const RECT& rect) {
  StartGdiplus();
  gp::Graphics g(dc);
  OnGrid(g, static_cast<float>(rect.left), static_cast<float>(rect.top),
         static_cast<float>(rect.right - rect.left), static_cast<float>(rect.bottom - rect.top),
         32);
  DrawWebIcon(g);
}

}  // namespace vz::win32
