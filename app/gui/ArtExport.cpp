// Writes the program icon for installation:
//   tovalin-art <folder>          ->  <folder>/<n>x<n>/apps/tovalin.png, the sizes a desktop looks
//   for tovalin-art --ico <file>      ->  one Windows icon file holding every size (PNG images
//   inside)
#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/gui/ProgramArt.h"
#include "support/IcoFile.h"

namespace {

std::vector<std::uint8_t> PngOf(int size) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  tovalin::ProgramIconImage(size).save(&buffer, "PNG");
  return std::vector<std::uint8_t>(png.begin(), png.end());
}

bool WriteIco(const QString& path) {
  std::vector<tovalin::IcoImage> images;
  for (const tovalin::ProgramIconSize& size : tovalin::kProgramIconSizes) {
    if (size.icoFile) images.push_back({tovalin::IcoEntry(size.side, size.side), PngOf(size.side)});
  }
  const std::vector<std::uint8_t> ico = tovalin::WriteIco(images);
  QFile file(path);
  return file.open(QIODevice::WriteOnly) &&
         file.write(reinterpret_cast<const char*>(ico.data()), static_cast<qint64>(ico.size())) ==
             static_cast<qint64>(ico.size()) &&
         file.flush();
}

bool WritePngFolders(const QString& root) {
  for (const tovalin::ProgramIconSize& size : tovalin::kProgramIconSizes) {
    if (!size.desktop) continue;
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size.side);
    if (!QDir().mkpath(folder) || !tovalin::ProgramIconImage(size.side).save(
                                      folder + QStringLiteral("/tovalin.png"), "PNG")) {
      std::fprintf(stderr, "tovalin-art: cannot write %s\n", qPrintable(folder));
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool ico = argc == 3 && QByteArray(argv[1]) == "--ico";
  if (argc != 2 && !ico) {
    std::fprintf(stderr, "usage: tovalin-art <folder> | tovalin-art --ico <file>\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (ico) {
    const QString path = QString::fromLocal8Bit(argv[2]);
    if (!WriteIco(path)) {
      std::fprintf(stderr, "tovalin-art: cannot write %s\n", argv[2]);
      return 1;
    }
    return 0;
  }
  return WritePngFolders(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
