#include "app/install_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vz {

namespace {

QString Lines(const std::vector<std::string>& lines) {
  QStringList texts;
  for (const std::string& line : lines) texts.push_back(QString::fromStdString(line));
  return texts.join('\n');
}

}  // namespace

front::InstallPlanAnswer ShowInstallPlanDialog(QWidget* parent,
                                               const front::InstallPlanRequest& request) {
  QDialog dialog(parent);
  dialog.setObjectName("InstallPlanDialog");
  dialog.setWindowTitle(QString::fromStdString(request.title));
  auto* layout = new QVBoxLayout(&dialog);
  auto* parts = new QLabel(&dialog);
  parts->setObjectName("planParts");
  QString heading =
      request.update ? "It was installed before: the old install is removed first.\n\n" : QString();
  heading += "Each part goes where FSX expects it:\n" + Lines(request.parts);
  parts->setText(heading);
  layout->addWidget(parts);
  auto* lines = new QPlainTextEdit(&dialog);
  lines->setObjectName("planLines");
  lines->setReadOnly(true);
  lines->setLineWrapMode(QPlainTextEdit::NoWrap);
  lines->setPlainText(Lines(request.lines));
  layout->addWidget(lines);
  // A choice a part waits for: a label and a list.
  const auto choice = [&](const char* name, const QString& label,
                          const std::vector<std::string>& entries) -> QComboBox* {
    if (entries.empty()) return nullptr;
    layout->addWidget(new QLabel(label, &dialog));
    auto* combo = new QComboBox(&dialog);
    combo->setObjectName(name);
    for (const std::string& entry : entries) combo->addItem(QString::fromStdString(entry));
    layout->addWidget(combo);
    return combo;
  };
  QComboBox* aircraft =
      choice("planAircraft", "The installed aircraft that gets the livery:", request.aircraft);
  QComboBox* simobject =
      choice("planSimObject", "Where the sim object goes:", request.simobject_folders);
  QCheckBox* replace = nullptr;
  if (request.different > 0) {
    replace = new QCheckBox(
        QString("&Replace the %1 file(s) that exist and differ (their old copies are kept for "
                "uninstall)")
            .arg(request.different),
        &dialog);
    replace->setObjectName("planReplace");
    layout->addWidget(replace);
  }
  if (request.identical > 0) {
    layout->addWidget(new QLabel(
        QString("%1 file(s) are there already, the same: skipped.").arg(request.identical),
        &dialog));
  }
  auto* buttons = new QDialogButtonBox(&dialog);
  QPushButton* install = buttons->addButton("&Install", QDialogButtonBox::AcceptRole);
  install->setObjectName("btnInstall");
  install->setDefault(true);
  buttons->addButton(QDialogButtonBox::Cancel)->setObjectName("btnCancel");
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  dialog.resize(640, 420);
  front::InstallPlanAnswer answer;
  answer.install = dialog.exec() == QDialog::Accepted;
  answer.replace_different = replace != nullptr && replace->isChecked();
  answer.aircraft = aircraft != nullptr ? aircraft->currentIndex() : -1;
  answer.simobject_folder = simobject != nullptr ? simobject->currentIndex() : -1;
  return answer;
}

std::optional<int> ShowInstalledAddonsDialog(QWidget* parent,
                                             const std::vector<std::string>& entries) {
  QDialog dialog(parent);
  dialog.setObjectName("InstalledAddonsDialog");
  dialog.setWindowTitle("Installed Add-ons");
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel(entries.empty()
                                   ? "No add-ons have been installed with Veldrin Zip."
                                   : "Add-ons installed with Veldrin Zip (name - kind - folder):",
                               &dialog));
  auto* list = new QListWidget(&dialog);
  list->setObjectName("addonList");
  for (const std::string& entry : entries) list->addItem(QString::fromStdString(entry));
  layout->addWidget(list);
  auto* buttons = new QDialogButtonBox(&dialog);
  QPushButton* uninstall = buttons->addButton("&Uninstall", QDialogButtonBox::AcceptRole);
  uninstall->setObjectName("btnUninstall");
  uninstall->setEnabled(false);
  buttons->addButton(QDialogButtonBox::Close)->setObjectName("btnClose");
  QObject::connect(list, &QListWidget::currentRowChanged, uninstall,
                   [uninstall](int row) { uninstall->setEnabled(row >= 0); });
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  dialog.resize(520, 300);
  if (dialog.exec() != QDialog::Accepted || list->currentRow() < 0) return std::nullopt;
  return list->currentRow();
}

}  // namespace vz
