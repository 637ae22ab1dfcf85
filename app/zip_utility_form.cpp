#include "app/zip_utility_form.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QDropEvent>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QStyleOptionTabWidgetFrame>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolTip>
#include <QUrl>
#include <utility>

#include "app/anchor_layout.h"
#include "app/meter_widget.h"
#include "app/outline_widget.h"
#include "app/shell_dialogs.h"
#include "app/window_pictures.h"
#include "front/fsx_folders.h"

namespace vz {

namespace {

using front::Control;

// The window's design: client area, and the height of an entry of the file list.
constexpr QSize kClientSize(592, 501);
// The smallest outer size is 600 by 530; the frame the design counts with is 8 by 34.
constexpr QSize kSmallestClientSize(592, 496);
constexpr int kEntryHeight = 13;
// What the first panel of the status bar always says.
constexpr const char* kMakerPanelText = "Veldrin Zip (Freeware)";

enum class Kind {
  kBanner,     // the banner picture, clickable
  kWebIcon,    // the small web icon on the banner, clickable
  kPages,      // the page control
  kPage,       // one of its pages; the caption is the tab's
  kStatusBar,  // two panels: the maker's text and the status text
  kLabel,      // sized to its text when the rectangle has no width; extra: smallest width
  kButton,     // extra: its picture (ButtonPicture)
  kGroupBox,
  kMeter,  // vertical, flat, white; extra: the colour value of its blocks
  kEdit,   // extra: 1 for read-only
  kCheckBox,
  kComboBox,
  kList,
  kPanel,
  kOutline,
};

struct ControlDef {
  const char* name;
  const char* parent;
  Kind kind;
  QRect rect;  // at 96 dpi, in the parent's client area
  Anchors anchors;
  const char* caption;  // "&&" shows one "&" on buttons and check boxes
  const char* hint;
  int extra = 0;
};

constexpr Anchors kLT = kAnchorLeft | kAnchorTop;
constexpr Anchors kTR = kAnchorTop | kAnchorRight;
constexpr Anchors kRB = kAnchorRight | kAnchorBottom;
constexpr Anchors kLB = kAnchorLeft | kAnchorBottom;
constexpr Anchors kLRB = kAnchorLeft | kAnchorRight | kAnchorBottom;
constexpr Anchors kLTR = kAnchorLeft | kAnchorTop | kAnchorRight;
constexpr int kItemColour = 15118749, kArchiveColour = 8421631;
constexpr const char* kBannerHint = "Visit Veldrin Website";

// Parents come before their children.
const ControlDef kControls[] = {
    {"imgBan", "frmZipUtility", Kind::kBanner, {0, 0, 592, 50}, kLTR, "", kBannerHint},
    {"imgWeb", "imgBan", Kind::kWebIcon, {550, 8, 32, 32}, kAnchorRight, "", kBannerHint},
    {"pcZip", "frmZipUtility", Kind::kPages, {7, 56, 578, 389}, kAnchorAll, "", ""},
    {"tabUnZip", "pcZip", Kind::kPage, {}, 0, "Extract Zip", ""},
    {"tabZip", "pcZip", Kind::kPage, {}, 0, "Create Zip", ""},
    {"btnExit",
     "frmZipUtility",
     Kind::kButton,
     {489, 448, 95, 26},
     kRB,
     "Exit",
     "",
     static_cast<int>(ButtonPicture::kExit)},
    {"StatusBar", "frmZipUtility", Kind::kStatusBar, {0, 479, 592, 22}, kLRB, "", ""},
    // The "Extract Zip" page.
    {"Label1", "tabUnZip", Kind::kLabel, {18, 8, 0, 0}, kLT, "Zip File Contents:", ""},
    {"Label4", "tabUnZip", Kind::kLabel, {109, 8, 0, 0}, kLT, "", "", 50},
    {"Label5", "tabUnZip", Kind::kLabel, {324, 8, 0, 0}, kTR, "Drag & Drop Enabled", ""},
    {"pnlZipViewer", "tabUnZip", Kind::kPanel, {18, 25, 405, 255}, kAnchorAll, "", ""},
    {"ZipViewer",
     "pnlZipViewer",
     Kind::kOutline,
     {0, 0, 405, 255},
     kAnchorAll,
     "",
     "This box displays the Zip contents including any folder path structure (if present)"},
    {"btnOpenZip",
     "tabUnZip",
     Kind::kButton,
     {441, 23, 110, 26},
     kTR,
     "Open",
     "Open Zip File",
     static_cast<int>(ButtonPicture::kOpen)},
    {"btnUnZip",
     "tabUnZip",
     Kind::kButton,
     {441, 59, 110, 26},
     kTR,
     "UnZip",
     "Unzip the files",
     static_cast<int>(ButtonPicture::kUnZip)},
    {"GroupBox1", "tabUnZip", Kind::kGroupBox, {440, 99, 113, 179}, kTR, "Progress:", ""},
    {"zipItemMeter",
     "GroupBox1",
     Kind::kMeter,
     {29, 24, 14, 125},
     kLT,
     "",
     "Current progress of the file being extracted from the Zip",
     kItemColour},
    {"zipFileMeter",
     "GroupBox1",
     Kind::kMeter,
     {71, 24, 14, 125},
     kLT,
     "",
     "Current progress of the extraction of the Zip archive as a whole",
     kArchiveColour},
    {"Label6", "GroupBox1", Kind::kLabel, {29, 151, 0, 0}, kLT, "File", ""},
    {"Label7", "GroupBox1", Kind::kLabel, {70, 151, 0, 0}, kLT, "Zip", ""},
    {"edFolderPathLabel", "tabUnZip", Kind::kLabel, {18, 284, 0, 0}, kLB, "Unzip To Folder:", ""},
    {"edFolderPath",
     "tabUnZip",
     Kind::kEdit,
     {18, 300, 503, 21},
     kLRB,
     "",
     "This is the folder you have selected to unzip the files to",
     1},
    {"btnUnZipFolder",
     "tabUnZip",
     Kind::kButton,
     {526, 299, 26, 22},
     kRB,
     "",
     "Select the destination folder for the Zipped files",
     static_cast<int>(ButtonPicture::kFolder)},
    {"cdExtractPaths",
     "tabUnZip",
     Kind::kCheckBox,
     {18, 334, 194, 17},
     kRB,
     "Extract && Preserve Folder Structure",
     "Select this option to unzip while preserving the folder structure if present"},
    {"cbUseFSXFolder",
     "tabUnZip",
     Kind::kCheckBox,
     {221, 334, 167, 17},
     kRB,
     "Extract to Specific FSX Folder:",
     "Select this option to unzip to a specified FSX folder (select from list)"},
    {"cbxFSXFolder",
     "tabUnZip",
     Kind::kComboBox,
     {389, 331, 163, 21},
     kRB,
     "",
     "Select the folder to which you want to extract this Zip"},
    // The "Create Zip" page.
    {"lbSubject", "tabZip", Kind::kLabel, {18, 8, 0, 0}, kLT, "Drag & Drop Files here:", ""},
    {"FilesLabel", "tabZip", Kind::kLabel, {138, 8, 0, 0}, kLT, "", "", 50},
    {"ZipFileList", "tabZip", Kind::kList, {18, 25, 405, 255}, kAnchorAll, "", ""},
    {"btnZip",
     "tabZip",
     Kind::kButton,
     {441, 23, 110, 26},
     kTR,
     "Zip",
     "Create the Zip file",
     static_cast<int>(ButtonPicture::kZip)},
    {"btnClearList",
     "tabZip",
     Kind::kButton,
     {441, 59, 110, 26},
     kTR,
     "Clear",
     "Clear all the files from the list ",
     static_cast<int>(ButtonPicture::kClear)},
    {"GroupBox2", "tabZip", Kind::kGroupBox, {440, 99, 113, 179}, kTR, "Progress:", ""},
    {"FileZippingMeter",
     "GroupBox2",
     Kind::kMeter,
     {29, 24, 14, 125},
     kLT,
     "",
     "Current progress of the file being added to the Zip",
     kItemColour},
    {"ArchiveZippingMeter",
     "GroupBox2",
     Kind::kMeter,
     {71, 24, 14, 125},
     kLT,
     "",
     "Current progress of the archive creation as a whole",
     kArchiveColour},
    {"Label2", "GroupBox2", Kind::kLabel, {29, 151, 0, 0}, kLT, "File", ""},
    {"Label3", "GroupBox2", Kind::kLabel, {70, 151, 0, 0}, kLT, "Zip", ""},
    {"edZipCommentLabel", "tabZip", Kind::kLabel, {18, 284, 0, 0}, kLB, "Zip Comments:", ""},
    {"edZipComment",
     "tabZip",
     Kind::kEdit,
     {18, 300, 535, 21},
     kLRB,
     "",
     "Text entered here will be added to the comments field of the Zip archive"},
    {"cbAddComments",
     "tabZip",
     Kind::kCheckBox,
     {18, 334, 124, 17},
     kLRB,
     "Add Comments to Zip",
     "Select this item to add the above comments to the Zip file"},
    {"cbIncludePaths",
     "tabZip",
     Kind::kCheckBox,
     {147, 334, 162, 17},
     kLRB,
     "Include Relative Folder Paths",
     "Select this option to preserve the folder structure of the added files"},
};

// The controls the logic names, by their object names.
const std::pair<Control, const char*> kControlNames[] = {
    {Control::Label4, "Label4"},
    {Control::edFolderPath, "edFolderPath"},
    {Control::btnUnZipFolder, "btnUnZipFolder"},
    {Control::cdExtractPaths, "cdExtractPaths"},
    {Control::cbUseFSXFolder, "cbUseFSXFolder"},
    {Control::cbxFSXFolder, "cbxFSXFolder"},
    {Control::btnOpenZip, "btnOpenZip"},
    {Control::btnUnZip, "btnUnZip"},
    {Control::Label6, "Label6"},
    {Control::Label7, "Label7"},
    {Control::zipItemMeter, "zipItemMeter"},
    {Control::zipFileMeter, "zipFileMeter"},
    {Control::FilesLabel, "FilesLabel"},
    {Control::ZipFileList, "ZipFileList"},
    {Control::edZipComment, "edZipComment"},
    {Control::cbAddComments, "cbAddComments"},
    {Control::cbIncludePaths, "cbIncludePaths"},
    {Control::btnZip, "btnZip"},
    {Control::btnClearList, "btnClearList"},
    {Control::Label2, "Label2"},
    {Control::Label3, "Label3"},
    {Control::FileZippingMeter, "FileZippingMeter"},
    {Control::ArchiveZippingMeter, "ArchiveZippingMeter"},
    {Control::StatusText, "StatusText"},
    {Control::btnExit, "btnExit"},
};

// Tab order across the window; the page that is not shown is skipped.
const char* const kTabOrder[] = {
    "pcZip",          "cdExtractPaths", "cbxFSXFolder",  "cbUseFSXFolder",
    "edFolderPath",   "ZipViewer",      "btnOpenZip",    "btnUnZip",
    "btnUnZipFolder", "edZipComment",   "cbAddComments", "cbIncludePaths",
    "ZipFileList",    "btnZip",         "btnClearList",  "btnExit",
};

}  // namespace

// Tahoma where installed, else the system's sans-serif, at 8 point. The Tahoma that Wine ships (a
// free font with Tahoma's metrics, in Debian's fonts-wine) is taken too: it is outside the
// system's font folders, and wherever FSX runs under Wine it is there.
QFont WindowFont() {
  static const bool loaded = [] {
    if (QFontDatabase::families().contains("Tahoma")) return true;
    bool found = false;
    for (const char* file :
         {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
      found = QFontDatabase::addApplicationFont(file) >= 0 || found;
    }
    return found;
  }();
  (void)loaded;
  QFont font;
  font.setFamilies({"Tahoma", "sans-serif"});
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(8);
  return font;
}

namespace {

// A picture that paints itself at any screen density.
class PictureWidget : public QWidget {
 public:
  using Paint = void (*)(QPainter&, const QRect&);
  PictureWidget(QWidget* parent, Paint paint) : QWidget(parent), paint_(paint) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    paint_(painter, rect());
  }

 private:
  Paint paint_;
};

// The page control: the size its pages get for a given outer size, so that the controls on a page
// are placed for the page as this style draws it.
class PageControl : public QTabWidget {
 public:
  using QTabWidget::QTabWidget;
  QSize PageSizeAt(QSize outer) const {
    QStyleOptionTabWidgetFrame option;
    initStyleOption(&option);
    option.rect = QRect(QPoint(0, 0), outer);
    return style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this).size();
  }
};

// Entries of the file list are all of one height.
class EntryDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return {QStyledItemDelegate::sizeHint(option, index).width(), kEntryHeight};
  }
};

QLabel* PlainLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);  // texts from archives are never markup
  return label;
}

}  // namespace

front::WindowSettings ZipUtilityForm::DefaultSettings() {
  front::WindowSettings settings = front::WindowSettings::FromEnvironment();
  // The open dialog starts where the program was started (the program's own folder, a system
  // folder here, holds no zips).
  settings.program_folder = QDir::currentPath().toStdString();
  return settings;
}

ZipUtilityForm::ZipUtilityForm(front::WindowSettings settings) {
  setObjectName("frmZipUtility");
  setWindowTitle("Veldrin - ZIP");
  setWindowIcon(ProgramIcon());
  setFont(WindowFont());
  resize(kClientSize);
  setMinimumSize(kSmallestClientSize);
  BuildControls();
  logic_ = std::make_unique<front::ZipUtilityWindow>(*this, *this, std::move(settings));
  ConnectHandlers();
  // The window sees keys before its controls, and the banner's clicks, the file list's hints and
  // the tabs' hovering without a filter of their own.
  qApp->installEventFilter(this);
  // Centred on the screen, counting the frame of the design.
  if (const QScreen* screen = this->screen()) {
    const QRect area = screen->availableGeometry();
    move(area.left() + (area.width() - 600) / 2, area.top() + (area.height() - 535) / 2);
  }
  logic_->FormCreate();
}

ZipUtilityForm::~ZipUtilityForm() {
  qApp->removeEventFilter(this);
  logic_.reset();
}

template <typename T>
T* ZipUtilityForm::Find(const char* name) const {
  return findChild<T*>(QString::fromLatin1(name));
}

void ZipUtilityForm::BuildControls() {
  std::map<std::string, QWidget*> parents = {{"frmZipUtility", this}};
  std::map<QWidget*, AnchorLayout*> layouts = {{this, new AnchorLayout(this, kClientSize)}};
  for (const ControlDef& def : kControls) {
    QWidget* parent = parents.at(def.parent);
    QWidget* widget = nullptr;
    QWidget* container = nullptr;  // where children of this control go
    QSize reference = def.rect.size();
    switch (def.kind) {
      case Kind::kBanner: {
        widget = container = new PictureWidget(parent, &PaintBanner);
        widget->setCursor(Qt::PointingHandCursor);
        break;
      }
      case Kind::kWebIcon:
        widget = new PictureWidget(parent,
                                   [](QPainter& p, const QRect& r) { PaintWebIcon(p, QRectF(r)); });
        widget->setCursor(Qt::PointingHandCursor);
        break;
      case Kind::kPages:
        widget = pages_ = new PageControl(parent);
        break;
      case Kind::kPage: {
        auto* pages = static_cast<PageControl*>(parent);
        widget = container = new QWidget(pages);
        widget->setObjectName(def.name);
        pages->addTab(widget, def.caption);
        reference = pages->PageSizeAt(QSize(578, 389));
        break;
      }
      case Kind::kStatusBar: {
        auto* bar = new QStatusBar(parent);
        QLabel* maker = PlainLabel(kMakerPanelText, bar);
        maker->setObjectName("StatusPanel1");
        maker->setFixedWidth(175);
        bar->addWidget(maker);
        // The last panel reaches to the bar's end, as a status bar's last panel does, so that
        // "Extracting: " and a long name can be read.
        QLabel* status = PlainLabel("", bar);
        status->setObjectName("StatusText");
        status->setMinimumWidth(50);
        bar->addWidget(status, 1);
        widget = bar;
        break;
      }
      case Kind::kLabel: {
        QLabel* label = PlainLabel(def.caption, parent);
        label->setMinimumWidth(def.extra);
        widget = label;
        break;
      }
      case Kind::kButton: {
        auto* button = new QPushButton(def.caption, parent);
        button->setIcon(ButtonIcon(static_cast<ButtonPicture>(def.extra)));
        button->setIconSize(QSize(16, 16));
        button->setAutoDefault(false);
        widget = button;
        break;
      }
      case Kind::kGroupBox:
        widget = container = new QGroupBox(def.caption, parent);
        break;
      case Kind::kMeter: {
        auto* meter = new MeterWidget(parent);
        Meter& model = meter->Model();
        model.SetOrientation(moVertical);
        model.SetCtl3D(false);
        model.SetUnusedColor(MeterColor::Value(0xFFFFFF));
        model.SetUsedColor(MeterColor::Value(static_cast<uint32_t>(def.extra)));
        widget = meter;
        break;
      }
      case Kind::kEdit: {
        auto* edit = new QLineEdit(parent);
        edit->setAcceptDrops(false);  // dropped files go to the window
        if (def.extra == 1) {
          edit->setReadOnly(true);
          QPalette palette = edit->palette();
          palette.setColor(QPalette::Base, palette.color(QPalette::Button));
          palette.setColor(QPalette::Text, palette.color(QPalette::Disabled, QPalette::Text));
          edit->setPalette(palette);
        }
        widget = edit;
        break;
      }
      case Kind::kCheckBox:
        widget = new QCheckBox(def.caption, parent);
        break;
      case Kind::kComboBox: {
        auto* combo = new QComboBox(parent);
        for (const std::string_view item : front::kFsxFolderItems) {
          combo->addItem(QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size())));
        }
        combo->setMaxVisibleItems(20);
        combo->setCurrentIndex(-1);
        combo->setEnabled(false);
        widget = combo;
        break;
      }
      case Kind::kList: {
        file_list_ = new QListWidget(parent);
        file_list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
        file_list_->setUniformItemSizes(true);
        // A path wider than the list is read from its hint, not by scrolling sideways.
        file_list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        file_list_->setItemDelegate(new EntryDelegate(file_list_));
        file_list_->setContextMenuPolicy(Qt::CustomContextMenu);
        list_menu_ = new QMenu(file_list_);
        list_menu_->setObjectName("ZipListMenu");
        QAction* remove = list_menu_->addAction("Delete Selected Item(s)");
        remove->setObjectName("vDelSelectedItm");
        widget = file_list_;
        break;
      }
      case Kind::kPanel:
        widget = container = new QWidget(parent);
        break;
      case Kind::kOutline:
        widget = outline_ = new OutlineWidget(parent);
        break;
    }
    widget->setObjectName(def.name);
    if (*def.hint != '\0') widget->setToolTip(def.hint);
    parents[def.name] = container != nullptr ? container : widget;
    if (container != nullptr) layouts[container] = new AnchorLayout(container, reference);
    if (def.kind == Kind::kPage) continue;  // placed by the page control
    layouts.at(parent)->AddWidget(widget, def.rect, def.anchors);
  }
  for (const auto& [control, name] : kControlNames) controls_[control] = Find<QWidget>(name);
  for (const Control meter : {Control::zipItemMeter, Control::zipFileMeter,
                              Control::FileZippingMeter, Control::ArchiveZippingMeter}) {
    meters_[meter] = static_cast<MeterWidget*>(controls_.at(meter));
  }
  QWidget* previous = nullptr;
  for (const char* name : kTabOrder) {
    QWidget* next = Find<QWidget>(name);
    if (previous != nullptr) setTabOrder(previous, next);
    previous = next;
  }
}

void ZipUtilityForm::ConnectHandlers() {
  front::ZipUtilityWindow* logic = logic_.get();
  auto click = [&](const char* name, void (front::ZipUtilityWindow::*handler)()) {
    connect(Find<QAbstractButton>(name), &QAbstractButton::clicked, this,
            [logic, handler] { (logic->*handler)(); });
  };
  click("btnExit", &front::ZipUtilityWindow::btnExitClick);
  click("btnOpenZip", &front::ZipUtilityWindow::btnOpenZipClick);
  click("btnUnZip", &front::ZipUtilityWindow::btnUnZipClick);
  click("btnUnZipFolder", &front::ZipUtilityWindow::btnUnZipFolderClick);
  click("cbUseFSXFolder", &front::ZipUtilityWindow::cbUseFSXFolderClick);
  click("btnZip", &front::ZipUtilityWindow::btnZipClick);
  click("btnClearList", &front::ZipUtilityWindow::btnClearListClick);
  connect(Find<QComboBox>("cbxFSXFolder"), &QComboBox::activated, this,
          [logic] { logic->cbxFSXFolderChange(); });
  connect(list_menu_->actions().first(), &QAction::triggered, this,
          [logic] { logic->vDelSelectedItmClick(); });
  connect(file_list_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { list_menu_->popup(file_list_->viewport()->mapToGlobal(at)); });
  // The rest arrives through the application's event filter (see eventFilter).
  banner_ = Find<QWidget>("imgBan");
  web_icon_ = Find<QWidget>("imgWeb");
  pages_->tabBar()->setMouseTracking(true);
}

QWidget* ZipUtilityForm::Widget(Control control) const {
  return controls_.at(control);
}

// ---- events -----------------------------------------------------------------------------------

bool ZipUtilityForm::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::KeyPress && watched->isWidgetType()) {
    // Key preview: every key pressed in this window (not in a box or a popup over it) goes to
    // the window first.
    auto* widget = static_cast<QWidget*>(watched);
    auto* key = static_cast<QKeyEvent*>(event);
    if (widget->window() == this && QApplication::activePopupWidget() == nullptr &&
        key->key() == Qt::Key_Escape && logic_->FormKeyDown(front::kVkEscape)) {
      return true;
    }
    if (watched == file_list_ && key->key() == Qt::Key_Delete) {
      return logic_->ZipFileListKeyDown(front::kVkDelete);
    }
    if (watched == Widget(Control::edZipComment) && !key->text().isEmpty()) {
      logic_->edZipCommentKeyPress();  // before the key changes the text
    }
    return false;
  }
  if (type == QEvent::MouseButtonRelease && (watched == banner_ || watched == web_icon_)) {
    auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() != Qt::LeftButton ||
        !static_cast<QWidget*>(watched)->rect().contains(mouse->position().toPoint())) {
      return false;
    }
    logic_->imgBanClick();
    return true;
  }
  if (watched == file_list_->viewport() && type == QEvent::ToolTip) return ListHintEvent(event);
  if (watched == pages_->tabBar()) {
    if (type == QEvent::MouseMove) {
      HotTrackTab(pages_->tabBar()->tabAt(static_cast<QMouseEvent*>(event)->position().toPoint()));
    } else if (type == QEvent::Leave) {
      HotTrackTab(-1);
    }
  }
  return false;
}

// The hint of the file list is the full text of the entry under the mouse, laid over the entry;
// over no entry there is none.
bool ZipUtilityForm::ListHintEvent(QEvent* event) {
  const QPoint at = static_cast<QHelpEvent*>(event)->pos();
  const QModelIndex entry = file_list_->indexAt(at);
  const int first_visible = std::max(file_list_->indexAt(QPoint(1, 1)).row(), 0);
  const auto hint = logic_->ShowHint(entry.isValid() ? entry.row() : -1, first_visible,
                                     file_list_->visualRect(entry).height());
  if (!hint) {
    QToolTip::hideText();
    event->ignore();
    return true;
  }
  // Qt puts a hint a little below and right of the point it is given.
  const QPoint offset(2, 16);
  QToolTip::showText(file_list_->viewport()->mapToGlobal(QPoint(hint->x, hint->y)) - offset,
                     QString::fromStdString(hint->text), file_list_->viewport(),
                     file_list_->visualRect(entry));
  return true;
}

void ZipUtilityForm::HotTrackTab(int index) {
  QTabBar* tabs = pages_->tabBar();
  for (int i = 0; i < tabs->count(); ++i) {
    tabs->setTabTextColor(i, i == index ? QColor(Qt::blue) : QColor());
  }
}

void ZipUtilityForm::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;
  shown_ = true;
  // Once the window is on the screen: the FSX check may show its box first.
  QTimer::singleShot(0, this, [this] {
    logic_->FormShow();
    if (!start_paths_.empty()) logic_->OpenCommandLine(std::exchange(start_paths_, {}));
  });
}

void ZipUtilityForm::closeEvent(QCloseEvent* event) {
  if (logic_->FormCloseQuery()) {
    event->accept();
  } else {
    event->ignore();
  }
}

namespace {

std::vector<std::string> LocalFiles(const QMimeData* data) {
  std::vector<std::string> paths;
  if (data == nullptr) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths.push_back(url.toLocalFile().toStdString());
  }
  return paths;
}

}  // namespace

void ZipUtilityForm::dragEnterEvent(QDragEnterEvent* event) {
  if (!logic_->Working() && !LocalFiles(event->mimeData()).empty()) event->acceptProposedAction();
}

void ZipUtilityForm::dragMoveEvent(QDragMoveEvent* event) {
  if (!logic_->Working()) event->acceptProposedAction();
}

void ZipUtilityForm::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths = LocalFiles(event->mimeData());
  if (paths.empty()) return;
  event->acceptProposedAction();
  // After the drop has finished: the program the files came from need not wait for our boxes.
  QMetaObject::invokeMethod(
      this, [this, paths = std::move(paths)] { logic_->WMDropFiles(paths); }, Qt::QueuedConnection);
}

// ---- WindowView -------------------------------------------------------------------------------

std::string ZipUtilityForm::Text(Control control) const {
  QWidget* widget = Widget(control);
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text().toStdString();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text().toStdString();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text().toStdString();
  return {};
}

void ZipUtilityForm::SetText(Control control, const std::string& text) {
  QWidget* widget = Widget(control);
  const QSignalBlocker quiet(widget);
  if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(QString::fromStdString(text));
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->setText(QString::fromStdString(text));
}

bool ZipUtilityForm::Checked(Control control) const {
  auto* box = qobject_cast<QAbstractButton*>(Widget(control));
  return box != nullptr && box->isChecked();
}

void ZipUtilityForm::SetChecked(Control control, bool checked) {
  auto* box = qobject_cast<QAbstractButton*>(Widget(control));
  if (box == nullptr) return;
  const QSignalBlocker quiet(box);
  box->setChecked(checked);
}

bool ZipUtilityForm::Enabled(Control control) const {
  return Widget(control)->isEnabled();
}

void ZipUtilityForm::SetEnabled(Control control, bool enabled) {
  Widget(control)->setEnabled(enabled);
}

int ZipUtilityForm::ItemIndex(Control control) const {
  auto* combo = qobject_cast<QComboBox*>(Widget(control));
  return combo != nullptr ? combo->currentIndex() : -1;
}

void ZipUtilityForm::SetItemIndex(Control control, int index) {
  auto* combo = qobject_cast<QComboBox*>(Widget(control));
  if (combo == nullptr) return;
  const QSignalBlocker quiet(combo);
  combo->setCurrentIndex(index);
}

void ZipUtilityForm::SetListEntries(Control, const std::vector<std::string>& entries) {
  const QSignalBlocker quiet(file_list_);
  file_list_->clear();
  QStringList texts;
  texts.reserve(static_cast<qsizetype>(entries.size()));
  for (const std::string& entry : entries) texts.push_back(QString::fromStdString(entry));
  file_list_->addItems(texts);
}

std::vector<int> ZipUtilityForm::SelectedEntries(Control) const {
  std::vector<int> rows;
  for (const QModelIndex& index : file_list_->selectionModel()->selectedIndexes()) {
    rows.push_back(index.row());
  }
  return rows;
}

front::Page ZipUtilityForm::VisiblePage() const {
  return pages_->currentIndex() == 1 ? front::Page::tabZip : front::Page::tabUnZip;
}

void ZipUtilityForm::ShowPage(front::Page page) {
  const QSignalBlocker quiet(pages_);
  pages_->setCurrentIndex(page == front::Page::tabZip ? 1 : 0);
}

Meter& ZipUtilityForm::MeterOf(Control meter) {
  return meters_.at(meter)->Model();
}

ZipOutline& ZipUtilityForm::ZipViewer() {
  return outline_->Outline();
}

// ---- WindowShell ------------------------------------------------------------------------------

front::MessageButton ZipUtilityForm::ShowMessage(const front::MessageRequest& request) {
  return ShowMessageBox(this, request);
}

std::optional<std::string> ZipUtilityForm::OpenFileName(const front::FileDialogRequest& request) {
  return ChooseFile(this, request, FileDialogKind::kOpen);
}

std::optional<std::string> ZipUtilityForm::SaveFileName(const front::FileDialogRequest& request) {
  return ChooseFile(this, request, FileDialogKind::kSave);
}

std::optional<std::string> ZipUtilityForm::BrowseForFolder(const std::string& caption) {
  return ChooseFolder(this, caption);
}

void ZipUtilityForm::ProcessMessages() {
  QCoreApplication::processEvents();
}

void ZipUtilityForm::OpenWebPage(const std::string& url) {
  QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

front::ScreenRect ZipUtilityForm::WindowGeometry() const {
  const QRect frame = frameGeometry();
  return {frame.left(), frame.top(), frame.width(), frame.height()};
}

void ZipUtilityForm::CloseWindow() {
  close();
}

void ZipUtilityForm::AcceptDroppedFiles() {
  setAcceptDrops(true);
}

}  // namespace vz
