#include "app/win32/shell_dialogs.h"

#include <commctrl.h>
#include <shobjidl.h>

#include "app/win32/dialog_template.h"
#include "app/win32/text.h"

namespace vz::win32 {

namespace {

using front::MessageButton;
using front::MessageKind;

// A button of a box has the id of its answer, above those the system gives its own buttons.
constexpr int kButtonIdBase = 1000;

int ButtonId(MessageButton button) {
  return kButtonIdBase + button;
}

LPCWSTR IconOf(MessageKind kind) {
  switch (kind) {
    case MessageKind::kInformation:
      return MAKEINTRESOURCEW(32516);  // IDI_INFORMATION
    case MessageKind::kConfirmation:
      return MAKEINTRESOURCEW(32514);  // IDI_QUESTION
    case MessageKind::kError:
      break;
  }
  return MAKEINTRESOURCEW(32513);  // IDI_ERROR
}

// Moves a box where the request says once it knows its size: its place, or the middle of the
// work area of the screen its owner is on.
void PlaceBox(HWND box, const front::MessageRequest& request) {
  RECT frame;
  GetWindowRect(box, &frame);
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  POINT origin;
  if (request.place) {
    const front::BoxOrigin placed = request.place(width, height);
    origin = {placed.left, placed.top};
  } else {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& area = monitor.rcWork;
    origin = {area.left + (area.right - area.left) / 2 - width / 2,
              area.top + (area.bottom - area.top) / 2 - height / 2};
  }
  SetWindowPos(box, nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

struct BoxState {
  const front::MessageRequest* request;
};

HRESULT CALLBACK BoxCallback(HWND box, UINT notification, WPARAM, LPARAM, LONG_PTR data) {
  if (notification == TDN_CREATED) PlaceBox(box, *reinterpret_cast<const BoxState*>(data)->request);
  return S_OK;
}

// A COM interface held for as long as this lives.
template <typename T>
class Com {
 public:
  Com() = default;
  ~Com() {
    if (p_ != nullptr) p_->Release();
  }
  Com(const Com&) = delete;
  Com& operator=(const Com&) = delete;
  T* operator->() const { return p_; }
  T** Out() { return &p_; }
  T* Get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

std::optional<std::string> PathOf(IShellItem* item) {
  PWSTR path = nullptr;
  if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) return std::nullopt;
  std::string chosen = Narrow(path);
  CoTaskMemFree(path);
  return chosen;
}

void StartIn(IFileDialog* dialog, const std::string& folder) {
  if (folder.empty()) return;
  Com<IShellItem> item;
  if (SUCCEEDED(SHCreateItemFromParsingName(Wide(folder).c_str(), nullptr, IID_IShellItem,
                                            reinterpret_cast<void**>(item.Out())))) {
    dialog->SetFolder(item.Get());
  }
}

// Sets up a dialog as the request asks. The system matches patterns in any letter case.
void Prepare(IFileDialog* dialog, const front::FileDialogRequest& request,
             FILEOPENDIALOGOPTIONS add, FILEOPENDIALOGOPTIONS remove) {
  FILEOPENDIALOGOPTIONS options = 0;
  dialog->GetOptions(&options);
  dialog->SetOptions(((options | FOS_FORCEFILESYSTEM | FOS_PATHMUSTEXIST) & ~remove) | add);
  if (!request.title.empty()) dialog->SetTitle(Wide(request.title).c_str());
  const std::wstring name = Wide(request.filter_name), pattern = Wide(request.filter_pattern);
  if (!pattern.empty()) {
    const COMDLG_FILTERSPEC filter{name.c_str(), pattern.c_str()};
    dialog->SetFileTypes(1, &filter);
  }
  if (request.default_extension.size() > 1) {
    dialog->SetDefaultExtension(Wide(request.default_extension.substr(1)).c_str());
  }
  if (!request.initial_name.empty()) dialog->SetFileName(Wide(request.initial_name).c_str());
  StartIn(dialog, request.initial_folder);
}

template <typename Dialog>
bool Create(const CLSID& id, const IID& kind, Com<Dialog>& dialog) {
  return SUCCEEDED(CoCreateInstance(id, nullptr, CLSCTX_INPROC_SERVER, kind,
                                    reinterpret_cast<void**>(dialog.Out())));
}

// A box's width in dialog units wide enough that the text's own lines are not wrapped again (up
// to two thirds of the screen); 0, the box's own width, for shorter texts.
UINT BoxWidth(HWND owner, const std::wstring& text) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof(metrics);
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) return 0;
  HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
  HDC dc = GetDC(owner);
  HGDIOBJ old_font = SelectObject(dc, font);
  // A dialog unit is a quarter of the font's average letter, as dialogs measure it.
  const wchar_t kLetters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  SIZE letters{};
  GetTextExtentPoint32W(dc, kLetters, 52, &letters);
  int longest = 0;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    const size_t length = end > start && text[end - 1] == L'\r' ? end - 1 - start : end - start;
    SIZE extent{};
    GetTextExtentPoint32W(dc, text.c_str() + start, static_cast<int>(length), &extent);
    longest = std::max(longest, static_cast<int>(extent.cx));
    start = end + 1;
  }
  SelectObject(dc, old_font);
  ReleaseDC(owner, dc);
  DeleteObject(font);
  const int unit = std::max(1, static_cast<int>((letters.cx / 26 + 1) / 2));
  const int icon_and_margins = 4 * GetSystemMetrics(SM_CXICON) / 2;
  const int pixels = std::min(longest + icon_and_margins, 2 * GetSystemMetrics(SM_CXSCREEN) / 3);
  const int units = pixels * 4 / unit;
  return units > 180 ? static_cast<UINT>(units) : 0;
}

}  // namespace

MessageButton ShowMessageBox(HWND owner, const front::MessageRequest& request) {
  std::vector<std::wstring> captions;
  std::vector<TASKDIALOG_BUTTON> buttons;
  captions.reserve(front::kButtonOrder.size());
  for (const MessageButton button : front::kButtonOrder) {
    if ((request.buttons & button) == 0) continue;
    captions.push_back(Wide(front::ButtonCaption(button)));
    buttons.push_back({ButtonId(button), captions.back().c_str()});
  }
  const std::wstring title = Wide(front::MessageTitle(request.kind));
  const std::wstring text = DisplayLines(request.text);
  BoxState state{&request};
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof(config);
  config.hwndParent = owner;
  // Escape and the title bar's close box answer as the Escape button.
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_USE_HICON_MAIN;
  config.pszWindowTitle = title.c_str();
  config.hMainIcon = LoadIconW(nullptr, IconOf(request.kind));
  config.pszContent = text.c_str();
  config.cxWidth = BoxWidth(owner, text);
  config.cButtons = static_cast<UINT>(buttons.size());
  config.pButtons = buttons.data();
  const MessageButton enter = front::DefaultButton(request.buttons);
  config.nDefaultButton = enter != front::mbNone ? ButtonId(enter) : 0;
  config.pfCallback = &BoxCallback;
  config.lpCallbackData = reinterpret_cast<LONG_PTR>(&state);
  int pressed = 0;
  if (FAILED(TaskDialogIndirect(&config, &pressed, nullptr, nullptr))) return front::mbNone;
  if (pressed > kButtonIdBase) return static_cast<MessageButton>(pressed - kButtonIdBase);
  return front::EscapeButton(request.buttons);
}

std::optional<std::string> ChooseFile(HWND owner, const front::FileDialogRequest& request,
                                      FileDialogKind kind) {
  Com<IFileDialog> dialog;
  const bool made = kind == FileDialogKind::kOpen
                        ? Create(CLSID_FileOpenDialog, IID_IFileOpenDialog, dialog)
                        : Create(CLSID_FileSaveDialog, IID_IFileSaveDialog, dialog);
  if (!made) return std::nullopt;
  // Opening takes only a file that is there: opening never makes a zip.
  if (kind == FileDialogKind::kOpen) {
    Prepare(dialog.Get(), request, FOS_FILEMUSTEXIST, 0);
  } else {
    Prepare(dialog.Get(), request, 0, FOS_OVERWRITEPROMPT);
  }
  if (FAILED(dialog->Show(owner))) return std::nullopt;
  Com<IShellItem> result;
  if (FAILED(dialog->GetResult(result.Out()))) return std::nullopt;
  return PathOf(result.Get());
}

std::vector<std::string> ChooseFiles(HWND owner, const front::FileDialogRequest& request) {
  std::vector<std::string> chosen;
  Com<IFileOpenDialog> dialog;
  if (!Create(CLSID_FileOpenDialog, IID_IFileOpenDialog, dialog)) return chosen;
  front::FileDialogRequest any = request;
  any.filter_pattern.clear();  // every file may join the list
  Prepare(dialog.Get(), any, FOS_FILEMUSTEXIST | FOS_ALLOWMULTISELECT, 0);
  if (FAILED(dialog->Show(owner))) return chosen;
  Com<IShellItemArray> results;
  if (FAILED(dialog->GetResults(results.Out()))) return chosen;
  DWORD count = 0;
  results->GetCount(&count);
  for (DWORD i = 0; i < count; ++i) {
    Com<IShellItem> item;
    if (FAILED(results->GetItemAt(i, item.Out()))) continue;
    if (auto path = PathOf(item.Get())) chosen.push_back(std::move(*path));
  }
  return chosen;
}

std::optional<std::string> ChooseFolder(HWND owner, const std::string& caption,
                                        const std::string& start) {
  Com<IFileOpenDialog> dialog;
  if (!Create(CLSID_FileOpenDialog, IID_IFileOpenDialog, dialog)) return std::nullopt;
  front::FileDialogRequest request;
  request.title = caption;
  request.initial_folder = start;
  Prepare(dialog.Get(), request, FOS_PICKFOLDERS, 0);
  if (FAILED(dialog->Show(owner))) return std::nullopt;
  Com<IShellItem> result;
  if (FAILED(dialog->GetResult(result.Out()))) return std::nullopt;
  return PathOf(result.Get());
}

namespace {

constexpr WORD kFirstField = 100, kSecondField = 101, kMessage = 102;

// OK and Cancel at the bottom right of a dialog width dialog units wide, with their top at y.
void AddOkCancel(DialogTemplate& dialog, short width, short y) {
  dialog.Add(DialogClass::kButton, L"OK", BS_DEFPUSHBUTTON | WS_TABSTOP, width - 112, y, 50, 14,
             IDOK);
  dialog.Add(DialogClass::kButton, L"Cancel", BS_PUSHBUTTON | WS_TABSTOP, width - 57, y, 50, 14,
             IDCANCEL);
}

short LineCount(std::wstring_view text) {
  short lines = 1;
  for (const wchar_t c : text) lines = static_cast<short>(lines + (c == L'\n'));
  return lines;
}

}  // namespace

std::optional<std::string> AskItemPassword(HWND owner, const std::string& item_name, bool again) {
  const std::wstring message = DisplayLines((again ? "The password was wrong. " : "") +
                                            std::string("Enter the password of:\n") + item_name);
  const short width = 240, text_height = static_cast<short>(8 * LineCount(message) + 2);
  DialogTemplate dialog(L"Password", width, static_cast<short>(text_height + 50));
  dialog.Add(DialogClass::kStatic, message, SS_LEFT | SS_NOPREFIX, 7, 7, width - 14, text_height,
             kMessage);
  dialog.Add(DialogClass::kEdit, L"", ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 7,
             static_cast<short>(text_height + 11), width - 14, 12, kFirstField);
  AddOkCancel(dialog, width, static_cast<short>(text_height + 30));
  std::wstring typed;
  const INT_PTR answer = dialog.Run(owner, [&](HWND box, UINT message_id, WPARAM wparam, LPARAM) {
    if (message_id == WM_INITDIALOG) {
      SetFocus(GetDlgItem(box, kFirstField));
      return INT_PTR{FALSE};  // the focus is set
    }
    if (message_id != WM_COMMAND) return INT_PTR{FALSE};
    const int id = LOWORD(wparam);
    if (id == IDOK) typed = ControlText(box, kFirstField);
    if (id == IDOK || id == IDCANCEL) EndDialog(box, id);
    return INT_PTR{TRUE};
  });
  if (answer != IDOK) return std::nullopt;
  return Narrow(typed);
}

std::optional<std::string> ChooseNewPassword(HWND owner) {
  const short width = 220;
  DialogTemplate dialog(L"Password", width, 96);
  dialog.Add(DialogClass::kStatic,
             L"The new files are encrypted with AES-256.\r\nWhoever opens the zip needs this "
             L"password.",
             SS_LEFT | SS_NOPREFIX, 7, 7, width - 14, 18, kMessage);
  dialog.Add(DialogClass::kStatic, L"&Password:", SS_LEFT, 7, 34, 40, 8, 0xFFFF);
  dialog.Add(DialogClass::kEdit, L"", ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 50, 32,
             width - 57, 12, kFirstField);
  dialog.Add(DialogClass::kStatic, L"&Confirm:", SS_LEFT, 7, 52, 40, 8, 0xFFFF);
  dialog.Add(DialogClass::kEdit, L"", ES_PASSWORD | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 50, 50,
             width - 57, 12, kSecondField);
  AddOkCancel(dialog, width, 75);
  std::wstring typed;
  // OK is offered once both fields agree and are not empty.
  auto agree = [](HWND box) {
    const std::wstring first = ControlText(box, kFirstField);
    EnableWindow(GetDlgItem(box, IDOK), !first.empty() && first == ControlText(box, kSecondField));
  };
  const INT_PTR answer = dialog.Run(owner, [&](HWND box, UINT message_id, WPARAM wparam, LPARAM) {
    if (message_id == WM_INITDIALOG) {
      agree(box);
      SetFocus(GetDlgItem(box, kFirstField));
      return INT_PTR{FALSE};
    }
    if (message_id != WM_COMMAND) return INT_PTR{FALSE};
    const int id = LOWORD(wparam);
    if (HIWORD(wparam) == EN_CHANGE) agree(box);
    if (id == IDOK && !IsWindowEnabled(GetDlgItem(box, IDOK))) return INT_PTR{TRUE};
    if (id == IDOK) typed = ControlText(box, kFirstField);
    if (id == IDOK || id == IDCANCEL) EndDialog(box, id);
    return INT_PTR{TRUE};
  });
  if (answer != IDOK || typed.empty()) return std::nullopt;
  return Narrow(typed);
}

}  // namespace vz::win32
