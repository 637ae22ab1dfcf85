#include "app/shell_dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <map>

namespace vz {

namespace {

using front::MessageButton;
using front::MessageKind;

// The window's texts break lines with CR LF, a few with CR alone.
QString DisplayText(const std::string& text) {
  QString shown = QString::fromStdString(text);
  shown.replace("\r\n", "\n");
  shown.replace('\r', '\n');
  return shown;
}

// A message box that goes where the request says once it knows its own size.
class PlacedMessageBox : public QMessageBox {
 public:
  PlacedMessageBox(QWidget* parent, const front::MessageRequest& request)
      : QMessageBox(parent), request_(request) {}

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);
    const QSize size = frameGeometry().size();
    if (request_.place) {
      const front::BoxOrigin origin = request_.place(size.width(), size.height());
      move(origin.left, origin.top);
      return;
    }
    const QScreen* screen =
        parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect area = screen->availableGeometry();
    move(area.left() + area.width() / 2 - size.width() / 2,
         area.top() + area.height() / 2 - size.height() / 2);
  }

 private:
  const front::MessageRequest& request_;
};

QMessageBox::Icon IconOf(MessageKind kind) {
  switch (kind) {
    case MessageKind::kInformation:
      return QMessageBox::Information;
    case MessageKind::kConfirmation:
      return QMessageBox::Question;
    case MessageKind::kError:
      return QMessageBox::Critical;
  }
  return QMessageBox::NoIcon;
}

// "*.zip" as a pattern of any letter case: "*.[zZ][iI][pP]".
QString AnyCase(const std::string& pattern) {
  QString any;
  for (const QChar c : QString::fromStdString(pattern)) {
    if (c.isLetter() && c.toLower() != c.toUpper()) {
      any += QString("[%1%2]").arg(c.toLower(), c.toUpper());
    } else {
      any += c;
    }
  }
  return any;
}

}  // namespace

MessageButton ShowMessageBox(QWidget* parent, const front::MessageRequest& request) {
  PlacedMessageBox box(parent, request);
  box.setWindowTitle(QString::fromUtf8(front::MessageTitle(request.kind)));
  box.setIcon(IconOf(request.kind));
  box.setTextFormat(Qt::PlainText);
  box.setText(DisplayText(request.text));
  std::map<QAbstractButton*, MessageButton> answers;
  std::map<MessageButton, QPushButton*> buttons;
  for (const MessageButton button : front::kButtonOrder) {
    if ((request.buttons & button) == 0) continue;
    // One role for all: the box keeps them in the order they are added.
    QPushButton* pushed =
        box.addButton(QString::fromUtf8(front::ButtonCaption(button)), QMessageBox::ActionRole);
    answers[pushed] = button;
    buttons[button] = pushed;
  }
  if (const auto found = buttons.find(front::DefaultButton(request.buttons));
      found != buttons.end()) {
    box.setDefaultButton(found->second);
  }
  if (const auto found = buttons.find(front::EscapeButton(request.buttons));
      found != buttons.end()) {
    box.setEscapeButton(found->second);
  }
  box.exec();
  const auto answer = answers.find(box.clickedButton());
  return answer != answers.end() ? answer->second : front::mbNone;
}

QString NameFilterOf(const front::FileDialogRequest& request) {
  // The dialog shows what stands before the last parentheses and matches what is inside them.
  return QString::fromStdString(request.filter_name) + " (" + AnyCase(request.filter_pattern) + ")";
}

std::optional<std::string> ChooseFile(QWidget* parent, const front::FileDialogRequest& request,
                                      FileDialogKind kind) {
  QFileDialog dialog(parent, QString::fromStdString(request.title),
                     QString::fromStdString(request.initial_folder));
  dialog.setObjectName(kind == FileDialogKind::kOpen ? "OpenDialog" : "SaveDialog");
  dialog.setAcceptMode(kind == FileDialogKind::kOpen ? QFileDialog::AcceptOpen
                                                     : QFileDialog::AcceptSave);
  // Opening takes only a file that is there: opening never makes a zip.
  dialog.setFileMode(kind == FileDialogKind::kOpen ? QFileDialog::ExistingFile
                                                   : QFileDialog::AnyFile);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  if (kind == FileDialogKind::kSave) dialog.setOption(QFileDialog::DontConfirmOverwrite);
  if (!request.filter_pattern.empty()) dialog.setNameFilter(NameFilterOf(request));
  if (request.default_extension.size() > 1) {
    dialog.setDefaultSuffix(QString::fromStdString(request.default_extension.substr(1)));
  }
  if (!request.initial_name.empty())
    dialog.selectFile(QString::fromStdString(request.initial_name));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> ChooseFolder(QWidget* parent, const std::string& caption,
                                        const std::string& start) {
  QFileDialog dialog(parent, QString::fromStdString(caption),
                     start.empty() ? QDir::homePath() : QString::fromStdString(start));
  dialog.setObjectName("BrowseForFolder");
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

std::vector<std::string> ChooseFiles(QWidget* parent, const front::FileDialogRequest& request) {
  QFileDialog dialog(parent, QString::fromStdString(request.title),
                     QString::fromStdString(request.initial_folder));
  dialog.setObjectName("AddFilesDialog");
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFiles);
  std::vector<std::string> chosen;
  if (dialog.exec() != QDialog::Accepted) return chosen;
  for (const QString& file : dialog.selectedFiles()) chosen.push_back(file.toStdString());
  return chosen;
}

std::optional<std::string> ChooseNewPassword(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setObjectName("NewPasswordDialog");
  dialog.setWindowTitle("Password");
  auto* form = new QFormLayout(&dialog);
  form->addRow(
      new QLabel("The new files are encrypted with AES-256.\n"
                 "Whoever opens the zip needs this password."));
  auto* first = new QLineEdit(&dialog);
  auto* again = new QLineEdit(&dialog);
  first->setObjectName("edNewPassword");
  again->setObjectName("edConfirmPassword");
  for (QLineEdit* edit : {first, again}) edit->setEchoMode(QLineEdit::Password);
  form->addRow("&Password:", first);
  form->addRow("&Confirm:", again);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  form->addRow(buttons);
  QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
  auto agree = [=] { ok->setEnabled(!first->text().isEmpty() && first->text() == again->text()); };
  agree();
  QObject::connect(first, &QLineEdit::textChanged, &dialog, agree);
  QObject::connect(again, &QLineEdit::textChanged, &dialog, agree);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted || !ok->isEnabled()) return std::nullopt;
  return first->text().toStdString();
}

}  // namespace vz
