// What the window's logic sees of the window: its controls, by name, as texts, ticks, enabled
// states, a chosen item, a list with its selection, the visible page, the four meters and the
// outline. A toolkit's window implements this by mapping each name to its widget; the logic never
// learns which toolkit draws them.
//
// Rules for an implementation:
// - A change made through this interface never calls back into the logic. A toolkit that emits
//   signals on programmatic changes must block them (the logic unticks the FSX check box after
//   its warning without running the box's click handler).
// - The user's own changes reach the logic only through the handlers of ZipUtilityWindow, after
//   the widget has changed (a check box's click handler runs with its new tick).
// - The meters and the outline are models owned by the view's widgets; they must outlive the
//   logic.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vz {
class Meter;
class ZipOutline;
}  // namespace vz

namespace vz::front {

// The window's controls, named as the window names them.
enum class Control : uint8_t {
  // The "Extract Zip" page.
  Label4,          // item count of the open zip, "12 file(s)"
  edFolderPath,    // the destination folder (read-only for the user)
  btnUnZipFolder,  // the folder button beside it
  cdExtractPaths,  // "Extract & Preserve Folder Structure"
  cbUseFSXFolder,  // "Extract to Specific FSX Folder:"
  cbxFSXFolder,    // the thirteen FSX folders
  btnOpenZip,      // "Open"
  btnUnZip,        // "UnZip"
  Label6,          // under the item meter: "File" or a percentage
  Label7,          // under the archive meter: "Zip" or a percentage
  zipItemMeter,    // the current item's progress
  zipFileMeter,    // the whole zip's progress
  // The "Create Zip" page.
  FilesLabel,           // "3 file(s) - 12 Kb"
  ZipFileList,          // the files to zip, sorted, several selectable
  edZipComment,         // "Zip Comments:"
  cbAddComments,        // "Add Comments to Zip"
  cbIncludePaths,       // "Include Relative Folder Paths"
  cbEncryptAes,         // "Encrypt with AES-256": a password is asked for when saving
  btnZip,               // "Zip"
  btnClearList,         // "Clear"
  Label2,               // under the item meter
  Label3,               // under the archive meter
  FileZippingMeter,     // the current file's progress
  ArchiveZippingMeter,  // the whole zip's progress
  // The window.
  StatusText,  // the status bar's second panel: "Extracting: ..." or "Compressing: ..."
  btnExit,     // "Exit"
};

// The outline popup menu's "Names" choices: what a face shows, and the iconv name ("" for the
// usual rule: UTF-8 when a name says so, code page 437 for DOS and Windows, bytes otherwise).
struct NameCharsetChoice {
  const char* caption;
  const char* charset;
};
inline constexpr NameCharsetChoice kNameCharsets[] = {
    {"&Automatic", ""},
    {"Cyrillic, DOS (CP866)", "CP866"},
    {"Cyrillic, Unix (KOI8-R)", "KOI8-R"},
    {"Cyrillic, Windows (CP1251)", "CP1251"},
    {"Central European, Windows (CP1250)", "CP1250"},
    {"Western, Windows (CP1252)", "CP1252"},
    {"Greek, DOS (CP737)", "CP737"},
    {"Japanese (CP932)", "CP932"},
    {"Chinese, simplified (GBK)", "GBK"},
    {"Korean (CP949)", "CP949"},
};

// The pages of the page control.
enum class Page : uint8_t { tabUnZip, tabZip };

class WindowView {
 public:
  virtual ~WindowView() = default;

  // Labels, edits and the status panel.
  virtual std::string Text(Control control) const = 0;
  virtual void SetText(Control control, const std::string& text) = 0;
  // Check boxes.
  virtual bool Checked(Control control) const = 0;
  virtual void SetChecked(Control control, bool checked) = 0;
  // Any control; a disabled one is greyed and takes no input.
  virtual bool Enabled(Control control) const = 0;
  virtual void SetEnabled(Control control, bool enabled) = 0;
  // The chosen item of a drop-down list (cbxFSXFolder); -1: none, which shows no text.
  virtual int ItemIndex(Control control) const = 0;
  virtual void SetItemIndex(Control control, int index) = 0;
  // The entries of a list (ZipFileList), in the order given; setting them clears the selection.
  virtual void SetListEntries(Control control, const std::vector<std::string>& entries) = 0;
  // Indexes of the selected entries, in any order.
  virtual std::vector<int> SelectedEntries(Control control) const = 0;

  virtual Page VisiblePage() const = 0;
  virtual void ShowPage(Page page) = 0;

  // The models of the four meters and of the outline ZipViewer.
  virtual Meter& MeterOf(Control meter) = 0;
  virtual ZipOutline& ZipViewer() = 0;
};

}  // namespace vz::front
