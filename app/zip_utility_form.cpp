#include "app/zip_utility_form.h"

#include <QActionGroup>
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
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QSignalBlocker>
#include <QStandardPaths>
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
#include "app/form_controls.h"
#include "app/install_dialogs.h"
#include "app/meter_widget.h"
#include "app/outline_widget.h"
#include "app/shell_dialogs.h"
#include "app/window_pictures.h"
#include "front/fsx_folders.h"

namespace vz {

namespace {

using form::ControlDef;
using form::kControlNames;
using form::kControls;
using form::Kind;
using form::kTabOrder;
using front::Control;

// The window's design: client area, and the height of an entry of the file list.
constexpr QSize kClientSize(592, 501);
// The smallest outer size is 600 by 530; the frame the design counts with is 8 by 34.
constexpr QSize kSmallestClientSize(592, 496);
constexpr int kEntryHeight = 13;
// What the first panel of the status bar always says.
constexpr const char* kMakerPanelText = "Veldrin Zip (Freeware)";

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

constexpr const char* kAccessKey = "vzAccessKey";

// A button's access key is the letter after the single "&" of its designed caption.
QChar AccessKeyOf(const QString& caption) {
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] != '&') return caption[i + 1];
    ++i;  // "&&" is the character itself
  }
  return {};
}

// text with its "&"s doubled and the access key marked: at the key's first letter, or at the
// first letter when the text (as "Stop") has no such letter.
QString WithAccessKey(const QString& text, QChar key) {
  QString marked;
  bool placed = key.isNull();
  for (const QChar c : text) {
    if (!placed && c.toLower() == key.toLower()) {
      marked += '&';
      placed = true;
    }
    marked += c == '&' ? QString("&&") : QString(c);
  }
  if (!placed) {
    const auto letter =
        std::find_if(marked.begin(), marked.end(), [](QChar c) { return c.isLetter(); });
    if (letter != marked.end()) marked.insert(letter - marked.begin(), '&');
  }
  return marked;
}

// What a caption reads: its access key's marker gone, "&&" read as "&".
QString WithoutAccessKey(const QString& caption) {
  QString plain;
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == '&' && i + 1 < caption.size()) ++i;
    plain += caption[i];
  }
  return plain;
}

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

QString ZipUtilityForm::RememberedSettingsFile() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         "/veldrin-zip/veldrin-zip.conf";
}

ZipUtilityForm::ZipUtilityForm(front::WindowSettings settings, QString remembered)
    : remembered_(std::move(remembered)) {
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
    QSize reference(def.rect.width, def.rect.height);
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
        button->setProperty(kAccessKey, AccessKeyOf(def.caption));
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
        widget->setProperty(kAccessKey, AccessKeyOf(def.caption));
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
        list_menu_->addSeparator();
        list_menu_->addAction("Add &Files...")->setObjectName("mnuAddFiles");
        list_menu_->addAction("Add F&older...")->setObjectName("mnuAddFolder");
        widget = file_list_;
        break;
      }
      case Kind::kPanel:
        widget = container = new QWidget(parent);
        break;
      case Kind::kOutline:
        widget = outline_ = new OutlineWidget(parent);
        outline_->setContextMenuPolicy(Qt::CustomContextMenu);
        outline_menu_ = new QMenu(outline_);
        outline_menu_->setObjectName("ZipViewerMenu");
        outline_menu_->addAction("&Installed Add-ons...")->setObjectName("mnuInstalledAddons");
        // Names that do not say they are UTF-8, read in a character set the user knows.
        QMenu* names = outline_menu_->addMenu("&Names");
        names->setObjectName("mnuNames");
        auto* choices = new QActionGroup(names);
        for (const front::NameCharsetChoice& choice : front::kNameCharsets) {
          QAction* action = names->addAction(choice.caption);
          action->setObjectName(QString("mnuNames_") +
                                (choice.charset[0] != '\0' ? choice.charset : "Automatic"));
          action->setData(QString(choice.charset));
          action->setCheckable(true);
          action->setChecked(choice.charset[0] == '\0');
          choices->addAction(action);
        }
        break;
    }
    widget->setObjectName(def.name);
    if (*def.hint != '\0') widget->setToolTip(def.hint);
    parents[def.name] = container != nullptr ? container : widget;
    if (container != nullptr) layouts[container] = new AnchorLayout(container, reference);
    if (def.kind == Kind::kPage) continue;  // placed by the page control
    layouts.at(parent)->AddWidget(widget, form::RectOf(def.rect), def.anchors);
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
  // The folder button shows a picture only; its key is the F of "Folder".
  Find<QAbstractButton>("btnUnZipFolder")->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F));
  click("cbUseFSXFolder", &front::ZipUtilityWindow::cbUseFSXFolderClick);
  click("btnZip", &front::ZipUtilityWindow::btnZipClick);
  click("btnClearList", &front::ZipUtilityWindow::btnClearListClick);
  connect(Find<QComboBox>("cbxFSXFolder"), &QComboBox::activated, this,
          [logic] { logic->cbxFSXFolderChange(); });
  connect(list_menu_->actions().first(), &QAction::triggered, this,
          [logic] { logic->vDelSelectedItmClick(); });
  connect(Find<QAction>("mnuAddFiles"), &QAction::triggered, this,
          [logic] { logic->mnuAddFilesClick(); });
  connect(Find<QAction>("mnuAddFolder"), &QAction::triggered, this,
          [logic] { logic->mnuAddFolderClick(); });
  auto* open = new QAction(this);
  open->setObjectName("OpenShortcut");
  open->setShortcut(QKeySequence::Open);
  open->setShortcutContext(Qt::WindowShortcut);
  addAction(open);
  connect(open, &QAction::triggered, this, [logic] { logic->OpenShortcut(); });
  connect(file_list_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { list_menu_->popup(file_list_->viewport()->mapToGlobal(at)); });
  connect(outline_menu_->actions().first(), &QAction::triggered, this,
          [logic] { logic->mnuInstalledAddonsClick(); });
  for (QAction* choice : Find<QMenu>("mnuNames")->actions()) {
    connect(choice, &QAction::triggered, this,
            [logic, choice] { logic->mnuNamesClick(choice->data().toString().toStdString()); });
  }
  connect(outline_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    outline_menu_->popup(outline_->viewport()->mapToGlobal(at));
  });
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
    Recall();
    if (!start_paths_.empty()) logic_->OpenCommandLine(std::exchange(start_paths_, {}));
  });
}

void ZipUtilityForm::closeEvent(QCloseEvent* event) {
  if (logic_->FormCloseQuery()) {
    Remember();
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
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    return WithoutAccessKey(button->text()).toStdString();
  }
  return {};
}

void ZipUtilityForm::SetText(Control control, const std::string& text) {
  QWidget* widget = Widget(control);
  const QSignalBlocker quiet(widget);
  if (auto* label = qobject_cast<QLabel*>(widget)) label->setText(QString::fromStdString(text));
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->setText(QString::fromStdString(text));
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(
        WithAccessKey(QString::fromStdString(text), button->property(kAccessKey).toChar()));
  }
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

void ZipUtilityForm::SetListEntries(Control control, const std::vector<std::string>& entries) {
  if (control == Control::cbxFSXFolder) {
    auto* combo = static_cast<QComboBox*>(Widget(control));
    const QSignalBlocker quiet(combo);
    combo->clear();
    for (const std::string& entry : entries) combo->addItem(QString::fromStdString(entry));
    combo->setCurrentIndex(-1);
    return;
  }
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

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

void ZipUtilityForm::Recall() {
  if (remembered_.isEmpty()) return;
  QSettings settings(remembered_, QSettings::IniFormat);
  if (!settings.contains("window/size")) return;  // the first start: the design's state
  resize(settings.value("window/size").toSize());
  for (const char* name : {"cdExtractPaths", "cbAddComments", "cbIncludePaths", "cbEncryptAes"}) {
    Find<QCheckBox>(name)->setChecked(settings.value(QString("checks/") + name).toBool());
  }
  const QString charset = settings.value("names/charset").toString();
  for (QAction* choice : Find<QMenu>("mnuNames")->actions()) {
    if (choice->data().toString() == charset && !charset.isEmpty()) {
      choice->setChecked(true);
      logic_->mnuNamesClick(charset.toStdString());
    }
  }
  open_folder_ = settings.value("folders/open").toString().toStdString();
  save_folder_ = settings.value("folders/save").toString().toStdString();
  destination_folder_ = settings.value("folders/destination").toString().toStdString();
  // The FSX folder chosen, through the window's own handlers (which check FSX again).
  const int fsx = settings.value("fsx/folder", -1).toInt();
  if (fsx >= 0 && !logic_->AddonDetected()) {
    Find<QCheckBox>("cbUseFSXFolder")->setChecked(true);
    logic_->cbUseFSXFolderClick();
    auto* list = Find<QComboBox>("cbxFSXFolder");
    if (fsx < list->count() && list->isEnabled()) {
      list->setCurrentIndex(fsx);
      logic_->cbxFSXFolderChange();
    }
  }
}

void ZipUtilityForm::Remember() {
  if (remembered_.isEmpty()) return;
  QSettings settings(remembered_, QSettings::IniFormat);
  settings.setValue("window/size", size());
  for (const char* name : {"cdExtractPaths", "cbAddComments", "cbIncludePaths", "cbEncryptAes"}) {
    settings.setValue(QString("checks/") + name, Find<QCheckBox>(name)->isChecked());
  }
  settings.setValue("names/charset", QString::fromStdString(logic_->NameCharset()));
  settings.setValue("folders/open", QString::fromStdString(open_folder_));
  settings.setValue("folders/save", QString::fromStdString(save_folder_));
  settings.setValue("folders/destination", QString::fromStdString(destination_folder_));
  // The detected add-on's entry belongs to that zip; a folder of the thirteen is remembered.
  const bool fsx = Find<QCheckBox>("cbUseFSXFolder")->isChecked() && !logic_->AddonDetected();
  settings.setValue("fsx/folder", fsx ? Find<QComboBox>("cbxFSXFolder")->currentIndex() : -1);
}

std::optional<std::string> ZipUtilityForm::OpenFileName(const front::FileDialogRequest& request) {
  front::FileDialogRequest asked = request;
  if (!open_folder_.empty()) asked.initial_folder = open_folder_;
  auto chosen = ChooseFile(this, asked, FileDialogKind::kOpen);
  if (chosen) open_folder_ = FolderOf(*chosen);
  return chosen;
}

std::vector<std::string> ZipUtilityForm::OpenFileNames(const front::FileDialogRequest& request) {
  return ChooseFiles(this, request);
}

std::optional<std::string> ZipUtilityForm::SaveFileName(const front::FileDialogRequest& request) {
  front::FileDialogRequest asked = request;
  if (!save_folder_.empty() && asked.initial_folder.empty()) asked.initial_folder = save_folder_;
  auto chosen = ChooseFile(this, asked, FileDialogKind::kSave);
  if (chosen) save_folder_ = FolderOf(*chosen);
  return chosen;
}

std::optional<std::string> ZipUtilityForm::BrowseForFolder(const std::string& caption) {
  auto chosen = ChooseFolder(this, caption, destination_folder_);
  if (chosen) destination_folder_ = *chosen;
  return chosen;
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

front::InstallPlanAnswer ZipUtilityForm::ShowInstallPlan(const front::InstallPlanRequest& request) {
  return ShowInstallPlanDialog(this, request);
}

std::optional<int> ZipUtilityForm::ShowInstalledAddons(const std::vector<std::string>& entries) {
  return ShowInstalledAddonsDialog(this, entries);
}

std::optional<std::string> ZipUtilityForm::AskPassword(const std::string& item_name, bool again) {
  QInputDialog dialog(this);
  dialog.setObjectName("PasswordDialog");
  dialog.setWindowTitle("Password");
  dialog.setLabelText(QString::fromStdString((again ? "The password was wrong. " : "") +
                                             std::string("Enter the password of:\n") + item_name));
  dialog.setTextEchoMode(QLineEdit::Password);
  // Room for a long password (the dialog takes the size its fields ask for).
  if (auto* field = dialog.findChild<QLineEdit*>()) field->setMinimumWidth(300);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.textValue().toStdString();
}

std::optional<std::string> ZipUtilityForm::AskNewPassword() {
  return ChooseNewPassword(this);
}

void ZipUtilityForm::OpenFolder(const std::string& folder) {
  QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(folder)));
}

void ZipUtilityForm::SetWindowTitle(const std::string& title) {
  setWindowTitle(QString::fromStdString(title));
}

void ZipUtilityForm::AcceptDroppedFiles() {
  setAcceptDrops(true);
}

}  // namespace vz
