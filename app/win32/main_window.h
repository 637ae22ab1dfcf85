// The "Veldrin - ZIP" window with Windows' common controls: the controls of the window's design,
// each named as the window's logic names it, and the two interfaces that logic works on. It holds
// no workflow of its own: every user action goes to the handler of the same name in
// front::ZipUtilityWindow, and every change the logic makes comes back through WindowView and
// WindowShell.
//
// Controls are built from one table (name, parent, kind, rectangle at 96 dpi, anchors, caption,
// hint), scaled by the screen's density and kept at their anchors as the window is resized. The
// pages of the tab control are plain child windows over its display area, and frames (the group
// boxes and the outline's panel) place their children without being their parents, so that every
// control notifies the window itself.
//
// Only the user's own actions reach the logic (clicks, a choice in the list, menu commands, drops,
// key presses); a change the logic makes never calls back into it, since Windows' controls notify
// only what the user did (an edit's EN_CHANGE, which a program's change sends too, is not heard).
// Keys pass through PreTranslate before the focused control sees them: Escape closes the window
// from any control (an open drop-down list takes it first), Ctrl+O opens, Tab and the access keys
// move as in a dialog.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/win32/design.h"
#include "front/window_shell.h"
#include "front/window_view.h"
#include "front/zip_utility.h"

namespace vz::win32 {

class MeterControl;
class OutlineControl;

class MainWindow : public front::WindowView, public front::WindowShell {
 public:
  // remembered: the file the window keeps its settings in between starts (its check boxes, the
  // FSX folder chosen, the last folders of its dialogs, its size); empty: nothing is remembered.
  // The window is made hidden; Show shows it.
  explicit MainWindow(front::WindowSettings settings = front::WindowSettings::FromEnvironment(),
                      std::wstring remembered = {});
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // The user's settings file: "Veldrin Zip\veldrin-zip.ini" in the roaming application data.
  static std::wstring RememberedSettingsFile();

  HWND Handle() const { return window_; }
  front::ZipUtilityWindow& Logic() { return *logic_; }
  // Paths to open once the window has been shown (the program's arguments).
  void OpenAtStart(std::vector<std::string> paths) { start_paths_ = std::move(paths); }
  // Ends the program's message loop when the window is gone.
  void QuitWhenClosed() { quit_when_closed_ = true; }
  void Show(int show_command);
  // Handles a message meant for this window's keyboard before it is dispatched (key preview, the
  // shortcuts, dialog navigation); true when it was taken.
  bool PreTranslate(MSG& message);

  // The window of a control, by the name the logic gives it or by its design name (null when
  // there is none).
  HWND ControlHandle(front::Control control) const;
  HWND Find(const char* name) const;

  // ---- WindowView ----
  std::string Text(front::Control control) const override;
  void SetText(front::Control control, const std::string& text) override;
  bool Checked(front::Control control) const override;
  void SetChecked(front::Control control, bool checked) override;
  bool Enabled(front::Control control) const override;
  void SetEnabled(front::Control control, bool enabled) override;
  int ItemIndex(front::Control control) const override;
  void SetItemIndex(front::Control control, int index) override;
  void SetListEntries(front::Control control, const std::vector<std::string>& entries) override;
  std::vector<int> SelectedEntries(front::Control control) const override;
  front::Page VisiblePage() const override;
  void ShowPage(front::Page page) override;
  Meter& MeterOf(front::Control meter) override;
  ZipOutline& ZipViewer() override;

  // ---- WindowShell ----
  front::MessageButton ShowMessage(const front::MessageRequest& request) override;
  std::optional<std::string> OpenFileName(const front::FileDialogRequest& request) override;
  std::vector<std::string> OpenFileNames(const front::FileDialogRequest& request) override;
  std::optional<std::string> SaveFileName(const front::FileDialogRequest& request) override;
  std::optional<std::string> BrowseForFolder(const std::string& caption) override;
  void ProcessMessages() override;
  void OpenWebPage(const std::string& url) override;
  void OpenFolder(const std::string& folder) override;
  front::ScreenRect WindowGeometry() const override;
  void CloseWindow() override;
  void AcceptDroppedFiles() override;
  std::optional<std::string> AskPassword(const std::string& item_name, bool again) override;
  std::optional<std::string> AskNewPassword() override;
  void SetWindowTitle(const std::string& title) override;
  front::InstallPlanAnswer ShowInstallPlan(const front::InstallPlanRequest& request) override;
  std::optional<int> ShowInstalledAddons(const std::vector<std::string>& entries) override;

 private:
  // A control of the design with its window and where it is placed.
  struct Entry {
    const ControlDef* def = nullptr;
    int parent = -1;        // the entry of its parent; -1: the window
    HWND handle = nullptr;  // null for a panel, which only places its children
    HWND host = nullptr;    // the window it is a child of
    Rect box;               // in the host's client area
    std::wstring hint;      // kept for the hint control
    wchar_t access_key = 0;
  };

  static LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK ChildProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK KeySubclass(HWND window, UINT message, WPARAM wparam, LPARAM lparam,
                                      UINT_PTR id, DWORD_PTR self);
  LRESULT Receive(UINT message, WPARAM wparam, LPARAM lparam);

  void BuildControls();
  HWND Create(Entry& entry, int id);
  void BuildMenus();
  void AddHints();
  void ApplyTabOrder();
  // Places every control for the window's present size, or one label sized to its text.
  void Layout();
  void PlaceEntry(size_t index);
  Size ReferenceOf(int parent) const;
  Size SizeOf(int parent) const;
  void ShowPageWindows();

  void Command(int id, int code);
  // The outline's "Names" choice: ticked in the menu and handed to the logic.
  void ChooseNameCharset(size_t index);
  LRESULT Notify(NMHDR* header);
  void ContextMenu(HWND control, POINT at);
  void DropFiles(HDROP drop);
  bool ListHint(NMTTDISPINFOW* info);
  bool PlaceListHint();
  void Shown();
  void Recall();
  void Remember();

  const Entry& EntryOf(front::Control control) const;
  int Scaled(int length) const { return Scale(length, dpi_); }

  HWND window_ = nullptr;
  HWND tabs_ = nullptr;
  HWND status_ = nullptr;
  HWND list_ = nullptr;
  HWND hints_ = nullptr;
  HFONT font_ = nullptr;
  HMENU list_menu_ = nullptr;
  HMENU outline_menu_ = nullptr;
  std::vector<HICON> icons_;
  std::vector<HIMAGELIST> image_lists_;
  int dpi_ = 96;
  std::vector<Entry> entries_;
  std::map<front::Control, size_t> named_;
  std::map<front::Control, std::unique_ptr<MeterControl>> meters_;
  std::unique_ptr<OutlineControl> outline_;
  std::optional<front::ListHint> list_hint_;
  int hinted_entry_ = -1;
  std::vector<std::string> start_paths_;
  std::wstring remembered_;
  std::string open_folder_, save_folder_, destination_folder_;  // the dialogs' last folders
  bool shown_ = false;
  bool quit_when_closed_ = false;
  std::unique_ptr<front::ZipUtilityWindow> logic_;  // last: it uses the controls above
};

}  // namespace vz::win32
