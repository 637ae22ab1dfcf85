// The window's two interfaces to its logic, WindowView and WindowShell, and the settings it keeps
// between starts.
#include "app/win32/main_window.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>

#include "app/win32/dialog_template.h"
#include "app/win32/meter_control.h"
#include "app/win32/outline_control.h"
#include "app/win32/shell_dialogs.h"
#include "app/win32/text.h"

namespace vz::win32 {

namespace {

using front::Control;

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return {};
  // A drive's root keeps its separator: "C:" alone names the drive's current folder.
  return path.substr(0, slash == 2 && path[1] == ':' ? 3 : slash);
}

}  // namespace

// ---- remembered settings --------------------------------------------------------------------

namespace {

constexpr const char* kRememberedChecks[] = {"cdExtractPaths", "cbAddComments", "cbIncludePaths",
                                             "cbEncryptAes"};

std::wstring ReadSetting(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
  wchar_t value[4096];
  GetPrivateProfileStringW(section, key, L"", value, static_cast<DWORD>(std::size(value)),
                           file.c_str());
  return value;
}

void WriteSetting(const std::wstring& file, const wchar_t* section, const wchar_t* key,
                  const std::wstring& value) {
  WritePrivateProfileStringW(section, key, value.c_str(), file.c_str());
}

}  // namespace

std::wstring MainWindow::RememberedSettingsFile() {
  wchar_t folder[MAX_PATH];
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, folder))) return {};
  std::wstring path = std::wstring(folder) + L"\\Veldrin Zip";
  CreateDirectoryW(path.c_str(), nullptr);
  return path + L"\\veldrin-zip.ini";
}

void MainWindow::Recall() {
  if (remembered_.empty()) return;
  const int width = GetPrivateProfileIntW(L"window", L"width", 0, remembered_.c_str());
  const int height = GetPrivateProfileIntW(L"window", L"height", 0, remembered_.c_str());
  if (width <= 0 || height <= 0) return;  // the first start: the design's state
  RECT outer{0, 0, Scaled(width), Scaled(height)};
  AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(window_, GWL_EXSTYLE)));
  SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOMOVE | SWP_NOZORDER);
  for (const char* name : kRememberedChecks) {
    const bool on = GetPrivateProfileIntW(L"checks", Wide(name).c_str(), 0, remembered_.c_str());
    SendMessageW(Find(name), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  const std::string charset = Narrow(ReadSetting(remembered_, L"names", L"charset"));
  for (size_t i = 0; i < std::size(front::kNameCharsets) && !charset.empty(); ++i) {
    if (charset == front::kNameCharsets[i].charset) ChooseNameCharset(i);
  }
  open_folder_ = Narrow(ReadSetting(remembered_, L"folders", L"open"));
  save_folder_ = Narrow(ReadSetting(remembered_, L"folders", L"save"));
  destination_folder_ = Narrow(ReadSetting(remembered_, L"folders", L"destination"));
  // The FSX folder chosen, through the window's own handlers (which check FSX again).
  const int fsx = GetPrivateProfileIntW(L"fsx", L"folder", -1, remembered_.c_str());
  if (fsx >= 0 && !logic_->AddonDetected()) {
    SendMessageW(ControlHandle(Control::cbUseFSXFolder), BM_SETCHECK, BST_CHECKED, 0);
    logic_->cbUseFSXFolderClick();
    HWND list = ControlHandle(Control::cbxFSXFolder);
    if (fsx < SendMessageW(list, CB_GETCOUNT, 0, 0) && IsWindowEnabled(list)) {
      SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(fsx), 0);
      logic_->cbxFSXFolderChange();
    }
  }
}

void MainWindow::Remember() {
  if (remembered_.empty() || logic_ == nullptr) return;
  RECT client;
  GetClientRect(window_, &client);
  WriteSetting(remembered_, L"window", L"width", std::to_wstring(MulDiv(client.right, 96, dpi_)));
  WriteSetting(remembered_, L"window", L"height", std::to_wstring(MulDiv(client.bottom, 96, dpi_)));
  for (const char* name : kRememberedChecks) {
    const bool on = SendMessageW(Find(name), BM_GETCHECK, 0, 0) == BST_CHECKED;
    WriteSetting(remembered_, L"checks", Wide(name).c_str(), on ? L"1" : L"0");
  }
  WriteSetting(remembered_, L"names", L"charset", Wide(logic_->NameCharset()));
  WriteSetting(remembered_, L"folders", L"open", Wide(open_folder_));
  WriteSetting(remembered_, L"folders", L"save", Wide(save_folder_));
  WriteSetting(remembered_, L"folders", L"destination", Wide(destination_folder_));
  // The detected add-on's entry belongs to that zip; a folder of the thirteen is remembered.
  const bool fsx = Checked(Control::cbUseFSXFolder) && !logic_->AddonDetected();
  WriteSetting(remembered_, L"fsx", L"folder",
               std::to_wstring(fsx ? ItemIndex(Control::cbxFSXFolder) : -1));
}

// ---- WindowView ---------------------------------------------------------------------------

const MainWindow::Entry& MainWindow::EntryOf(Control control) const {
  return entries_[named_.at(control)];
}

HWND MainWindow::ControlHandle(Control control) const {
  if (control == Control::StatusText) return status_;
  const auto found = named_.find(control);
  return found != named_.end() ? entries_[found->second].handle : nullptr;
}

std::string MainWindow::Text(Control control) const {
  if (control == Control::StatusText) {
    const auto length = LOWORD(SendMessageW(status_, SB_GETTEXTLENGTHW, 1, 0));
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(status_, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(text.data()));
    text.resize(length);
    return Narrow(text);
  }
  const Entry& entry = EntryOf(control);
  const std::wstring text = WindowText(entry.handle);
  return Narrow(entry.def->kind == Kind::kButton || entry.def->kind == Kind::kCheckBox
                    ? WithoutAccessKey(text)
                    : text);
}

void MainWindow::SetText(Control control, const std::string& text) {
  if (control == Control::StatusText) {
    SendMessageW(status_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(Wide(text).c_str()));
    return;
  }
  const Entry& entry = EntryOf(control);
  const bool caption = entry.def->kind == Kind::kButton || entry.def->kind == Kind::kCheckBox;
  SetWindowTextW(entry.handle,
                 (caption ? WithAccessKey(Wide(text), entry.access_key) : Wide(text)).c_str());
  if (entry.def->kind == Kind::kLabel) {
    PlaceEntry(named_.at(control));  // a label grows with its text
    InvalidateRect(entry.handle, nullptr, TRUE);
  }
}

bool MainWindow::Checked(Control control) const {
  return SendMessageW(ControlHandle(control), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void MainWindow::SetChecked(Control control, bool checked) {
  SendMessageW(ControlHandle(control), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool MainWindow::Enabled(Control control) const {
  return IsWindowEnabled(ControlHandle(control)) != FALSE;
}

void MainWindow::SetEnabled(Control control, bool enabled) {
  EnableWindow(ControlHandle(control), enabled ? TRUE : FALSE);
}

int MainWindow::ItemIndex(Control control) const {
  const LRESULT index = SendMessageW(ControlHandle(control), CB_GETCURSEL, 0, 0);
  return index == CB_ERR ? -1 : static_cast<int>(index);
}

void MainWindow::SetItemIndex(Control control, int index) {
  SendMessageW(ControlHandle(control), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void MainWindow::SetListEntries(Control control, const std::vector<std::string>& entries) {
  HWND handle = ControlHandle(control);
  if (control == Control::cbxFSXFolder) {
    SendMessageW(handle, CB_RESETCONTENT, 0, 0);
    // The list drops down as wide as its widest entry, so a long folder is read whole.
    HDC dc = GetDC(handle);
    HGDIOBJ old_font =
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(handle, WM_GETFONT, 0, 0)));
    int widest = 0;
    for (const std::string& entry : entries) {
      const std::wstring text = Wide(entry);
      SendMessageW(handle, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
      SIZE extent{};
      GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &extent);
      widest = std::max(widest, static_cast<int>(extent.cx));
    }
    SelectObject(dc, old_font);
    ReleaseDC(handle, dc);
    const int margins = 2 * GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXVSCROLL) + 8;
    SendMessageW(handle, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(widest + margins), 0);
    SendMessageW(handle, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    return;
  }
  SendMessageW(handle, WM_SETREDRAW, FALSE, 0);
  SendMessageW(handle, LB_RESETCONTENT, 0, 0);
  size_t bytes = 0;
  for (const std::string& entry : entries) bytes += (entry.size() + 1) * sizeof(wchar_t);
  SendMessageW(handle, LB_INITSTORAGE, entries.size(), static_cast<LPARAM>(bytes));
  for (const std::string& entry : entries) {
    SendMessageW(handle, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(entry).c_str()));
  }
  SendMessageW(handle, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(handle, nullptr, TRUE);
}

std::vector<int> MainWindow::SelectedEntries(Control control) const {
  HWND handle = ControlHandle(control);
  const LRESULT count = SendMessageW(handle, LB_GETSELCOUNT, 0, 0);
  std::vector<int> rows(count > 0 ? static_cast<size_t>(count) : 0);
  if (!rows.empty()) {
    SendMessageW(handle, LB_GETSELITEMS, rows.size(), reinterpret_cast<LPARAM>(rows.data()));
  }
  return rows;
}

front::Page MainWindow::VisiblePage() const {
  return TabCtrl_GetCurSel(tabs_) == 1 ? front::Page::tabZip : front::Page::tabUnZip;
}

void MainWindow::ShowPage(front::Page page) {
  TabCtrl_SetCurSel(tabs_, page == front::Page::tabZip ? 1 : 0);
  ShowPageWindows();
}

Meter& MainWindow::MeterOf(Control meter) {
  return meters_.at(meter)->Model();
}

ZipOutline& MainWindow::ZipViewer() {
  return outline_->Outline();
}

// ---- WindowShell --------------------------------------------------------------------------

front::MessageButton MainWindow::ShowMessage(const front::MessageRequest& request) {
  return ShowMessageBox(window_, request);
}

std::optional<std::string> MainWindow::OpenFileName(const front::FileDialogRequest& request) {
  front::FileDialogRequest asked = request;
  if (!open_folder_.empty()) asked.initial_folder = open_folder_;
  auto chosen = ChooseFile(window_, asked, FileDialogKind::kOpen);
  if (chosen) open_folder_ = FolderOf(*chosen);
  return chosen;
}

std::vector<std::string> MainWindow::OpenFileNames(const front::FileDialogRequest& request) {
  return ChooseFiles(window_, request);
}

std::optional<std::string> MainWindow::SaveFileName(const front::FileDialogRequest& request) {
  front::FileDialogRequest asked = request;
  if (!save_folder_.empty() && asked.initial_folder.empty()) asked.initial_folder = save_folder_;
  auto chosen = ChooseFile(window_, asked, FileDialogKind::kSave);
  if (chosen) save_folder_ = FolderOf(*chosen);
  return chosen;
}

std::optional<std::string> MainWindow::BrowseForFolder(const std::string& caption) {
  auto chosen = ChooseFolder(window_, caption, destination_folder_);
  if (chosen) destination_folder_ = *chosen;
  return chosen;
}

void MainWindow::ProcessMessages() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the loop that waits for it
      return;
    }
    if (PreTranslate(message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

void MainWindow::OpenWebPage(const std::string& url) {
  ShellExecuteW(window_, L"open", Wide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void MainWindow::OpenFolder(const std::string& folder) {
  ShellExecuteW(window_, L"open", Wide(folder).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

front::ScreenRect MainWindow::WindowGeometry() const {
  RECT frame;
  GetWindowRect(window_, &frame);
  return {frame.left, frame.top, frame.right - frame.left, frame.bottom - frame.top};
}

void MainWindow::CloseWindow() {
  if (IsWindow(window_)) SendMessageW(window_, WM_CLOSE, 0, 0);
}

void MainWindow::AcceptDroppedFiles() {
  DragAcceptFiles(window_, TRUE);
}

std::optional<std::string> MainWindow::AskPassword(const std::string& item_name, bool again) {
  return AskItemPassword(window_, item_name, again);
}

std::optional<std::string> MainWindow::AskNewPassword() {
  return ChooseNewPassword(window_);
}

void MainWindow::SetWindowTitle(const std::string& title) {
  SetWindowTextW(window_, Wide(title).c_str());
}

front::InstallPlanAnswer MainWindow::ShowInstallPlan(const front::InstallPlanRequest& request) {
  return ShowInstallPlanDialog(window_, request);
}

std::optional<int> MainWindow::ShowInstalledAddons(const std::vector<std::string>& entries) {
  return ShowInstalledAddonsDialog(window_, entries);
}

}  // namespace vz::win32
