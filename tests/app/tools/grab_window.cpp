// Saves what a window of the X display shows as a PNG file: grab_window WINDOW OUT.png, where
// WINDOW is an X window id (0: the whole screen). Used by the screenshot test under Xvfb.
#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: grab_window WINDOW OUT.png\n", stderr);
    return 2;
  }
  QGuiApplication app(argc, argv);
  QScreen* screen = QGuiApplication::primaryScreen();
  const QPixmap shot =
      screen != nullptr ? screen->grabWindow(std::strtoull(argv[1], nullptr, 0)) : QPixmap();
  if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[2]))) {
    std::fprintf(stderr, "grab_window: cannot grab window %s into %s\n", argv[1], argv[2]);
    return 1;
  }
  std::printf("%dx%d\n", shot.width(), shot.height());
  return 0;
}
