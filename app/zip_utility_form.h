// The "Veldrin - ZIP" window in Qt 6 Widgets: the controls of the window's design, each named as
// the window's logic names it, and the two interfaces that logic works on. It holds no workflow of
// its own: every user action goes to the handler of the same name in front::ZipUtilityWindow, and
// every change the logic makes comes back through WindowView and WindowShell.
//
// Controls are built from one table (name, parent, kind, rectangle at 96 dpi, anchors, caption,
// hint); AnchorLayout keeps them where the design puts them as the window is resized, and Qt
// scales the whole on high-density screens.
//
// Only the user's own signals reach the logic (clicked, activated, drops, key presses, the popup
// menu); a change the logic makes never calls back into it. Keys go to FormKeyDown before the
// focused control sees them (an event filter on the application for this window's widgets), so
// Escape closes the window from any control, while Escape in a box or an open list answers there.
#pragma once

#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "front/window_shell.h"
#include "front/window_view.h"
#include "front/zip_utility.h"

class QLabel;
class QListWidget;
class QMenu;
class QTabWidget;

namespace vz {

class MeterWidget;
class OutlineWidget;

// The window's font, which its boxes and dialogs share.
QFont WindowFont();

class ZipUtilityForm : public QWidget, public front::WindowView, public front::WindowShell {
  Q_OBJECT

 public:
  // The settings of the running process, with the open dialog starting in the current folder.
  static front::WindowSettings DefaultSettings();

  // remembered: the file the window keeps its settings in between starts (its check boxes, the
  // FSX folder chosen, the last folders of its dialogs, its size); empty: nothing is remembered.
  explicit ZipUtilityForm(front::WindowSettings settings = DefaultSettings(),
                          QString remembered = {});
  // The user's settings file: veldrin-zip/veldrin-zip.conf in the configuration folder.
  static QString RememberedSettingsFile();
  ~ZipUtilityForm() override;

  front::ZipUtilityWindow& Logic() { return *logic_; }
  // Paths to open once the window has been shown (the program's arguments).
  void OpenAtStart(std::vector<std::string> paths) { start_paths_ = std::move(paths); }

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
  std::optional<std::string> SaveFileName(const front::FileDialogRequest& request) override;
  std::vector<std::string> OpenFileNames(const front::FileDialogRequest& request) override;
  std::optional<std::string> BrowseForFolder(const std::string& caption) override;
  void ProcessMessages() override;
  void OpenWebPage(const std::string& url) override;
  void OpenFolder(const std::string& folder) override;
  front::ScreenRect WindowGeometry() const override;
  void CloseWindow() override;
  void AcceptDroppedFiles() override;
  void SetWindowTitle(const std::string& title) override;
  std::optional<std::string> AskPassword(const std::string& item_name, bool again) override;
  std::optional<std::string> AskNewPassword() override;
  front::InstallPlanAnswer ShowInstallPlan(const front::InstallPlanRequest& request) override;
  std::optional<int> ShowInstalledAddons(const std::vector<std::string>& entries) override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildControls();
  void ConnectHandlers();
  QWidget* Widget(front::Control control) const;
  template <typename T>
  T* Find(const char* name) const;
  bool ListHintEvent(QEvent* event);
  void HotTrackTab(int index);
  // The remembered settings: read once the window is shown, written when it closes.
  void Recall();
  void Remember();

  std::map<front::Control, QWidget*> controls_;
  QTabWidget* pages_ = nullptr;
  QWidget* banner_ = nullptr;
  QWidget* web_icon_ = nullptr;
  QListWidget* file_list_ = nullptr;
  QMenu* list_menu_ = nullptr;
  QMenu* outline_menu_ = nullptr;
  OutlineWidget* outline_ = nullptr;
  std::map<front::Control, MeterWidget*> meters_;
  std::vector<std::string> start_paths_;
  QString remembered_;
  std::string open_folder_, save_folder_, destination_folder_;  // the dialogs' last folders
  bool shown_ = false;
  std::unique_ptr<front::ZipUtilityWindow> logic_;  // last: it uses the widgets above
};

}  // namespace vz
