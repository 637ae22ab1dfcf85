// Writes the program's icon as PNG files for the icon theme: FOLDER/SIZE/veldrin-zip.png for each
// size given. Run at build time; it draws without a display.
#include <QDir>
#include <QImage>
#include <cstdio>
#include <cstdlib>

#include "app/window_pictures.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: vz_icon_writer FOLDER SIZE...\n", stderr);
    return 2;
  }
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    const QString folder = QString::fromLocal8Bit(argv[1]) + "/" + QString::number(size);
    if (size <= 0 || !QDir().mkpath(folder) ||
        !vz::ProgramIconImage(size).save(folder + "/veldrin-zip.png")) {
      std::fprintf(stderr, "vz_icon_writer: cannot write the %s pixel icon in %s\n", argv[i],
                   argv[1]);
      return 1;
    }
  }
  return 0;
}
