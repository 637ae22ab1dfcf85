#include "app/win32/meter_control.h"

namespace vz::win32 {

namespace {

constexpr const wchar_t* kClassName = L"VeldrinMeter";

void RegisterMeterClass(WNDPROC procedure) {
  static const ATOM atom = [procedure] {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = procedure;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    window_class.lpszClassName = kClassName;
    return RegisterClassExW(&window_class);
  }();
  (void)atom;
}

COLORREF Resolve(const MeterColor& color) {
  switch (color.kind) {
    case MeterColor::kValue:
      break;
    case MeterColor::kButtonFace:
      return GetSysColor(COLOR_BTNFACE);
    case MeterColor::kButtonShadow:
      return GetSysColor(COLOR_BTNSHADOW);
    case MeterColor::kButtonHighlight:
      return GetSysColor(COLOR_BTNHIGHLIGHT);
  }
  return RGB(color.Red(), color.Green(), color.Blue());
}

}  // namespace

MeterControl::MeterControl(HWND parent, int id, std::function<void()> process_messages) {
  RegisterMeterClass(&MeterControl::Procedure);
  window_ = CreateWindowExW(
      0, kClassName, L"", WS_CHILD | WS_CLIPSIBLINGS, 0, 0, meter_.Width(), meter_.Height(), parent,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), this);
  meter_.OnRepaint = [this] {
    InvalidateRect(window_, nullptr, FALSE);
    UpdateWindow(window_);
  };
  meter_.OnProcessMessages = std::move(process_messages);
  meter_.OnResize = [this](int width, int height) {
    SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  };
}

MeterControl::~MeterControl() {
  meter_.OnRepaint = nullptr;
  meter_.OnResize = nullptr;
  if (IsWindow(window_)) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

void MeterControl::Paint(HDC dc) const {
  RECT client;
  GetClientRect(window_, &client);
  const MeterPainting painting = meter_.Paint(client.right, client.bottom);
  auto fill = [dc](const MeterFill& f) {
    if (f.rect.right <= f.rect.left || f.rect.bottom <= f.rect.top) return;
    const RECT rect{f.rect.left, f.rect.top, f.rect.right, f.rect.bottom};
    SetBkColor(dc, Resolve(f.color));
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);  // a solid fill, no brush
  };
  fill(painting.background);
  for (const MeterFill& block : painting.blocks) fill(block);
  for (const MeterFill& line : painting.frame) fill(line);
}

LRESULT CALLBACK MeterControl::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<MeterControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  switch (message) {
    case WM_ERASEBKGND:
      return 1;  // the meter paints all of its area
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      self->Paint(dc);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_SIZE:
      self->meter_.SetSize(LOWORD(lparam), HIWORD(lparam));
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace vz::win32
