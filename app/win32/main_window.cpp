#include "app/win32/main_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstring>

#include "app/win32/dialog_template.h"
#include "app/win32/meter_control.h"
#include "app/win32/outline_control.h"
#include "app/win32/pictures.h"
#include "app/win32/text.h"
#include "front/fsx_folders.h"
#include "front/product.h"

namespace vz::win32 {

namespace {

using front::Control;

constexpr const wchar_t* kWindowClass = L"VeldrinZipWindow";
constexpr const wchar_t* kChildClass = L"VeldrinZipChild";  // pages and pictures
constexpr int kFirstControlId = 100;
constexpr int kMenuDelete = 40, kMenuAddFiles = 41, kMenuAddFolder = 42, kMenuInstalled = 43,
              kMenuNames = 50;
// Posted once the window is on the screen for the first time.
constexpr UINT kShown = WM_APP + 10;
constexpr UINT_PTR kKeySubclass = 2;
// What a child window of kChildClass shows.
enum ChildKind : LONG_PTR { kPageChild, kBannerChild, kWebIconChild };

void RegisterClasses() {
  static const bool registered = [] {
    WNDCLASSEXW window_class{};
    window_class.cbSize = sizeof(window_class);
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // the arrow
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpfnWndProc = &DefWindowProcW;
    window_class.lpszClassName = kWindowClass;
    RegisterClassExW(&window_class);
    window_class.lpszClassName = kChildClass;
    RegisterClassExW(&window_class);
    return true;
  }();
  (void)registered;
}

// Controls whose children are their child windows; other frames only place their children.
bool IsContainer(Kind kind) {
  return kind == Kind::kPage || kind == Kind::kBanner;
}

// The window's font is Tahoma, which the design is measured in. Where the system has none (a Wine
// prefix may map the name to a wider sans-serif, which overruns the labels and check boxes), the
// free Tahoma that Wine ships, made to Tahoma's metrics, is added for this process.
void EnsureTahoma() {
  // Asked of the font list, not of a font made: a font made now would stay mapped to the other.
  HDC screen = GetDC(nullptr);
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  lstrcpyW(wanted.lfFaceName, L"Tahoma");
  bool installed = false;
  EnumFontFamiliesExW(
      screen, &wanted,
      [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM seen) -> int {
        *reinterpret_cast<bool*>(seen) = true;
        return 0;
      },
      reinterpret_cast<LPARAM>(&installed), 0);
  ReleaseDC(nullptr, screen);
  if (installed) return;
  // Wine's own call: a Unix path as a Windows one, allocated on the process heap.
  using DosFileName = wchar_t*(CDECL*)(const char*);
  const auto dos_file_name = reinterpret_cast<DosFileName>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
  if (dos_file_name == nullptr) return;
  for (const char* file :
       {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
    if (wchar_t* path = dos_file_name(file)) {
      AddFontResourceExW(path, FR_PRIVATE, nullptr);
      HeapFree(GetProcessHeap(), 0, path);
    }
  }
}

}  // namespace

MainWindow::MainWindow(front::WindowSettings settings, std::wstring remembered)
    : remembered_(std::move(remembered)) {
  RegisterClasses();
  static const bool tahoma = (EnsureTahoma(), true);
  (void)tahoma;
  HDC screen = GetDC(nullptr);
  dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  font_ = CreateFontW(-MulDiv(8, dpi_, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                      DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                      DEFAULT_PITCH | FF_SWISS, L"Tahoma");
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  RECT outer{0, 0, Scaled(kClientSize.width), Scaled(kClientSize.height)};
  AdjustWindowRectEx(&outer, style, FALSE, WS_EX_CONTROLPARENT);
  const int width = outer.right - outer.left, height = outer.bottom - outer.top;
  // Centred on the screen.
  RECT area;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  window_ = CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, Wide(front::kWindowCaption).c_str(),
                            style, area.left + (area.right - area.left - width) / 2,
                            area.top + (area.bottom - area.top - height) / 2, width, height,
                            nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProcedure));
  for (const int size : {GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CXICON)}) {
    icons_.push_back(IconOfPixels(ProgramIconPixels(size), size));
  }
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icons_[0]));
  SendMessageW(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icons_[1]));
  BuildControls();
  BuildMenus();
  AddHints();
  ApplyTabOrder();
  logic_ = std::make_unique<front::ZipUtilityWindow>(*this, *this, std::move(settings));
  Layout();
  logic_->FormCreate();
}

MainWindow::~MainWindow() {
  logic_.reset();
  if (IsWindow(window_)) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  meters_.clear();
  outline_.reset();
  for (HICON icon : icons_) DestroyIcon(icon);
  for (HIMAGELIST list : image_lists_) ImageList_Destroy(list);
  for (HMENU menu : {list_menu_, outline_menu_}) DestroyMenu(menu);
  DeleteObject(font_);
}

// ---- building -----------------------------------------------------------------------------

HWND MainWindow::Find(const char* name) const {
  for (const Entry& entry : entries_) {
    if (std::strcmp(entry.def->name, name) == 0) return entry.handle;
  }
  return nullptr;
}

void MainWindow::BuildControls() {
  entries_.reserve(kControls.size());
  for (const ControlDef& def : kControls) {
    Entry entry;
    entry.def = &def;
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (std::strcmp(entries_[i].def->name, def.parent) == 0) entry.parent = static_cast<int>(i);
    }
    // A frame without a window of its own hands its children to its own host; the pages sit
    // beside the tab control, over its display area.
    if (entry.parent < 0) {
      entry.host = window_;
    } else {
      const Entry& parent = entries_[static_cast<size_t>(entry.parent)];
      entry.host = IsContainer(parent.def->kind) ? parent.handle : parent.host;
    }
    entry.hint = Wide(def.hint);
    entry.access_key = AccessKeyOf(Wide(def.caption));
    const int id = kFirstControlId + static_cast<int>(entries_.size());
    entries_.push_back(std::move(entry));
    Entry& made = entries_.back();
    made.handle = Create(made, id);
    if (made.handle != nullptr)
      SendMessageW(made.handle, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  }
  for (const auto& [control, name] : kControlNames) {
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (std::strcmp(entries_[i].def->name, name) == 0) named_[control] = i;
    }
  }
  TabCtrl_SetCurSel(tabs_, 0);
  ShowPageWindows();
}

HWND MainWindow::Create(Entry& entry, int id) {
  const ControlDef& def = *entry.def;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  auto* menu = reinterpret_cast<HMENU>(static_cast<INT_PTR>(id));
  const DWORD child = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  auto make = [&](DWORD ex_style, const wchar_t* class_name, const std::wstring& text,
                  DWORD style) {
    return CreateWindowExW(ex_style, class_name, text.c_str(), child | style, 0, 0, 0, 0,
                           entry.host, menu, instance, nullptr);
  };
  const std::wstring caption = Wide(def.caption);
  switch (def.kind) {
    case Kind::kBanner:
    case Kind::kWebIcon: {
      HWND picture = make(0, kChildClass, L"", WS_CLIPCHILDREN);
      SetWindowLongPtrW(picture, GWLP_USERDATA,
                        def.kind == Kind::kBanner ? kBannerChild : kWebIconChild);
      SetWindowLongPtrW(picture, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ChildProcedure));
      return picture;
    }
    case Kind::kPages:
      tabs_ = make(0, WC_TABCONTROLW, L"", WS_TABSTOP | TCS_HOTTRACK);
      return tabs_;
    case Kind::kPage: {
      entry.host = window_;
      HWND page =
          CreateWindowExW(WS_EX_CONTROLPARENT, kChildClass, caption.c_str(),
                          WS_CHILD | WS_CLIPSIBLINGS, 0, 0, 0, 0, window_, menu, instance, nullptr);
      SetWindowLongPtrW(page, GWLP_USERDATA, kPageChild);
      SetWindowLongPtrW(page, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ChildProcedure));
      TCITEMW tab{};
      tab.mask = TCIF_TEXT;
      std::wstring text = caption;
      tab.pszText = text.data();
      SendMessageW(tabs_, TCM_INSERTITEMW, static_cast<WPARAM>(TabCtrl_GetItemCount(tabs_)),
                   reinterpret_cast<LPARAM>(&tab));
      return page;
    }
    case Kind::kStatusBar: {
      status_ = make(0, STATUSCLASSNAMEW, L"", SBARS_SIZEGRIP);
      const int parts[] = {Scaled(kMakerPanelWidth), -1};
      SendMessageW(status_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
      SendMessageW(status_, SB_SETTEXTW, 0,
                   reinterpret_cast<LPARAM>(Wide(kMakerPanelText).c_str()));
      return status_;
    }
    case Kind::kLabel:
      // Texts from archives are shown as they are: no "&" is taken as an access key.
      return make(0, WC_STATICW, caption, SS_LEFT | SS_NOPREFIX);
    case Kind::kButton: {
      const bool picture_only = caption.empty();
      HWND button =
          make(0, WC_BUTTONW, caption, BS_PUSHBUTTON | WS_TABSTOP | (picture_only ? BS_ICON : 0));
      const int size = Scaled(16);
      const std::vector<uint32_t> pixels =
          ButtonPicturePixels(static_cast<ButtonPicture>(def.extra), size);
      if (picture_only) {
        // A picture of its own for each state, greyed when disabled (a plain icon would be
        // painted as a grey square then).
        image_lists_.push_back(ButtonImageList(pixels, size));
        BUTTON_IMAGELIST images{};
        images.himl = image_lists_.back();
        images.uAlign = BUTTON_IMAGELIST_ALIGN_CENTER;
        SendMessageW(button, BCM_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(&images));
      } else {
        // Beside a caption, the picture and the caption are centred together.
        icons_.push_back(IconOfPixels(pixels, size));
        SendMessageW(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icons_.back()));
      }
      return button;
    }
    case Kind::kGroupBox:
      return make(0, WC_BUTTONW, caption, BS_GROUPBOX);
    case Kind::kMeter: {
      auto meter = std::make_unique<MeterControl>(entry.host, id, [this] { ProcessMessages(); });
      Meter& model = meter->Model();
      model.SetOrientation(moVertical);
      model.SetCtl3D(false);
      model.SetUnusedColor(MeterColor::Value(0xFFFFFF));
      model.SetUsedColor(MeterColor::Value(static_cast<uint32_t>(def.extra)));
      HWND handle = meter->Handle();
      ShowWindow(handle, SW_SHOWNA);
      for (const auto& [control, name] : kControlNames) {
        if (std::strcmp(name, def.name) == 0) meters_[control] = std::move(meter);
      }
      return handle;
    }
    case Kind::kEdit: {
      HWND edit = make(WS_EX_CLIENTEDGE, WC_EDITW, L"",
                       ES_AUTOHSCROLL | WS_TABSTOP | (def.extra == 1 ? ES_READONLY : 0));
      SetWindowSubclass(edit, &KeySubclass, kKeySubclass, reinterpret_cast<DWORD_PTR>(this));
      return edit;
    }
    case Kind::kCheckBox:
      return make(0, WC_BUTTONW, caption, BS_AUTOCHECKBOX | WS_TABSTOP);
    case Kind::kComboBox: {
      HWND combo = make(0, WC_COMBOBOXW, L"", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP);
      for (const std::string_view item : front::kFsxFolderItems) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
      }
      SendMessageW(combo, CB_SETMINVISIBLE, 20, 0);
      SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
      EnableWindow(combo, FALSE);
      return combo;
    }
    case Kind::kList:
      // A path wider than the list is read from its hint, not by scrolling sideways.
      list_ = make(WS_EX_CLIENTEDGE, WC_LISTBOXW, L"",
                   LBS_EXTENDEDSEL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP);
      SendMessageW(list_, LB_SETITEMHEIGHT, 0, Scaled(kEntryHeight));
      SetWindowSubclass(list_, &KeySubclass, kKeySubclass, reinterpret_cast<DWORD_PTR>(this));
      return list_;
    case Kind::kPanel:
      return nullptr;
    case Kind::kOutline:
      outline_ = std::make_unique<OutlineControl>(entry.host, id, Scaled(16));
      ShowWindow(outline_->Handle(), SW_SHOWNA);
      return outline_->Handle();
  }
  return nullptr;
}

void MainWindow::BuildMenus() {
  list_menu_ = CreatePopupMenu();
  AppendMenuW(list_menu_, MF_STRING, kMenuDelete, L"Delete Selected Item(s)");
  AppendMenuW(list_menu_, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(list_menu_, MF_STRING, kMenuAddFiles, L"Add &Files...");
  AppendMenuW(list_menu_, MF_STRING, kMenuAddFolder, L"Add F&older...");
  outline_menu_ = CreatePopupMenu();
  AppendMenuW(outline_menu_, MF_STRING, kMenuInstalled, L"&Installed Add-ons...");
  // Names that do not say they are UTF-8, read in a character set the user knows.
  HMENU names = CreatePopupMenu();
  int id = kMenuNames;
  for (const front::NameCharsetChoice& choice : front::kNameCharsets) {
    AppendMenuW(names, MF_STRING, static_cast<UINT_PTR>(id++), Wide(choice.caption).c_str());
  }
  CheckMenuRadioItem(names, kMenuNames, id - 1, kMenuNames, MF_BYCOMMAND);
  AppendMenuW(outline_menu_, MF_POPUP, reinterpret_cast<UINT_PTR>(names), L"&Names");
}

void MainWindow::AddHints() {
  hints_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX,
                           CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_,
                           nullptr, GetModuleHandleW(nullptr), nullptr);
  SendMessageW(hints_, TTM_SETMAXTIPWIDTH, 0, GetSystemMetrics(SM_CXSCREEN));
  for (Entry& entry : entries_) {
    const bool list = entry.handle != nullptr && entry.handle == list_;
    if (entry.handle == nullptr || (entry.hint.empty() && !list)) continue;
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(entry.handle);
    // The file list's hint is the entry under the mouse, asked for when it shows.
    tool.lpszText = list ? LPSTR_TEXTCALLBACKW : entry.hint.data();
    SendMessageW(hints_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

// The tab key walks the controls of a window in their z-order: each host's children are put in
// the design's tab order, and the frames and the tab control go below the controls they hold.
void MainWindow::ApplyTabOrder() {
  std::map<HWND, HWND> last;  // per host, the control placed last
  for (const char* name : kTabOrder) {
    HWND control = Find(name);
    if (control == nullptr || control == tabs_) continue;
    HWND host = GetParent(control);
    const auto previous = last.find(host);
    SetWindowPos(control, previous != last.end() ? previous->second : HWND_TOP, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    last[host] = control;
  }
  for (const Entry& entry : entries_) {
    if (entry.def->kind == Kind::kGroupBox || entry.def->kind == Kind::kPages) {
      SetWindowPos(entry.handle, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
}

// ---- layout -------------------------------------------------------------------------------

Size MainWindow::ReferenceOf(int parent) const {
  if (parent < 0) return {Scaled(kClientSize.width), Scaled(kClientSize.height)};
  const Entry& entry = entries_[static_cast<size_t>(parent)];
  if (entry.def->kind != Kind::kPage) {
    const Rect designed = Scale(entry.def->rect, dpi_);
    return {designed.width, designed.height};
  }
  // A page's design size is the display area of the tab control at its design size.
  const Rect pages = Scale(entries_[static_cast<size_t>(entry.parent)].def->rect, dpi_);
  RECT area{0, 0, pages.width, pages.height};
  TabCtrl_AdjustRect(tabs_, FALSE, &area);
  return {area.right - area.left, area.bottom - area.top};
}

Size MainWindow::SizeOf(int parent) const {
  if (parent < 0) {
    RECT client;
    GetClientRect(window_, &client);
    return {client.right, client.bottom};
  }
  const Rect& box = entries_[static_cast<size_t>(parent)].box;
  return {box.width, box.height};
}

void MainWindow::PlaceEntry(size_t index) {
  Entry& entry = entries_[index];
  const ControlDef& def = *entry.def;
  if (def.kind == Kind::kPage) {
    const Rect& pages = entries_[static_cast<size_t>(entry.parent)].box;
    RECT area{pages.x, pages.y, pages.x + pages.width, pages.y + pages.height};
    TabCtrl_AdjustRect(tabs_, FALSE, &area);
    entry.box = {area.left, area.top, area.right - area.left, area.bottom - area.top};
  } else {
    Rect designed = Scale(def.rect, dpi_);
    if (def.kind == Kind::kLabel && def.rect.width == 0) {
      // A label takes the size of its text, at least its smallest width.
      HDC dc = GetDC(entry.handle);
      HGDIOBJ old = SelectObject(dc, font_);
      const std::wstring text = WindowText(entry.handle);
      SIZE extent{0, 0};
      GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
      TEXTMETRICW metrics;
      GetTextMetricsW(dc, &metrics);
      SelectObject(dc, old);
      ReleaseDC(entry.handle, dc);
      designed.width = std::max<int>(extent.cx, Scaled(def.extra));
      designed.height = metrics.tmHeight;
    }
    entry.box = Place(designed, def.anchors, ReferenceOf(entry.parent), SizeOf(entry.parent));
    // Frames without a window of their own place their children from their own corner.
    if (entry.parent >= 0) {
      const Entry& parent = entries_[static_cast<size_t>(entry.parent)];
      if (!IsContainer(parent.def->kind)) {
        entry.box.x += parent.box.x;
        entry.box.y += parent.box.y;
      }
    }
  }
  if (entry.handle == nullptr || def.kind == Kind::kStatusBar) return;
  int height = entry.box.height;
  if (def.kind == Kind::kComboBox) height += Scaled(300);  // room for the list dropped down
  SetWindowPos(entry.handle, nullptr, entry.box.x, entry.box.y, entry.box.width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

void MainWindow::Layout() {
  if (entries_.empty()) return;
  for (size_t i = 0; i < entries_.size(); ++i) PlaceEntry(i);
  SendMessageW(status_, WM_SIZE, 0, 0);
}

void MainWindow::ShowPageWindows() {
  const int current = TabCtrl_GetCurSel(tabs_);
  int page = 0;
  for (const Entry& entry : entries_) {
    if (entry.def->kind != Kind::kPage) continue;
    ShowWindow(entry.handle, page++ == current ? SW_SHOWNA : SW_HIDE);
  }
}

void MainWindow::Show(int show_command) {
  ShowWindow(window_, show_command);
  UpdateWindow(window_);
}

// ---- messages -----------------------------------------------------------------------------

LRESULT CALLBACK MainWindow::WindowProcedure(HWND window, UINT message, WPARAM wparam,
                                             LPARAM lparam) {
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  return self->Receive(message, wparam, lparam);
}

// Pages and pictures: what their controls tell them goes to the window; pictures paint and
// answer clicks.
LRESULT CALLBACK MainWindow::ChildProcedure(HWND window, UINT message, WPARAM wparam,
                                            LPARAM lparam) {
  const LONG_PTR kind = GetWindowLongPtrW(window, GWLP_USERDATA);
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CONTEXTMENU:
      return SendMessageW(GetAncestor(window, GA_ROOT), message, wparam, lparam);
    case WM_SETCURSOR:
      if (kind == kPageChild) break;
      SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // the hand
      return TRUE;
    case WM_LBUTTONUP: {
      if (kind == kPageChild) break;
      RECT client;
      GetClientRect(window, &client);
      const POINT at{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
      if (!PtInRect(&client, at)) break;
      SendMessageW(GetAncestor(window, GA_ROOT), WM_COMMAND,
                   MAKEWPARAM(GetDlgCtrlID(window), STN_CLICKED), reinterpret_cast<LPARAM>(window));
      return 0;
    }
    case WM_ERASEBKGND:
      if (kind == kPageChild) break;
      return 1;  // pictures paint all of their area
    case WM_PAINT: {
      if (kind == kPageChild) break;
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT client;
      GetClientRect(window, &client);
      // Drawn off the screen first, so the picture never flickers.
      HDC memory = CreateCompatibleDC(dc);
      HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
      HGDIOBJ old = SelectObject(memory, bitmap);
      const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
      if (kind == kBannerChild) {
        PaintBanner(memory, client, dpi);
      } else {
        // The web icon lies on the banner: the banner's picture under it, then the globe.
        POINT origin{0, 0};
        MapWindowPoints(window, GetParent(window), &origin, 1);
        RECT banner;
        GetClientRect(GetParent(window), &banner);
        OffsetRect(&banner, -origin.x, -origin.y);
        PaintBanner(memory, banner, dpi);
        PaintWebIcon(memory, client);
      }
      BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
      SelectObject(memory, old);
      DeleteObject(bitmap);
      DeleteDC(memory);
      EndPaint(window, &paint);
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// The edits and the file list: the keys their handlers see before the control does.
LRESULT CALLBACK MainWindow::KeySubclass(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                         UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<MainWindow*>(data);
  if (self->logic_ != nullptr) {
    if (window == self->list_) {
      if (message == WM_KEYDOWN && wparam == VK_DELETE &&
          self->logic_->ZipFileListKeyDown(front::kVkDelete)) {
        return 0;
      }
      if (message == WM_MOUSEMOVE) {
        // Another entry under the mouse: its own hint, placed over it.
        const LRESULT hit = SendMessageW(window, LB_ITEMFROMPOINT, 0, lparam);
        const int entry = HIWORD(hit) != 0 ? -1 : LOWORD(hit);
        if (entry != self->hinted_entry_) {
          self->hinted_entry_ = entry;
          SendMessageW(self->hints_, TTM_POP, 0, 0);
        }
      }
    } else if (window == self->ControlHandle(Control::edZipComment) && message == WM_CHAR) {
      self->logic_->edZipCommentKeyPress();  // before the key changes the text
    }
  }
  return DefSubclassProc(window, message, wparam, lparam);
}

LRESULT MainWindow::Receive(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      Command(LOWORD(wparam), HIWORD(wparam));
      return 0;
    case WM_NOTIFY:
      return Notify(reinterpret_cast<NMHDR*>(lparam));
    case WM_CONTEXTMENU:
      ContextMenu(reinterpret_cast<HWND>(wparam),
                  {static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))});
      return 0;
    case WM_CTLCOLORSTATIC: {
      // The read-only destination: button-face background, grey text.
      auto* dc = reinterpret_cast<HDC>(wparam);
      SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
      if (reinterpret_cast<HWND>(lparam) == ControlHandle(Control::edFolderPath)) {
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
      }
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SIZE:
      Layout();
      return 0;
    case WM_GETMINMAXINFO: {
      RECT smallest{0, 0, Scaled(kSmallestClientSize.width), Scaled(kSmallestClientSize.height)};
      AdjustWindowRectEx(&smallest, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE)),
                         FALSE, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE)));
      auto* limits = reinterpret_cast<MINMAXINFO*>(lparam);
      limits->ptMinTrackSize = {smallest.right - smallest.left, smallest.bottom - smallest.top};
      return 0;
    }
    case WM_SHOWWINDOW:
      if (wparam != FALSE && !shown_) {
        shown_ = true;
        PostMessageW(window_, kShown, 0, 0);  // once the window is on the screen
      }
      break;
    case kShown:
      Shown();
      return 0;
    case WM_DROPFILES:
      DropFiles(reinterpret_cast<HDROP>(wparam));
      return 0;
    case WM_CLOSE:
      if (logic_ != nullptr && !logic_->FormCloseQuery()) return 0;
      Remember();
      DestroyWindow(window_);
      return 0;
    case WM_DESTROY:
      if (quit_when_closed_) PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

bool MainWindow::PreTranslate(MSG& message) {
  if (!IsWindow(window_) || (message.hwnd != window_ && !IsChild(window_, message.hwnd))) {
    return false;
  }
  const bool control = GetKeyState(VK_CONTROL) < 0, alt = GetKeyState(VK_MENU) < 0;
  if (message.message == WM_KEYDOWN) {
    // Key preview: the window sees Escape first, except in a list that is dropped down.
    HWND combo = ControlHandle(Control::cbxFSXFolder);
    if (message.wParam == VK_ESCAPE &&
        !(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0 && GetFocus() == combo) &&
        logic_->FormKeyDown(front::kVkEscape)) {
      return true;
    }
    if (message.wParam == 'O' && control && !alt) {
      logic_->OpenShortcut();
      return true;
    }
    if (message.wParam == VK_TAB && control) {
      const int page = TabCtrl_GetCurSel(tabs_);
      ShowPage(page == 0 ? front::Page::tabZip : front::Page::tabUnZip);
      return true;
    }
  }
  // The folder button shows a picture only; its key is the F of "Folder".
  if (message.message == WM_SYSCHAR && (message.wParam == L'f' || message.wParam == L'F')) {
    HWND folder = ControlHandle(Control::btnUnZipFolder);
    if (IsWindowVisible(folder) && IsWindowEnabled(folder)) {
      SendMessageW(folder, BM_CLICK, 0, 0);
      return true;
    }
  }
  return IsDialogMessageW(window_, &message) != FALSE;
}

void MainWindow::Command(int id, int code) {
  if (logic_ == nullptr) return;
  front::ZipUtilityWindow& logic = *logic_;
  switch (id) {
    case kMenuDelete:
      return logic.vDelSelectedItmClick();
    case kMenuAddFiles:
      return logic.mnuAddFilesClick();
    case kMenuAddFolder:
      return logic.mnuAddFolderClick();
    case kMenuInstalled:
      return logic.mnuInstalledAddonsClick();
    default:
      break;
  }
  const int names = static_cast<int>(std::size(front::kNameCharsets));
  if (id >= kMenuNames && id < kMenuNames + names) {
    return ChooseNameCharset(static_cast<size_t>(id - kMenuNames));
  }
  const int index = id - kFirstControlId;
  if (index < 0 || index >= static_cast<int>(entries_.size())) return;
  const std::string_view name = entries_[static_cast<size_t>(index)].def->name;
  using Handler = void (front::ZipUtilityWindow::*)();
  struct Route {
    std::string_view name;
    int code;
    Handler handler;
  };
  static constexpr Route kRoutes[] = {
      {"btnExit", BN_CLICKED, &front::ZipUtilityWindow::btnExitClick},
      {"btnOpenZip", BN_CLICKED, &front::ZipUtilityWindow::btnOpenZipClick},
      {"btnUnZip", BN_CLICKED, &front::ZipUtilityWindow::btnUnZipClick},
      {"btnUnZipFolder", BN_CLICKED, &front::ZipUtilityWindow::btnUnZipFolderClick},
      {"cbUseFSXFolder", BN_CLICKED, &front::ZipUtilityWindow::cbUseFSXFolderClick},
      {"btnZip", BN_CLICKED, &front::ZipUtilityWindow::btnZipClick},
      {"btnClearList", BN_CLICKED, &front::ZipUtilityWindow::btnClearListClick},
      {"cbxFSXFolder", CBN_SELCHANGE, &front::ZipUtilityWindow::cbxFSXFolderChange},
      {"imgBan", STN_CLICKED, &front::ZipUtilityWindow::imgBanClick},
      {"imgWeb", STN_CLICKED, &front::ZipUtilityWindow::imgBanClick},
  };
  for (const Route& route : kRoutes) {
    if (route.name == name && route.code == code) return (logic.*route.handler)();
  }
}

void MainWindow::ChooseNameCharset(size_t index) {
  const int names = static_cast<int>(std::size(front::kNameCharsets));
  CheckMenuRadioItem(GetSubMenu(outline_menu_, 1), kMenuNames, kMenuNames + names - 1,
                     kMenuNames + static_cast<UINT>(index), MF_BYCOMMAND);
  logic_->mnuNamesClick(front::kNameCharsets[index].charset);
}

LRESULT MainWindow::Notify(NMHDR* header) {
  if (header->hwndFrom == tabs_ && header->code == TCN_SELCHANGE) {
    ShowPageWindows();
    return 0;
  }
  if (outline_ != nullptr && header->hwndFrom == outline_->Handle()) {
    return outline_->Notify(header);
  }
  if (header->hwndFrom == hints_ && header->idFrom == reinterpret_cast<UINT_PTR>(list_)) {
    if (header->code == TTN_GETDISPINFOW) {
      ListHint(reinterpret_cast<NMTTDISPINFOW*>(header));
      return 0;
    }
    if (header->code == TTN_SHOW) return PlaceListHint() ? TRUE : FALSE;
  }
  return 0;
}

// The hint of the file list is the full text of the entry under the mouse, laid over the entry;
// over no entry there is none.
bool MainWindow::ListHint(NMTTDISPINFOW* info) {
  static std::wstring text;  // the hint control reads it after this returns
  POINT at;
  GetCursorPos(&at);
  ScreenToClient(list_, &at);
  const LRESULT hit = SendMessageW(list_, LB_ITEMFROMPOINT, 0, MAKELPARAM(at.x, at.y));
  const int entry = HIWORD(hit) != 0 ? -1 : LOWORD(hit);
  hinted_entry_ = entry;
  const int first = static_cast<int>(SendMessageW(list_, LB_GETTOPINDEX, 0, 0));
  const int height = static_cast<int>(SendMessageW(list_, LB_GETITEMHEIGHT, 0, 0));
  list_hint_ = logic_->ShowHint(entry, first, height);
  text = list_hint_ ? Wide(list_hint_->text) : std::wstring();
  info->lpszText = text.data();
  return list_hint_.has_value();
}

bool MainWindow::PlaceListHint() {
  if (!list_hint_) return false;
  POINT at{list_hint_->x, list_hint_->y};
  ClientToScreen(list_, &at);
  SetWindowPos(hints_, nullptr, at.x, at.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  return true;
}

void MainWindow::ContextMenu(HWND control, POINT at) {
  HMENU menu = control == list_                                       ? list_menu_
               : outline_ != nullptr && control == outline_->Handle() ? outline_menu_
                                                                      : nullptr;
  if (menu == nullptr) return;
  if (at.x == -1 && at.y == -1) {  // from the keyboard: at the control's corner
    at = {0, 0};
    ClientToScreen(control, &at);
  }
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
}

void MainWindow::DropFiles(HDROP drop) {
  std::vector<std::string> paths;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
    path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
    paths.push_back(Narrow(path));
  }
  DragFinish(drop);
  // The drop has finished when this message arrives: the program the files came from does not
  // wait for the boxes the logic may show.
  if (!paths.empty()) logic_->WMDropFiles(paths);
}

void MainWindow::Shown() {
  logic_->FormShow();
  Recall();
  if (!start_paths_.empty()) logic_->OpenCommandLine(std::exchange(start_paths_, {}));
}

}  // namespace vz::win32
