// A window without a toolkit for the window's logic: a view that keeps the controls' state in
// plain members and a shell that plays back scripted answers and records every box it shows.
#pragma once

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "components/meter.h"
#include "components/zip_outline.h"
#include "front/zip_utility.h"

namespace vz::front::script {

class ScriptedView : public WindowView {
 public:
  // The window as it starts.
  std::map<Control, std::string> texts = {{Control::Label6, "File"},
                                          {Control::Label7, "Zip"},
                                          {Control::Label2, "File"},
                                          {Control::Label3, "Zip"}};
  std::map<Control, bool> ticked;
  std::map<Control, bool> disabled = {{Control::cbxFSXFolder, true}};
  int fsx_index = -1;
  std::vector<std::string> fsx_list;  // the FSX list's entries once the logic set them
  std::vector<std::string> list;
  std::vector<int> selection;
  Page page = Page::tabUnZip;
  std::array<Meter, 4> meters;  // zipItemMeter, zipFileMeter, FileZippingMeter, ArchiveZippingMeter
  ZipOutline outline;

  std::string Text(Control c) const override { return texts.contains(c) ? texts.at(c) : ""; }
  void SetText(Control c, const std::string& text) override { texts[c] = text; }
  bool Checked(Control c) const override { return ticked.contains(c) && ticked.at(c); }
  void SetChecked(Control c, bool on) override { ticked[c] = on; }
  bool Enabled(Control c) const override { return !disabled.contains(c) || !disabled.at(c); }
  void SetEnabled(Control c, bool on) override { disabled[c] = !on; }
  int ItemIndex(Control) const override { return fsx_index; }
  void SetItemIndex(Control, int index) override { fsx_index = index; }
  void SetListEntries(Control c, const std::vector<std::string>& entries) override {
    if (c == Control::cbxFSXFolder) {
      fsx_list = entries;
      return;
    }
    list = entries;
    selection.clear();
  }
  std::vector<int> SelectedEntries(Control) const override { return selection; }
  Page VisiblePage() const override { return page; }
  void ShowPage(Page p) override { page = p; }
  Meter& MeterOf(Control c) override {
    return meters[c == Control::zipItemMeter       ? 0
                  : c == Control::zipFileMeter     ? 1
                  : c == Control::FileZippingMeter ? 2
                                                   : 3];
  }
  ZipOutline& ZipViewer() override { return outline; }
};

struct ShownBox {
  std::string text;
  MessageKind kind;
  MessageButtons buttons;
  std::optional<BoxOrigin> origin;  // for a box of 200 by 100; none: centred on the screen
};

class ScriptedShell : public WindowShell {
 public:
  ZipUtilityWindow* window = nullptr;  // asked before closing, as a toolkit's window would
  std::vector<ShownBox> boxes;
  std::deque<MessageButton> answers;              // in turn; none left: the default button
  std::deque<std::optional<std::string>> chosen;  // dialog results in turn; none left: cancelled
  std::vector<std::string> dialogs;   // "title|filter|pattern|extension|folder", or a caption
  std::function<void()> on_messages;  // the user acting while messages are handled
  std::function<void()> on_box;       // ... while a box is open
  bool closed = false;
  bool drops = false;
  std::vector<std::string> pages;

  MessageButton ShowMessage(const MessageRequest& r) override {
    boxes.push_back({r.text, r.kind, r.buttons,
                     r.place ? std::optional<BoxOrigin>(r.place(200, 100)) : std::nullopt});
    if (on_box) on_box();
    if (answers.empty()) return DefaultButton(r.buttons);
    const MessageButton answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<std::string> OpenFileName(const FileDialogRequest& r) override {
    return Next(Of(r));
  }
  std::vector<std::string> OpenFileNames(const FileDialogRequest& r) override {
    dialogs.push_back(Of(r));
    if (chosen_many.empty()) return {};
    auto next = chosen_many.front();
    chosen_many.pop_front();
    return next;
  }
  std::deque<std::vector<std::string>> chosen_many;  // multi-file dialogs' results in turn
  std::optional<std::string> SaveFileName(const FileDialogRequest& r) override {
    return Next(Of(r));
  }
  std::optional<std::string> BrowseForFolder(const std::string& caption) override {
    return Next(caption);
  }
  void ProcessMessages() override {
    if (on_messages) on_messages();
  }
  void OpenWebPage(const std::string& url) override { pages.push_back(url); }
  void OpenFolder(const std::string& folder) override { folders.push_back(folder); }
  std::vector<std::string> folders;  // shown in the file manager
  ScreenRect WindowGeometry() const override { return {100, 50, 600, 535}; }
  void CloseWindow() override { closed = closed || window == nullptr || window->FormCloseQuery(); }
  void AcceptDroppedFiles() override { drops = true; }
  void SetWindowTitle(const std::string& text) override { title = text; }
  std::optional<std::string> AskPassword(const std::string& item, bool again) override {
    password_questions.push_back(item + (again ? " (again)" : ""));
    if (passwords.empty()) return std::nullopt;
    auto next = passwords.front();
    passwords.pop_front();
    return next;
  }
  std::deque<std::optional<std::string>> passwords;  // in turn; none left: cancelled
  std::optional<std::string> AskNewPassword() override {
    password_questions.push_back("new");
    if (passwords.empty()) return std::nullopt;
    auto next = passwords.front();
    passwords.pop_front();
    return next;
  }
  std::vector<std::string> password_questions;  // the item asked about, " (again)" after
                                                // a wrong one
  std::string title = "Veldrin - ZIP";
  InstallPlanAnswer ShowInstallPlan(const InstallPlanRequest& r) override {
    plans.push_back(r);
    if (plan_answers.empty()) return {};
    const InstallPlanAnswer answer = plan_answers.front();
    plan_answers.pop_front();
    return answer;
  }
  std::optional<int> ShowInstalledAddons(const std::vector<std::string>& entries) override {
    installed_lists.push_back(entries);
    if (uninstall_choices.empty()) return std::nullopt;
    const auto choice = uninstall_choices.front();
    uninstall_choices.pop_front();
    return choice;
  }

  std::vector<InstallPlanRequest> plans;       // each plan shown
  std::deque<InstallPlanAnswer> plan_answers;  // in turn; none left: cancelled
  std::vector<std::vector<std::string>> installed_lists;
  std::deque<std::optional<int>> uninstall_choices;  // in turn; none left: closed

  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const ShownBox& box : boxes) texts.push_back(box.text);
    return texts;
  }

 private:
  static std::string Of(const FileDialogRequest& r) {
    return r.title + "|" + r.filter_name + "|" + r.filter_pattern + "|" + r.default_extension +
           "|" + r.initial_folder;
  }
  std::optional<std::string> Next(const std::string& title) {
    dialogs.push_back(title);
    if (chosen.empty()) return std::nullopt;
    auto next = chosen.front();
    chosen.pop_front();
    return next;
  }
};

}  // namespace vz::front::script
