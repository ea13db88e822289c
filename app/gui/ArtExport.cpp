// Writes the program icon as PNG files of the sizes a desktop looks for, for installation:
//   tovalin-art <folder>   ->  <folder>/<n>x<n>/apps/tovalin.png
#include <QDir>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>

#include "app/gui/ProgramArt.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: tovalin-art <folder>\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  const QString root = QString::fromLocal8Bit(argv[1]);
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
    if (!QDir().mkpath(folder) ||
        !tovalin::ProgramIconImage(size).save(folder + QStringLiteral("/tovalin.png"), "PNG")) {
      std::fprintf(stderr, "tovalin-art: cannot write %s\n", qPrintable(folder));
      return 1;
    }
  }
  return 0;
}
