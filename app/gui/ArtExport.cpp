// Writes the program icon for installation:
//   tovalin-art <folder>          ->  <folder>/<n>x<n>/apps/tovalin.png, the sizes a desktop looks
//   for tovalin-art --ico <file>      ->  one Windows icon file holding every size (PNG images
//   inside)
#include <QBuffer>
#include <QByteArray>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/gui/ProgramArt.h"

namespace {

QByteArray PngOf(int size) {
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  tovalin::ProgramIconImage(size).save(&buffer, "PNG");
  return png;
}

// ICONDIR, one ICONDIRENTRY per image, then the images; 256 is written as 0.
bool WriteIco(const QString& path) {
  const std::vector<int> sizes = {16, 24, 32, 48, 64, 256};
  std::vector<QByteArray> images;
  for (int size : sizes) images.push_back(PngOf(size));
  QByteArray ico;
  QDataStream out(&ico, QIODevice::WriteOnly);
  out.setByteOrder(QDataStream::LittleEndian);
  out << quint16(0) << quint16(1) << quint16(sizes.size());
  quint32 offset = 6 + 16 * quint32(sizes.size());
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const quint8 side = sizes[i] >= 256 ? 0 : quint8(sizes[i]);
    out << side << side << quint8(0) << quint8(0) << quint16(1) << quint16(32)
        << quint32(images[i].size()) << offset;
    offset += quint32(images[i].size());
  }
  for (const QByteArray& image : images) ico.append(image);
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(ico) == ico.size() && file.flush();
}

bool WritePngFolders(const QString& root) {
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
    const QString folder = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
    if (!QDir().mkpath(folder) ||
        !tovalin::ProgramIconImage(size).save(folder + QStringLiteral("/tovalin.png"), "PNG")) {
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
