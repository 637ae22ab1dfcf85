// The window as a user meets it, on Qt's offscreen platform: every control found by its object
// name with its place, caption, hint and state (one table, from the window's design), resizing,
// tab order, drops on each page, both workflows through the buttons with the dialogs answered as
// a user would, the message boxes' rules, the file list's hints, and Escape. Zips are made and
// read by Info-ZIP's zip and Python's zipfile as oracles.
#include "app/zip_utility_form.h"
#include "app/outline_widget.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <thread>

#include "components/zip_outline.h"
#include "components/zipper.h"
#include "form_test_support.h"
#include "test_support.h"
#include "zip_builder.h"

namespace vz {
namespace {

using namespace form_test;

namespace fs = std::filesystem;
using front::Control;
using vz::testing::ScratchDir;

enum State : unsigned { kOn = 1, kOff = 2, kCreatePage = 4 };  // kOff: disabled
constexpr unsigned L = 1, T = 2, R = 4, B = 8;                 // anchors

// The window's design: name, place and size in the parent at 96 dpi (a width of 0: sized to its
// text, at least the given height as smallest width), anchors, caption, hint, starting state.
struct Designed {
  const char* name;
  QRect rect;
  unsigned anchors;
  const char* caption;
  const char* hint;
  unsigned state = kOn;
};

const Designed kDesign[] = {
    {"imgBan", {0, 0, 592, 50}, L | T | R, "", "Visit Veldrin Website"},
    {"imgWeb", {550, 8, 32, 32}, R, "", "Visit Veldrin Website"},
    {"pcZip", {7, 56, 578, 389}, L | T | R | B, "", ""},
    {"btnExit", {489, 448, 95, 26}, R | B, "Exit", ""},
    {"StatusBar", {0, 479, 592, 22}, L | R | B, "", ""},
    {"Label1", {18, 8, 0, 0}, L | T, "Zip File Contents:", ""},
    {"Label4", {109, 8, 0, 50}, L | T, "0 file(s)", ""},
    {"Label5", {324, 8, 0, 0}, T | R, "Drag & Drop Enabled", ""},
    {"pnlZipViewer", {18, 25, 405, 255}, L | T | R | B, "", ""},
    {"ZipViewer",
     {0, 0, 405, 255},
     L | T | R | B,
     "",
     "This box displays the Zip contents including any folder path structure (if present)"},
    {"btnOpenZip", {441, 23, 110, 26}, T | R, "Open", "Open Zip File"},
    {"btnUnZip", {441, 59, 110, 26}, T | R, "UnZip", "Unzip the files"},
    {"GroupBox1", {440, 99, 113, 179}, T | R, "Progress:", ""},
    {"zipItemMeter",
     {29, 24, 14, 125},
     L | T,
     "",
     "Current progress of the file being extracted from the Zip"},
    {"zipFileMeter",
     {71, 24, 14, 125},
     L | T,
     "",
     "Current progress of the extraction of the Zip archive as a whole"},
    {"Label6", {29, 151, 0, 0}, L | T, "File", ""},
    {"Label7", {70, 151, 0, 0}, L | T, "Zip", ""},
    {"edFolderPath",
     {18, 300, 503, 21},
     L | R | B,
     "",
     "This is the folder you have selected to unzip the files to"},
    {"btnUnZipFolder",
     {526, 299, 26, 22},
     R | B,
     "",
     "Select the destination folder for the Zipped files"},
    {"cdExtractPaths",
     {18, 334, 194, 17},
     R | B,
     "Extract & Preserve Folder Structure",
     "Select this option to unzip while preserving the folder structure if present"},
    {"cbUseFSXFolder",
     {221, 334, 167, 17},
     R | B,
     "Extract to Specific FSX Folder:",
     "Select this option to unzip to a specified FSX folder (select from list)"},
    {"cbxFSXFolder",
     {389, 331, 163, 21},
     R | B,
     "",
     "Select the folder to which you want to extract this Zip",
     kOff},
    {"lbSubject", {18, 8, 0, 0}, L | T, "Drag & Drop Files here:", "", kCreatePage},
    {"FilesLabel", {138, 8, 0, 50}, L | T, "0 file(s) - 0 Kb", "", kCreatePage},
    {"ZipFileList", {18, 25, 405, 255}, L | T | R | B, "", "", kCreatePage},
    {"btnZip", {441, 23, 110, 26}, T | R, "Zip", "Create the Zip file", kCreatePage},
    {"btnClearList",
     {441, 59, 110, 26},
     T | R,
     "Clear",
     "Clear all the files from the list ",
     kCreatePage},
    {"GroupBox2", {440, 99, 113, 179}, T | R, "Progress:", "", kCreatePage},
    {"FileZippingMeter",
     {29, 24, 14, 125},
     L | T,
     "",
     "Current progress of the file being added to the Zip",
     kCreatePage},
    {"ArchiveZippingMeter",
     {71, 24, 14, 125},
     L | T,
     "",
     "Current progress of the archive creation as a whole",
     kCreatePage},
    {"Label2", {29, 151, 0, 0}, L | T, "File", "", kCreatePage},
    {"Label3", {70, 151, 0, 0}, L | T, "Zip", "", kCreatePage},
    {"edZipComment",
     {18, 300, 535, 21},
     L | R | B,
     "",
     "Text entered here will be added to the comments field of the Zip archive",
     kCreatePage},
    {"cbAddComments",
     {18, 334, 124, 17},
     L | R | B,
     "Add Comments to Zip",
     "Select this item to add the above comments to the Zip file",
     kCreatePage},
    {"cbIncludePaths",
     {147, 334, 162, 17},
     L | R | B,
     "Include Relative Folder Paths",
     "Select this option to preserve the folder structure of the added files",
     kCreatePage},
    {"cbEncryptAes",
     {318, 334, 140, 17},
     L | R | B,
     "Encrypt with AES-256",
     "Select this option to protect the Zip with a password (AES-256 encryption)",
     kCreatePage},
};

// A caption as the user reads it: a button's access key marker gone.
QString CaptionOf(QWidget* w) {
  if (auto* label = qobject_cast<QLabel*>(w)) return label->text();
  if (auto* button = qobject_cast<QAbstractButton*>(w)) {
    QString read;
    const QString text = button->text();
    for (qsizetype i = 0; i < text.size(); ++i) read += text[text[i] == '&' ? ++i : i];
    return read;
  }
  if (auto* group = qobject_cast<QGroupBox*>(w)) return group->title();
  if (auto* edit = qobject_cast<QLineEdit*>(w)) return edit->text();
  return {};
}

// Keeps the distance to each anchored edge; unanchored on an axis, moves by half the change.
QRect Anchored(QRect r, unsigned anchors, QSize grown) {
  auto axis = [](int& start, int& extent, bool near, bool far, int delta) {
    if (near && far) extent += delta;
    if (far && !near) start += delta;
    if (!near && !far) start += delta / 2;
  };
  int x = r.x(), y = r.y(), w = r.width(), h = r.height();
  axis(x, w, anchors & L, anchors & R, grown.width());
  axis(y, h, anchors & T, anchors & B, grown.height());
  return {x, y, w, h};
}

// A window whose web browser is a list, over a Wine prefix with FSX installed.

TEST_F(FormTest, EveryControlStartsAsDesignedAndKeepsItsAnchoredEdges) {
  EXPECT_EQ(form->objectName(), "frmZipUtility");
  EXPECT_EQ(form->windowTitle(), "Veldrin - ZIP");
  EXPECT_EQ(form->size(), QSize(592, 501));
  auto* pages = Get<QTabWidget>("pcZip");
  ASSERT_EQ(pages->count(), 2);
  EXPECT_EQ(pages->currentWidget()->objectName(), "tabUnZip");
  EXPECT_EQ(pages->tabText(0), "Extract Zip");
  EXPECT_EQ(pages->widget(1)->objectName(), "tabZip");
  EXPECT_EQ(pages->tabText(1), "Create Zip");
  auto* fsx = Get<QComboBox>("cbxFSXFolder");
  EXPECT_EQ(fsx->count(), 13);
  EXPECT_EQ(fsx->currentIndex(), -1);
  EXPECT_EQ(fsx->maxVisibleItems(), 20);
  EXPECT_EQ(Get<QLabel>("StatusText")->text(), "");
  EXPECT_EQ(Get<QLabel>("StatusPanel1")->width(), 175);
  EXPECT_TRUE(Get<QLineEdit>("edFolderPath")->isReadOnly());
  auto* list = Get<QListWidget>("ZipFileList");
  EXPECT_EQ(list->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(list->contextMenuPolicy(), Qt::CustomContextMenu);
  EXPECT_EQ(Get<QMenu>("ZipListMenu")->actions().value(0)->text(), "Delete Selected Item(s)");

  // A page lays out its controls when it is first shown.
  auto visit = [&](const Designed& d) {
    pages->setCurrentIndex((d.state & kCreatePage) != 0 ? 1 : 0);
    QTest::qWait(1);
  };
  for (const Designed& d : kDesign) {
    EXPECT_EQ(Get(d.name)->isVisibleTo(form.get()), (d.state & kCreatePage) == 0) << d.name;
  }
  std::map<std::string, std::pair<QRect, QSize>> before;  // geometry, parent's size
  for (const Designed& d : kDesign) {
    SCOPED_TRACE(d.name);
    visit(d);
    QWidget* w = Get(d.name);
    ASSERT_NE(w, nullptr);
    if (d.rect.width() == 0) {
      EXPECT_EQ(w->pos(), d.rect.topLeft());
      EXPECT_GE(w->width(), d.rect.height());
    } else {
      EXPECT_EQ(w->geometry(), d.rect);
    }
    EXPECT_EQ(CaptionOf(w), d.caption);
    EXPECT_EQ(w->toolTip(), d.hint);
    EXPECT_EQ(w->isEnabled(), (d.state & kOff) == 0);
    if (auto* box = qobject_cast<QCheckBox*>(w)) {
      EXPECT_FALSE(box->isChecked());
    }
    before[d.name] = {w->geometry(), w->parentWidget()->size()};
  }

  form->resize(800, 700);
  QTest::qWait(20);
  for (const Designed& d : kDesign) {
    SCOPED_TRACE(d.name);
    visit(d);
    QWidget* w = Get(d.name);
    const auto& [rect, parent] = before[d.name];
    EXPECT_EQ(w->geometry(), Anchored(rect, d.anchors, w->parentWidget()->size() - parent));
  }
  // The Exit button keeps its corner; nothing below the smallest size.
  EXPECT_EQ(Get("btnExit")->geometry().bottomRight(), QPoint(800 - 9, 700 - 28));
  form->resize(100, 100);
  QTest::qWait(20);
  EXPECT_EQ(form->size(), QSize(592, 496));
}

TEST_F(FormTest, TabWalksThePagesControlsInTheDesignedOrder) {
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  auto walk = [&] {
    Get<QTabWidget>("pcZip")->tabBar()->setFocus();
    std::vector<std::string> names;
    for (int i = 0; i < 12; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      QWidget* at = QApplication::focusWidget();
      if (qobject_cast<QTabBar*>(at) != nullptr) break;
      names.push_back(at->objectName().toStdString());
    }
    return names;
  };
  using Names = std::vector<std::string>;
  EXPECT_EQ(walk(), (Names{"cdExtractPaths", "cbUseFSXFolder", "edFolderPath", "ZipViewer",
                           "btnOpenZip", "btnUnZip", "btnUnZipFolder", "btnExit"}));
  Get<QTabWidget>("pcZip")->setCurrentIndex(1);
  EXPECT_EQ(walk(), (Names{"edZipComment", "cbAddComments", "cbIncludePaths", "cbEncryptAes",
                           "ZipFileList", "btnZip", "btnClearList", "btnExit"}));
}

// Every button and check box has an access key of its own on its page, which acts as a click;
// "Stop" gets one too. Enter on the outline opens the selected row: a file shows its attributes.
TEST_F(FormTest, AccessKeysAndEnterReachTheControls) {
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  for (int page : {0, 1}) {
    Get<QTabWidget>("pcZip")->setCurrentIndex(page);
    QTest::qWait(1);
    std::set<QString> keys;
    for (auto* button : form->findChildren<QAbstractButton*>()) {
      if (!button->isVisible() || button->objectName().isEmpty()) continue;
      EXPECT_FALSE(button->shortcut().isEmpty()) << button->objectName().toStdString();
      EXPECT_TRUE(keys.insert(button->shortcut().toString()).second)
          << button->objectName().toStdString() << " "
          << button->shortcut().toString().toStdString();
    }
  }
  auto* paths = Get<QCheckBox>("cbIncludePaths");
  QTest::keyClick(form->windowHandle(), Qt::Key_I, Qt::AltModifier);  // as the desktop sends it
  EXPECT_TRUE(WaitFor([&] { return paths->isChecked(); }));           // a click shown pressed first
  form->SetText(front::Control::btnZip, "Stop");
  EXPECT_EQ(Get<QPushButton>("btnZip")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_S));
  EXPECT_EQ(form->Text(front::Control::btnZip), "Stop");
  form->SetText(front::Control::btnZip, "Zip");
  EXPECT_EQ(Get<QPushButton>("btnZip")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Z));

  Get<QTabWidget>("pcZip")->setCurrentIndex(0);
  vz::testing::WriteFile(dir / "a.txt", "a");
  {
    Zipper zipper;
    zipper.EditSettings([&](ComponentSettings& s) { s.SetBaseDirectory(dir.path().string()); });
    zipper.SetFileName(dir / "one.zip");
    zipper.AddFiles("a.txt", 0);
    zipper.Save();
  }
  Drop(Get("ZipViewer"), {dir / "one.zip"});
  auto* outline = Get<OutlineWidget>("ZipViewer");
  outline->setFocus();
  const QModelIndex file = outline->model()->index(0, 0);
  ASSERT_EQ(file.data().toString(), "a.txt");
  outline->setCurrentIndex(file);
  QTest::keyClick(outline, Qt::Key_Return);
  EXPECT_TRUE(outline->isExpanded(file));
  EXPECT_EQ(outline->model()->index(0, 0, file).data().toString(), "Compressed Size: 1");
  QTest::keyClick(outline, Qt::Key_Enter);
  EXPECT_FALSE(outline->isExpanded(file));
}

TEST_F(FormTest, DropsOnEitherPageReachTheirWorkflows) {
  if (!vz::testing::HaveTool("zip")) GTEST_SKIP() << "zip is not installed";
  fs::create_directories(dir.path() / "src/docs");
  vz::testing::WriteFile(dir / "src/a.txt", std::string(1500, 'a'));
  vz::testing::WriteFile(dir / "src/docs/b.txt", std::string(1500, 'b'));
  ASSERT_EQ(std::system(("cd " + dir / "src" + " && zip -qr ../ADDON.ZIP a.txt docs").c_str()), 0);

  // On the Extract page, a zip (in capitals) dropped on the outline opens there.
  Drop(Get("ZipViewer")->findChild<QWidget*>("qt_scrollarea_viewport"), {dir / "ADDON.ZIP"});
  EXPECT_EQ(Get<QLabel>("Label4")->text(), "3 file(s)");
  EXPECT_EQ(form->Logic().CurrentZipFile(), dir / "ADDON.ZIP");

  // On the Create page, files dropped anywhere fill the list and the summary; a folder is told.
  Get<QTabWidget>("pcZip")->setCurrentIndex(1);
  SeenBox folders;
  Modals modals({Box(&folders, "OK")});
  Drop(Get("edZipComment"), {dir / "src/docs/b.txt", dir / "src/a.txt", dir / "src/docs"});
  ASSERT_TRUE(WaitFor([&] { return modals.Done(); }));
  EXPECT_EQ(folders.text.substr(0, 53), "Please note: [1] of the items dropped were folders.\n\n");
  auto* list = Get<QListWidget>("ZipFileList");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text().toStdString(), dir / "src/a.txt");
  EXPECT_EQ(Get<QLabel>("FilesLabel")->text(), "2 file(s) - 3 Kb");  // 3,000 bytes, rounded up
  EXPECT_EQ(Get<QLineEdit>("edZipComment")->text(), "");  // the drop was no text to paste

  // The hint of an entry is its full text over the entry; below the last entry there is none.
  QWidget* viewport = list->viewport();
  const QRect second = list->visualRect(list->model()->index(1, 0));
  QHelpEvent over(QEvent::ToolTip, second.center(), viewport->mapToGlobal(second.center()));
  QApplication::sendEvent(viewport, &over);
  EXPECT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text().toStdString(), dir / "src/docs/b.txt");
  int tips = 0;
  for (QWidget* tip : QApplication::topLevelWidgets()) {
    if (tip->objectName() != "qtooltip_label" || !tip->isVisible()) continue;
    ++tips;
    EXPECT_EQ(tip->pos(), viewport->mapToGlobal(second.topLeft()));
  }
  EXPECT_EQ(tips, 1);
  QHelpEvent below(QEvent::ToolTip, QPoint(5, 200), viewport->mapToGlobal(QPoint(5, 200)));
  QApplication::sendEvent(viewport, &below);
  EXPECT_TRUE(WaitFor([] { return !QToolTip::isVisible(); }, 1000));

  // The popup menu and the Delete key remove the selected entries.
  list->item(0)->setSelected(true);
  Get<QMenu>("ZipListMenu")->actions().value(0)->trigger();
  ASSERT_EQ(list->count(), 1);
  EXPECT_EQ(Get<QLabel>("FilesLabel")->text(), "1 file(s) - 2 Kb");
  list->item(0)->setSelected(true);
  QTest::keyClick(list, Qt::Key_Delete);
  EXPECT_EQ(list->count(), 0);
}

TEST_F(FormTest, ExtractsAndCreatesThroughTheButtonsAndDialogs) {
  if (!vz::testing::HaveTool("zip") || !vz::testing::HaveTool("python3")) GTEST_SKIP();
  const std::map<std::string, std::string> files = {
      {"readme.txt", "Read me first.\n"},
      {"SimObjects/Airplanes/Cub/aircraft.cfg", "[fltsim.0]\ntitle=Cub\n"},
      {"SimObjects/Airplanes/Cub/model/cub.mdl", std::string(70000, 'm') + "end"}};
  for (const auto& [name, text] : files) {
    fs::create_directories((dir.path() / "src" / name).parent_path());
    vz::testing::WriteFile(dir / ("src/" + name), text);
  }
  ASSERT_EQ(
      std::system(("cd " + dir / "src" + " && zip -qr ../Cub.ZIP readme.txt SimObjects").c_str()),
      0);
  vz::testing::WriteFile(dir / "notes.txt", "");

  // Open: the dialog offers zips whatever their letter case.
  std::string title;
  bool only_zips = false;
  Modals open({Dialog(dir / "Cub.ZIP", &title, [&](QFileDialog* d) {
    d->setDirectory(QString::fromStdString(dir.path().string()));
    auto* view = d->findChild<QListView*>("listView");
    auto shown = [&] {
      QStringList names;
      for (int r = 0; r < view->model()->rowCount(view->rootIndex()); ++r) {
        names << view->model()->index(r, 0, view->rootIndex()).data().toString();
      }
      return names;
    };
    WaitFor([&] { return shown().contains("Cub.ZIP"); }, 3000);
    only_zips = shown().contains("Cub.ZIP") && !shown().contains("notes.txt");
  })});
  Click("btnOpenZip");
  ASSERT_TRUE(WaitFor([&] { return open.Done(); }));
  EXPECT_EQ(title, "Select a Zip file");
  EXPECT_TRUE(only_zips);
  QTest::qWait(20);
  EXPECT_EQ(Get<QLabel>("Label4")->text(), "7 file(s)");  // with the 3 folder entries

  // An add-on with FSX found: its own folders are chosen at first. Unticking the FSX mode
  // leaves no destination.
  EXPECT_EQ(Get<QComboBox>("cbxFSXFolder")->currentIndex(), 0);
  QTest::mouseClick(Get("cbUseFSXFolder"), Qt::LeftButton, {}, QPoint(4, 8));
  EXPECT_EQ(Get<QLineEdit>("edFolderPath")->text().toStdString(), "");

  // UnZip with no destination asks for a folder, then extracts with the folders kept.
  QTest::mouseClick(Get("cdExtractPaths"), Qt::LeftButton, {}, QPoint(4, 8));
  fs::create_directories(dir.path() / "out");
  SeenBox done;
  Modals unzip({Dialog(dir / "out", &title), Box(&done, "OK")});
  Click("btnUnZip");
  ASSERT_TRUE(WaitFor([&] { return unzip.Done(); }));
  EXPECT_EQ(title, "Select the destination folder...");
  EXPECT_EQ(done.text.rfind("Zip contents extracted to this location:\n\n" +
                                dir / "out\n\n3 file(s) written, 0 skipped, 0 failed.",
                            0),
            0u)
      << done.text;
  EXPECT_EQ(done.buttons, (std::vector<std::string>{"Open &Folder", "OK"}));
  EXPECT_EQ(Get<QLineEdit>("edFolderPath")->text().toStdString(), dir / "out");
  for (const auto& [name, text] : files) {
    const auto bytes = vz::testing::ReadFile(dir / ("out/" + name));
    EXPECT_TRUE(std::string(bytes.begin(), bytes.end()) == text) << name;
  }

  // Create: the files dropped on the Create page, a comment typed, saved under a name without
  // an extension.
  Get<QTabWidget>("pcZip")->setCurrentIndex(1);
  Drop(Get("ZipFileList"),
       {dir / "src/readme.txt", dir / "src/SimObjects/Airplanes/Cub/aircraft.cfg"});
  QTest::keyClicks(Get("edZipComment"), "Cub");
  EXPECT_TRUE(Get<QCheckBox>("cbAddComments")->isChecked());
  SeenBox saved;
  Modals save({Dialog(dir / "made", &title), Box(&saved, "OK")});
  Click("btnZip");
  ASSERT_TRUE(WaitFor([&] { return save.Done(); }));
  EXPECT_EQ(title, "Save your zip file");
  EXPECT_EQ(saved.text, "Zip file saved as:\n\n" + dir / "made.zip");
  EXPECT_EQ(Output("python3 -c \"import zipfile; z=zipfile.ZipFile('" + dir / "made.zip" +
                   "'); print(z.comment.decode(), sorted(z.namelist()), z.testzip())\""),
            "Cub ['aircraft.cfg', 'readme.txt'] None\n");
}

TEST_F(FormTest, MessageBoxesFollowTheWindowsRulesAndStayCentredOnIt) {
  struct Case {
    front::MessageKind kind;
    front::MessageButtons buttons;
    std::string title;
    std::vector<std::string> order;
    std::string enter, escape;
  };
  const Case cases[] = {
      {front::MessageKind::kConfirmation,
       front::mbYes | front::mbNo | front::mbAll,
       "Confirm",
       {"&Yes", "&No", "Yes to &All"},
       "&Yes",
       "&No"},
      {front::MessageKind::kConfirmation,
       front::mbOK | front::mbCancel,
       "Confirm",
       {"OK", "Cancel"},
       "OK",
       "Cancel"},
      {front::MessageKind::kInformation,
       front::mbYes | front::mbCancel,
       "Information",
       {"&Yes", "Cancel"},
       "&Yes",
       "Cancel"},
      {front::MessageKind::kError, front::mbOK, "Veldrin Zip", {"OK"}, "OK", "OK"},
  };
  form->move(-300, -200);  // partly off the screen: the box follows the window, not the screen
  QTest::qWait(20);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    for (const bool title_bar : {false, true}) {
      SeenBox seen;
      Modals answer({title_bar ? Box(&seen, "close") : Box(&seen, "", Qt::Key_Escape)});
      const front::MessageButton pressed =
          form->Logic().ShowMessageCentered("One\r\nTwo", c.kind, c.buttons);
      EXPECT_EQ(seen.title, c.title);
      EXPECT_EQ(seen.text, "One\nTwo");
      EXPECT_EQ(seen.buttons, c.order);
      EXPECT_EQ(seen.enter, c.enter);
      EXPECT_EQ(seen.escape, c.escape);
      EXPECT_EQ(front::ButtonCaption(pressed), c.escape);
      const QPoint centre = form->frameGeometry().center(), box = seen.frame.center();
      EXPECT_LE((centre - box).manhattanLength(), 2) << centre.x() << "," << centre.y();
    }
  }
}

TEST_F(FormTest, EscapeClosesTheWindowFromAnyControlButAnswersAnOpenBoxFirst) {
  Get<QTabWidget>("pcZip")->setCurrentIndex(1);
  QWidget* list = Get("ZipFileList");
  QTest::keyClick(Get("edZipComment"), Qt::Key_Escape);
  EXPECT_FALSE(form->isVisible());

  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  vz::testing::WriteFile(dir / "kept.txt", "k");
  Drop(list, {dir / "kept.txt"});
  SeenBox question;
  Modals modals({Box(&question, "", Qt::Key_Escape)});
  Click("btnClearList");
  ASSERT_TRUE(modals.Done());
  EXPECT_EQ(question.text, "Clear the list of files?");
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(Get<QListWidget>("ZipFileList")->count(), 1);
  QTest::keyClick(list, Qt::Key_Escape);
  EXPECT_FALSE(form->isVisible());
}

TEST_F(FormTest, TheBannerTheFsxListAndTheTabsAnswerTheUser) {
  QTest::mouseClick(Get("imgBan"), Qt::LeftButton, {}, QPoint(100, 20));
  QTest::mouseClick(Get("imgWeb"), Qt::LeftButton);
  EXPECT_EQ(form->pages, (std::vector<std::string>(2, "https://veldrin.example/?=VeldrinZip")));

  QTest::mouseClick(Get("cbUseFSXFolder"), Qt::LeftButton, {}, QPoint(4, 8));
  auto* fsx = Get<QComboBox>("cbxFSXFolder");
  EXPECT_TRUE(fsx->isEnabled());
  EXPECT_FALSE(Get("btnUnZipFolder")->isEnabled());
  fsx->setCurrentIndex(2);
  emit fsx->activated(2);
  EXPECT_EQ(Get<QLineEdit>("edFolderPath")->text().toStdString(),
            dir / "prefix/drive_c/FSX/SimObjects/Airplanes");

  QTabBar* tabs = Get<QTabWidget>("pcZip")->tabBar();
  const QPoint over = tabs->tabRect(1).center();
  QMouseEvent move(QEvent::MouseMove, over, tabs->mapToGlobal(over), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(tabs, &move);
  EXPECT_EQ(tabs->tabTextColor(1), QColor(Qt::blue));
  EXPECT_FALSE(tabs->tabTextColor(0).isValid());
}

// The window remembers its check boxes, the FSX folder chosen, its size and its dialogs' folders
// between two starts; the first start keeps the design's state.
TEST_F(FormTest, SettingsAreKeptAcrossTwoStarts) {
  const QString file = QString::fromStdString(dir / "config/veldrin-zip.conf");
  form.reset();
  const front::WindowSettings fsx_found{{dir / "prefix", dir.path().string()}, dir.path().string()};
  auto first = std::make_unique<Form>(fsx_found, file);
  first->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(first.get()));
  QTest::qWait(20);
  EXPECT_FALSE(first->findChild<QCheckBox*>("cdExtractPaths")->isChecked());  // as designed
  first->findChild<QCheckBox*>("cdExtractPaths")->setChecked(true);
  first->findChild<QCheckBox*>("cbIncludePaths")->setChecked(true);
  QTest::mouseClick(first->findChild<QCheckBox*>("cbUseFSXFolder"), Qt::LeftButton, {},
                    QPoint(4, 8));
  auto* fsx = first->findChild<QComboBox*>("cbxFSXFolder");
  fsx->setCurrentIndex(10);
  emit fsx->activated(10);
  // Names in KOI8-R: the open zip is shown again with them read so.
  {
    testing::ZipEntry e;
    e.name = "\xf0\xd2\xc9\xd7\xc5\xd4";  // "Привет" in KOI8-R, made on Unix
    e.data = testing::Bytes("1");
    e.version_made = 0x0314;
    testing::ZipBuilder b;
    b.entries = {e};
    vz::testing::WriteFile(dir / "k.zip", b.Build());
  }
  Drop(first->findChild<QWidget*>("ZipViewer"), {dir / "k.zip"});
  auto* outline = first->findChild<QTreeView*>("ZipViewer");
  EXPECT_EQ(outline->model()->index(0, 0).data().toString().toStdString(),
            "\\xF0\\xD2\\xC9\\xD7\\xC5\\xD4");
  first->findChild<QAction*>("mnuNames_KOI8-R")->trigger();
  EXPECT_EQ(outline->model()->index(0, 0).data().toString(), QString::fromUtf8("Привет"));
  first->resize(700, 560);
  first->close();
  first.reset();

  Form second(fsx_found, file);
  second.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&second));
  QTest::qWait(50);
  EXPECT_TRUE(second.findChild<QCheckBox*>("cdExtractPaths")->isChecked());
  EXPECT_TRUE(second.findChild<QCheckBox*>("cbIncludePaths")->isChecked());
  EXPECT_FALSE(second.findChild<QCheckBox*>("cbAddComments")->isChecked());
  EXPECT_TRUE(second.findChild<QCheckBox*>("cbUseFSXFolder")->isChecked());
  EXPECT_EQ(second.findChild<QComboBox*>("cbxFSXFolder")->currentIndex(), 10);
  EXPECT_EQ(second.findChild<QLineEdit*>("edFolderPath")->text().toStdString(),
            dir / "prefix/drive_c/FSX/Gauges");
  EXPECT_EQ(second.size(), QSize(700, 560));
  EXPECT_TRUE(second.findChild<QAction*>("mnuNames_KOI8-R")->isChecked());
}

// A zip made on the Create page with "Encrypt with AES-256" (its password typed twice) is AES to
// Python's reader; opened again, it asks for the password in a masked field naming the item:
// right at once, wrong then right, or cancelled (the notice, and nothing extracted).
TEST_F(FormTest, PasswordsAreChosenAndAskedFor) {
  if (!vz::testing::HaveTool("python3")) GTEST_SKIP();
  vz::testing::WriteFile(dir / "e.txt", "secret data");
  Get<QTabWidget>("pcZip")->setCurrentIndex(1);
  Drop(Get("ZipFileList"), {dir / "e.txt"});
  QTest::mouseClick(Get("cbEncryptAes"), Qt::LeftButton, {}, QPoint(4, 8));
  bool offered_early = true;
  Modals save({Dialog(dir / "locked.zip"),
               [&](QWidget* w) {
                 auto* first = w->findChild<QLineEdit*>("edNewPassword");
                 auto* again = w->findChild<QLineEdit*>("edConfirmPassword");
                 ASSERT_TRUE(first != nullptr && again != nullptr);
                 EXPECT_EQ(first->echoMode(), QLineEdit::Password);
                 auto* buttons = w->findChild<QDialogButtonBox*>();
                 QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
                 QTest::keyClicks(first, "secret");
                 QTest::keyClicks(again, "secre");
                 offered_early = ok->isEnabled();
                 QTest::keyClicks(again, "t");
                 ok->click();
               },
               Box(nullptr, "OK")});
  Click("btnZip");
  ASSERT_TRUE(WaitFor([&] { return save.Done(); }));
  EXPECT_FALSE(offered_early);
  EXPECT_EQ(Output("python3 -c \"import zipfile; i=zipfile.ZipFile('" + dir / "locked.zip" +
                   "').infolist()[0]; print(i.filename, i.compress_type, i.flag_bits & 1)\""),
            "e.txt 99 1\n");

  Get<QTabWidget>("pcZip")->setCurrentIndex(0);
  struct Case {
    std::vector<std::string> answers;  // "" cancels
    std::vector<std::string> labels;
    std::string ending;  // the first line of the last box
    bool extracted;
  } cases[] = {
      {{"secret"}, {"Enter the password of:\ne.txt"}, "Zip contents extracted", true},
      {{"wrong", "secret"},
       {"Enter the password of:\ne.txt", "The password was wrong. Enter the password of:\ne.txt"},
       "Zip contents extracted",
       true},
      {{""}, {"Enter the password of:\ne.txt"}, "UnZip Complete. One or more files", false},
  };
  for (const Case& c : cases) {
    const fs::path out = dir.path() / ("out" + std::to_string(c.answers.size()) + c.answers[0]);
    fs::create_directories(out);
    Drop(Get("ZipViewer"), {dir / "locked.zip"});
    std::vector<std::string> labels;
    bool masked = true;
    Modals folder({Dialog(out.string())});
    Click("btnUnZipFolder");
    ASSERT_TRUE(WaitFor([&] { return folder.Done(); }));
    std::deque<Modals::Step> steps;
    for (const std::string& answer : c.answers) {
      steps.push_back([&, answer](QWidget* w) {
        auto* dialog = qobject_cast<QInputDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        labels.push_back(dialog->labelText().toStdString());
        masked = masked && dialog->textEchoMode() == QLineEdit::Password;
        if (answer.empty()) return dialog->reject();
        dialog->setTextValue(QString::fromStdString(answer));
        dialog->accept();
      });
    }
    if (!c.extracted) steps.push_back(Box(nullptr, "OK"));  // the notice
    SeenBox done;
    steps.push_back(Box(&done, "OK"));
    Modals modals(std::move(steps));
    Click("btnUnZip");
    ASSERT_TRUE(WaitFor([&] { return modals.Done(); }));
    EXPECT_EQ(labels, c.labels);
    EXPECT_TRUE(masked);
    EXPECT_EQ(done.text.rfind(c.ending, 0), 0u) << done.text;
    EXPECT_EQ(fs::exists(out / "e.txt"), c.extracted);
    if (c.extracted) {
      EXPECT_EQ(vz::testing::ReadFile((out / "e.txt").string()),
                vz::testing::ReadFile(dir / "e.txt"));
    }
  }
}

// "Add Folder..." of the file list's popup menu lists the files below the folder chosen.
TEST_F(FormTest, AddFolderListsTheFilesBelowIt) {
  fs::create_directories(dir.path() / "src/sub");
  vz::testing::WriteFile(dir / "src/a.txt", "a");
  vz::testing::WriteFile(dir / "src/sub/b.txt", "b");
  Get<QTabWidget>("pcZip")->setCurrentIndex(1);
  std::string title;
  Modals modals({Dialog(dir / "src", &title)});
  form->findChild<QAction*>("mnuAddFolder")->trigger();
  ASSERT_TRUE(WaitFor([&] { return modals.Done(); }));
  EXPECT_EQ(title, "Select a folder to add...");
  auto* list = Get<QListWidget>("ZipFileList");
  ASSERT_EQ(list->count(), 2);
  EXPECT_EQ(list->item(0)->text().toStdString(), dir / "src/a.txt");
}

// What new users ran into, tried again through the real controls: each case acts on a fresh
// window and answers its boxes; the boxes' first lines (and icons) and what is left are checked.
TEST_F(FormTest, WhatNewUsersRanIntoIsMended) {
  if (!vz::testing::HaveTool("zip") || !vz::testing::HaveTool("python3")) GTEST_SKIP();
  fs::create_directories(dir.path() / "src/aircraft/SimObjects");
  vz::testing::WriteFile(dir / "src/aircraft/SimObjects/x.cfg", "[fltsim.0]\n");
  for (const char* name : {"x/a.txt", "y/a.txt"}) {
    fs::create_directories((dir.path() / "two" / name).parent_path());
    vz::testing::WriteFile(dir / (std::string("two/") + name), name);
  }
  ASSERT_EQ(std::system(("cd " + dir / "two" + " && zip -qr ../two.zip x y").c_str()), 0);
  const auto whole = vz::testing::ReadFile(dir / "two.zip");
  vz::testing::WriteFile(dir / "cut.zip", std::string(whole.begin(), whole.begin() + 60));
  // In a folder of its own: the file dialogs that list a folder may open what it holds.
  fs::create_directories(dir.path() / "fifo");
  ASSERT_EQ(::mkfifo((dir.path() / "fifo/pipe.zip").c_str(), 0600), 0);
  auto page = [&](int index) { Get<QTabWidget>("pcZip")->setCurrentIndex(index); };
  using Steps = std::deque<Modals::Step>;
  const struct Case {
    const char* fault;
    std::function<Steps()> dialogs;  // the answers to the dialogs the actions open, in turn
    std::function<void()> act;
    std::vector<std::string> boxes;  // how each box that follows begins
    std::function<void()> check;
    QMessageBox::Icon icon = QMessageBox::Critical;  // of the first box
  } cases[] = {
      {"relative folder paths start at the folder added",
       [&] {
         return Steps{Dialog(dir / "src/aircraft"), Dialog(dir / "paths.zip")};
       },
       [&] {
         page(1);
         QTest::mouseClick(Get("cbIncludePaths"), Qt::LeftButton, {}, QPoint(4, 8));
         form->findChild<QAction*>("mnuAddFolder")->trigger();
         Click("btnZip");
       },
       {"Zip file saved as:"},
       [&] {
         EXPECT_EQ(Output("python3 -c \"import zipfile; print(zipfile.ZipFile('" +
                          dir / "paths.zip" + "').namelist())\""),
                   "['aircraft/SimObjects/x.cfg']\n");
       },
       QMessageBox::Information},
      {"the summary adds bytes",
       [] { return Steps{}; },
       [&] {
         page(1);
         Drop(Get("ZipFileList"), {dir / "src/aircraft/SimObjects/x.cfg", dir / "two/x/a.txt"});
       },
       {},
       [&] { EXPECT_EQ(Get<QLabel>("FilesLabel")->text(), "2 file(s) - 1 Kb"); }},
      {"a save that stored nothing says so",
       [&] { return Steps{Dialog(dir / "nothing.zip")}; },
       [&] {
         page(1);
         vz::testing::WriteFile(dir / "gone.txt", "soon gone");
         Drop(Get("ZipFileList"), {dir / "gone.txt"});
         fs::remove(dir.path() / "gone.txt");
         Click("btnZip");
       },
       {"No file could be added to the zip " + dir / "nothing.zip"},
       [&] { EXPECT_FALSE(fs::exists(dir.path() / "nothing.zip")); }},
      {"the Open dialog takes existing files only",
       [&] {
         return Steps{Dialog(dir / "two.zip", nullptr, [](QFileDialog* d) {
           EXPECT_EQ(d->fileMode(), QFileDialog::ExistingFile);
         })};
       },
       [&] { Click("btnOpenZip"); },
       {},
       [&] { EXPECT_EQ(Get<QLabel>("Label4")->text(), "4 file(s)"); }},
      {"a zip that fails to open leaves the page empty",
       [] { return Steps{}; },
       [&] {
         Drop(Get("ZipViewer"), {dir / "two.zip"});
         vz::testing::WriteFile(dir / "bad.zip", "damaged");
         Drop(Get("ZipViewer"), {dir / "bad.zip"});
       },
       {"Sorry, this is not a Zip File!"},
       [&] {
         EXPECT_EQ(Get<QLabel>("Label4")->text(), "0 file(s)");
         EXPECT_EQ(form->windowTitle(), "Veldrin - ZIP");
       }},
      {"a pipe is not a zip",
       [] { return Steps{}; },
       [&] { Drop(Get("ZipViewer"), {dir / "fifo/pipe.zip"}); },
       {dir / "fifo/pipe.zip: is a FIFO, not a zip archive"},
       [] {}},
      {"a download cut short says so",
       [] { return Steps{}; },
       [&] { Drop(Get("ZipViewer"), {dir / "cut.zip"}); },
       {dir / "cut.zip: this zip is cut short (an incomplete download?)"},
       [] {}},
      {"a flat extraction lists a name it already wrote",
       [&] {
         fs::create_directories(dir.path() / "flat");
         return Steps{Dialog(dir / "flat")};
       },
       [&] {
         Drop(Get("ZipViewer"), {dir / "two.zip"});
         Click("btnUnZip");
       },
       {"UnZip Complete. One or more files could not be extracted:\n\ny/a.txt - same name as "
        "x/a.txt in this archive"},
       [&] {
         EXPECT_EQ(vz::testing::ReadFile(dir / "flat/a.txt"),
                   vz::testing::ReadFile(dir / "two/x/a.txt"));
       }},
      {"No to All keeps every file there",
       [&] {
         for (const char* name : {"kept/x/a.txt", "kept/y/a.txt"}) {
           fs::create_directories((dir.path() / name).parent_path());
           vz::testing::WriteFile(dir / name, "kept");
         }
         return Steps{Dialog(dir / "kept")};
       },
       [&] {
         Drop(Get("ZipViewer"), {dir / "two.zip"});
         QTest::mouseClick(Get("cdExtractPaths"), Qt::LeftButton, {}, QPoint(4, 8));
         Click("btnUnZip");
       },
       {"This file already exists in the destination location.",
        "UnZip Complete. One or more extractions cancelled!\n\n0 file(s) written, 2 skipped"},
       [&] {
         EXPECT_EQ(vz::testing::ReadFile(dir / "kept/y/a.txt"),
                   vz::testing::ReadFile(dir / "kept/x/a.txt"));
       },
       QMessageBox::Question},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    form = std::make_unique<Form>(WithFsx(dir));
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QTest::qWait(20);
    std::vector<SeenBox> seen(c.boxes.size());
    Steps steps = c.dialogs();
    for (size_t i = 0; i < seen.size(); ++i) {
      steps.push_back(
          Box(&seen[i], i == 0 && c.icon == QMessageBox::Question ? "N&o to All" : "OK"));
    }
    Modals modals(std::move(steps));
    c.act();
    ASSERT_TRUE(WaitFor([&] { return modals.Done(); }));
    QTest::qWait(20);
    for (size_t i = 0; i < seen.size(); ++i) {
      EXPECT_EQ(seen[i].text.rfind(c.boxes[i], 0), 0u) << seen[i].text;
    }
    if (!seen.empty()) {
      EXPECT_EQ(seen[0].icon, c.icon);
    }
    c.check();
  }
}

// Watches the window while work runs (its message steps run this): records the status bar and
// the meters' labels, holds the first step back so that the work runs over two seconds, and
// presses stop once the status bar tells bytes and time left.
class WorkWatch {
 public:
  WorkWatch(QWidget* form, const char* status, const char* label, const char* stop)
      : status_(form->findChild<QLabel*>(status)),
        label_(form->findChild<QLabel*>(label)),
        stop_(form->findChild<QPushButton*>(stop)) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Look(); });
    timer_.start();
  }
  std::vector<std::string> seen;  // "status|label|button" while the work ran
  bool stopped = false;

 private:
  void Look() {
    const std::string status = status_->text().toStdString();
    if (status.empty() || stopped) return;
    seen.push_back(status + "|" + label_->text().toStdString() + "|" + stop_->text().toStdString());
    if (seen.size() == 1) std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    if (status.find(" left)") != std::string::npos) {
      stopped = true;
      QTest::mouseClick(stop_, Qt::LeftButton);
    }
  }
  QLabel* status_;
  QLabel* label_;
  QPushButton* stop_;
  QTimer timer_;
};

bool AnyMatches(const std::vector<std::string>& seen, const std::string& pattern) {
  return std::any_of(seen.begin(), seen.end(), [&](const std::string& s) {
    return std::regex_match(s, std::regex(pattern));
  });
}

// Long work through the real buttons: the labels and the status bar tell how far it has come, and
// Stop ends it. A 1 GB extraction keeps nothing of the file in progress; a save over an existing
// zip leaves it as it was; neither leaves a work file. Another writer's lock is waited for with
// the window alive, and Stop ends that wait too.
TEST_F(FormTest, LongWorkTellsItsProgressAndStops) {
  if (!vz::testing::HaveTool("python3")) GTEST_SKIP();
  ASSERT_EQ(std::system(("python3 -c \"import zipfile\n"
                         "with zipfile.ZipFile('" +
                         dir / "big.zip" +
                         "', 'w', zipfile.ZIP_DEFLATED, compresslevel=1) as z:\n"
                         "  with z.open('big.bin', 'w', force_zip64=True) as f:\n"
                         "    for i in range(1024): f.write(bytes(1 << 20))\"")
                            .c_str()),
            0);
  Drop(Get("ZipViewer"), {dir / "big.zip"});
  fs::create_directories(dir.path() / "out");
  SeenBox stopped;
  {
    WorkWatch watch(form.get(), "StatusText", "Label6", "btnUnZip");
    Modals modals({Dialog(dir / "out"), Box(&stopped, "OK")});
    Click("btnUnZip");
    ASSERT_TRUE(WaitFor([&] { return modals.Done(); }));
    EXPECT_TRUE(watch.stopped);
    EXPECT_TRUE(AnyMatches(watch.seen, R"(Extracting: big\.bin.*\|[0-9]{1,2}%\|&Stop)"));
    EXPECT_TRUE(AnyMatches(
        watch.seen,
        R"(Extracting: big\.bin  \([0-9.]+ [KMG]B of 1\.0 GB, about [0-9]+ (s|min) left\)\|.*)"));
  }
  EXPECT_EQ(stopped.text, "UnZip stopped. What was extracted before stays in this location:\n\n" +
                              dir / "out\n\n0 file(s) written, 0 skipped, 0 failed.");
  EXPECT_TRUE(fs::is_empty(dir.path() / "out"));
  EXPECT_EQ(Get<QPushButton>("btnUnZip")->text(), "&UnZip");

  // A save over an existing zip, stopped while it compresses.
  {
    Zipper zipper;
    zipper.EditSettings([&](ComponentSettings& s) { s.SetBaseDirectory(dir.path().string()); });
    zipper.SetFileName(dir / "out/old.zip");
    vz::testing::WriteFile(dir / "out/a.txt", "a");
    zipper.AddFiles("out/a.txt", 0);
    zipper.Save();
    fs::remove(dir.path() / "out/a.txt");
  }
  const auto old = vz::testing::ReadFile(dir / "out/old.zip");
  std::string noise(48 << 20, '\0');
  std::mt19937_64 random(1);
  for (size_t i = 0; i + 8 <= noise.size(); i += 8) {
    const uint64_t r = random();
    std::memcpy(noise.data() + i, &r, 8);
  }
  vz::testing::WriteFile(dir / "noise.bin", noise);
  Get<QTabWidget>("pcZip")->setCurrentIndex(1);
  Drop(Get("ZipFileList"), {dir / "noise.bin"});
  {
    WorkWatch watch(form.get(), "StatusText", "Label2", "btnZip");
    Modals modals({Dialog(dir / "out/old.zip"), Box(nullptr, "&Yes"), Box(&stopped, "OK")});
    Click("btnZip");
    ASSERT_TRUE(WaitFor([&] { return modals.Done(); }, 20000));
    EXPECT_TRUE(watch.stopped);
    EXPECT_TRUE(AnyMatches(watch.seen, R"(Compressing: noise\.bin.*\|[0-9]{1,2}%\|&Stop)"));
    EXPECT_TRUE(AnyMatches(watch.seen, R"(Compressing: noise\.bin  \(.* of 48 MB, about .*)"));
  }
  EXPECT_EQ(stopped.text, "Zip stopped. The zip was left as it was:\n\n" + dir / "out/old.zip");
  EXPECT_EQ(vz::testing::ReadFile(dir / "out/old.zip"), old);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(dir.path() / "out")) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(left, std::vector<std::string>{"old.zip"});

  // Another writer holds the zip: the window says so, stays alive, and Stop ends the wait; once
  // the writer has finished, the save goes ahead.
  const int held = ::open((dir / "out/old.zip").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  for (const bool release : {false, true}) {
    std::string status;
    QTimer look;
    look.setInterval(5);
    QObject::connect(&look, &QTimer::timeout, [&] {
      const std::string now = Get<QLabel>("StatusText")->text().toStdString();
      if (!status.empty() || now.rfind("Waiting", 0) != 0) return;
      status = now;
      if (release) {
        ::close(held);
      } else {
        Click("btnZip");
      }
    });
    look.start();
    SeenBox end;
    Modals modals({Dialog(dir / "out/old.zip"), Box(nullptr, "&Yes"), Box(&end, "OK")});
    Click("btnZip");
    ASSERT_TRUE(WaitFor([&] { return modals.Done(); }, 20000));
    EXPECT_EQ(status, "Waiting for another program to finish with old.zip");
    EXPECT_EQ(end.text, (release ? "Zip file saved as:\n\n"
                                 : "Zip stopped. The zip was left as it was:\n\n") +
                            dir / "out/old.zip");
  }
}

}  // namespace
}  // namespace vz
