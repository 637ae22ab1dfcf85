// veldrin-zip: the Veldrin Zip window. With one zip file named it opens that zip on the "Extract
// Zip" page; with other files or folders it lists them on the "Create Zip" page (what a file
// manager's "Open with" passes).
#include <QApplication>
#include <QStyleFactory>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/zip_utility_form.h"
#include "front/product.h"
#include "platform/process.h"
#include "platform/temp_files.h"

namespace {

constexpr const char* kUsage =
    "Usage: veldrin-zip [ZIPFILE | FILE...]\n"
    "\n"
    "The Veldrin Zip window, for zip archives of Flight Simulator X add-ons.\n"
    "  ZIPFILE   a zip file to open on the \"Extract Zip\" page\n"
    "  FILE...   files (and the files below folders) to list on the \"Create Zip\" page\n"
    "\n"
    "  --help     show this text\n"
    "  --version  show the version\n"
    "Qt's own options (-platform, -style, ...) are understood as well.\n"
    "Without a display, the command-line tool works: vzip --help\n";

bool HasDisplay(int argc, char** argv) {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-platform") == 0) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("veldrin-zip (Veldrin Zip) %s\n", VZ_VERSION);
      return 0;
    }
  }
  if (!HasDisplay(argc, argv)) {
    std::fputs(
        "veldrin-zip: no display to show the window on (DISPLAY and WAYLAND_DISPLAY are not "
        "set); the command-line tool works without one: vzip --help\n",
        stderr);
    return 2;
  }
  // The codecs allocate their tables per item; freed memory is kept for the next one.
  vz::platform::KeepFreedMemoryForReuse();
  // A session that ends (SIGTERM, SIGHUP) or a Ctrl+C in the terminal that started the window
  // leaves no work file behind.
  vz::platform::RemoveTempFilesOnSignals();
  bool style_chosen = !qEnvironmentVariableIsEmpty("QT_STYLE_OVERRIDE");
  for (int i = 1; i < argc; ++i) {
    style_chosen = style_chosen || std::strncmp(argv[i], "-style", 6) == 0;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("veldrin-zip");
  QApplication::setApplicationVersion(VZ_VERSION);
  QGuiApplication::setDesktopFileName("veldrin-zip");
  // The design's sizes are those of a plain, compact style; a style chosen by the user wins.
  if (!style_chosen) QApplication::setStyle(QStyleFactory::create("Fusion"));
  QApplication::setFont(vz::WindowFont());  // the boxes and dialogs speak as the window does
  std::vector<std::string> paths;
  const QStringList arguments = QApplication::arguments();  // without Qt's own options
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    const std::string argument = arguments[i].toStdString();
    // Qt took its own options out already: anything else that starts with "-" is a mistake, not
    // a file name that was not found.
    if (argument.size() > 1 && argument[0] == '-') {
      std::fprintf(stderr, "veldrin-zip: unknown option '%s'\n\n%s", argument.c_str(), kUsage);
      return 2;
    }
    paths.push_back(argument);
  }
  vz::ZipUtilityForm window(vz::ZipUtilityForm::DefaultSettings(),
                            vz::ZipUtilityForm::RememberedSettingsFile());
  window.OpenAtStart(std::move(paths));
  window.show();
  return QApplication::exec();
}
