// The Qt window under test on the offscreen platform: a window over a Wine prefix with FSX, and
// the helpers that answer its boxes and dialogs as a user would, drop files on it and wait.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/zip_utility_form.h"
#include "test_support.h"

namespace vz::form_test {

namespace fs = std::filesystem;
using vz::testing::ScratchDir;

class Form : public ZipUtilityForm {
 public:
  using ZipUtilityForm::ZipUtilityForm;
  std::vector<std::string> pages;
  void OpenWebPage(const std::string& url) override { pages.push_back(url); }
};

inline front::WindowSettings WithFsx(const ScratchDir& dir) {
  fs::create_directories(dir.path() / "prefix/drive_c/FSX");
  fs::create_directories(dir.path() / "prefix/dosdevices");
  if (!fs::is_symlink(dir.path() / "prefix/dosdevices/c:")) {
    fs::create_directory_symlink("../drive_c", dir.path() / "prefix/dosdevices/c:");
  }
  vz::testing::WriteFile(dir / "prefix/drive_c/FSX/fsx.exe", "");
  vz::testing::WriteFile(dir / "prefix/user.reg",
                         "WINE REGISTRY Version 2\n\n[Software\\\\Microsoft\\\\Microsoft "
                         "Games\\\\Flight Simulator\\\\10.0]\n\"AppPath\"=\"C:\\\\FSX\"\n");
  return {{dir / "prefix", dir.path().string()}, dir.path().string()};
}

// Answers the modal boxes and dialogs as they open, one step each, in turn. A box or dialog that
// no step answers within five seconds is a failure, and is closed so that the test goes on.
class Modals {
 public:
  using Step = std::function<void(QWidget*)>;
  explicit Modals(std::deque<Step> steps) : steps_(std::move(steps)) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }
  bool Done() const { return steps_.empty(); }

 private:
  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || steps_.empty()) return;
    if (modal == last_) {
      if (++unanswered_ == 500) {
        ADD_FAILURE() << "unanswered: " << modal->metaObject()->className() << " "
                      << modal->windowTitle().toStdString();
        modal->close();
      }
      return;
    }
    last_ = modal;
    unanswered_ = 0;
    Step step = std::move(steps_.front());
    steps_.pop_front();
    step(modal);
  }
  std::deque<Step> steps_;
  QPointer<QWidget> last_;  // a box destroyed since may leave a new one at its address
  int unanswered_ = 0;
  QTimer timer_;
};

struct SeenBox {
  std::string title, text;
  std::vector<std::string> buttons;  // left to right
  std::string enter, escape;         // the default and Escape buttons' captions
  QRect frame;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Reads a message box into seen, then presses the button with the caption, or a key, or closes
// the box from its title bar (press "close").
inline Modals::Step Box(SeenBox* seen, std::string press, Qt::Key key = Qt::Key_unknown) {
  return [=](QWidget* w) {
    auto* box = qobject_cast<QMessageBox*>(w);
    ASSERT_NE(box, nullptr) << w->metaObject()->className();
    QTest::qWait(20);  // placed once shown
    if (seen != nullptr) {
      seen->title = box->windowTitle().toStdString();
      seen->text = box->text().toStdString();
      const QList<QAbstractButton*> list = box->buttons();
      std::vector<QAbstractButton*> buttons(list.begin(), list.end());
      std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) {
        return a->mapToGlobal(QPoint()).x() < b->mapToGlobal(QPoint()).x();
      });
      for (auto* b : buttons) seen->buttons.push_back(b->text().toStdString());
      if (box->defaultButton() != nullptr) seen->enter = box->defaultButton()->text().toStdString();
      if (box->escapeButton() != nullptr) seen->escape = box->escapeButton()->text().toStdString();
      seen->frame = box->frameGeometry();
      seen->icon = box->icon();
    }
    if (key != Qt::Key_unknown) return QTest::keyClick(box, key);
    if (press == "close") {
      box->close();
      return;
    }
    for (QAbstractButton* b : box->buttons()) {
      if (b->text().toStdString() == press) return b->click();
    }
    ADD_FAILURE() << "no button " << press;
  };
}

// Chooses a path in a file or folder dialog; title records its title.
inline Modals::Step Dialog(const std::string& path, std::string* title = nullptr,
                           std::function<void(QFileDialog*)> look = {}) {
  return [=](QWidget* w) {
    auto* dialog = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(dialog, nullptr) << w->metaObject()->className();
    if (title != nullptr) *title = dialog->windowTitle().toStdString();
    if (look) look(dialog);
    const fs::path chosen(path);
    if (dialog->fileMode() == QFileDialog::Directory) {
      dialog->setDirectory(QString::fromStdString(path));  // the folder shown is the one chosen
    } else {
      // As a user does: go to the folder, type the name.
      dialog->setDirectory(QString::fromStdString(chosen.parent_path().string()));
      auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
      ASSERT_NE(name, nullptr);
      name->setText(QString::fromStdString(chosen.filename().string()));
    }
    static_cast<QDialog*>(dialog)->accept();  // as its own button would
  };
}

inline bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
  for (int waited = 0; !done() && waited < ms; waited += 10) QTest::qWait(10);
  return done();
}

// Drops local files on a control, as the desktop does; the window takes drops anywhere.
inline void Drop(QWidget* on, const std::vector<std::string>& paths) {
  QMimeData data;
  QList<QUrl> urls;
  for (const auto& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
  data.setUrls(urls);
  const QPointF at = on->rect().center();
  QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(on, &enter);
  ASSERT_TRUE(enter.isAccepted());
  QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(on, &drop);
  ASSERT_TRUE(drop.isAccepted());
  QTest::qWait(20);  // the drop is handled once the desktop's drag has finished
}

inline std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QApplication::setFont(WindowFont());
    form = std::make_unique<Form>(WithFsx(dir));
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QTest::qWait(20);  // FormShow: the summary of the empty list, the FSX check
  }
  template <typename T = QWidget>
  T* Get(const char* name) {
    T* w = form->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  void Click(const char* name) { QTest::mouseClick(Get(name), Qt::LeftButton); }

  ScratchDir dir;
  std::unique_ptr<Form> form;
};

}  // namespace vz::form_test
