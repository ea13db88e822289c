#include "app/gui/ProgramArt.h"

#include <QApplication>
#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <cstdlib>

namespace tovalin {

namespace {

QImage Blank(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

// Draws the icon on a 256-unit canvas.
void PaintIcon(QPainter& p) {
  p.setRenderHint(QPainter::Antialiasing, true);

  QLinearGradient face(0, 16, 0, 240);
  face.setColorAt(0, QColor(0x4A, 0x98, 0xEC));
  face.setColorAt(1, QColor(0x17, 0x4A, 0x97));
  p.setPen(QPen(QColor(0x10, 0x36, 0x70), 6));
  p.setBrush(face);
  p.drawRoundedRect(QRectF(14, 14, 228, 228), 46, 46);

  // A document with a folded corner.
  QPainterPath sheet;
  sheet.moveTo(58, 42);
  sheet.lineTo(150, 42);
  sheet.lineTo(188, 80);
  sheet.lineTo(188, 214);
  sheet.lineTo(58, 214);
  sheet.closeSubpath();
  p.setPen(QPen(QColor(0x9C, 0xB8, 0xDC), 4));
  p.setBrush(QColor(0xFB, 0xFC, 0xFF));
  p.drawPath(sheet);
  QPainterPath fold;
  fold.moveTo(150, 42);
  fold.lineTo(150, 80);
  fold.lineTo(188, 80);
  fold.closeSubpath();
  p.setBrush(QColor(0xD4, 0xE2, 0xF4));
  p.drawPath(fold);
  p.setPen(QPen(QColor(0x8F, 0xB3, 0xE2), 10, Qt::SolidLine, Qt::RoundCap));
  for (int y = 104; y <= 176; y += 24) p.drawLine(QPointF(80, y), QPointF(y < 120 ? 128 : 164, y));

  // A spanner across the lower right corner.
  const QColor spanner(0xF5, 0x9E, 0x1A);
  const QColor outline(0x9A, 0x55, 0x00);
  p.setPen(QPen(outline, 40, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(112, 226), QPointF(186, 152));
  p.setPen(QPen(spanner, 30, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(112, 226), QPointF(186, 152));
  p.setPen(QPen(outline, 5));
  p.setBrush(spanner);
  p.drawEllipse(QPointF(196, 142), 40, 40);
  // The jaw: an opening cut towards the upper right.
  p.setPen(Qt::NoPen);
  p.setBrush(face);
  p.save();
  p.translate(196, 142);
  p.rotate(-45);
  p.drawRoundedRect(QRectF(-13, -46, 26, 44), 6, 6);
  p.restore();
}

}  // namespace

QImage ProgramIconImage(int size) {
  QImage image = Blank(size, size);
  QPainter p(&image);
  p.scale(size / 256.0, size / 256.0);
  PaintIcon(p);
  return image;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (const ProgramIconSize& size : kProgramIconSizes) {
    if (size.window) icon.addPixmap(QPixmap::fromImage(ProgramIconImage(size.side)));
  }
  return icon;
}

QImage BannerImage() {
  QImage image = Blank(88, 31);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  QLinearGradient back(0, 0, 88, 31);
  back.setColorAt(0, QColor(0x1D, 0x55, 0xA8));
  back.setColorAt(1, QColor(0x4A, 0x98, 0xEC));
  p.setPen(QColor(0x10, 0x36, 0x70));
  p.setBrush(back);
  p.drawRect(QRectF(0.5, 0.5, 87, 30));
  p.drawImage(QRect(4, 4, 23, 23), ProgramIconImage(23));
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(13);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRect(29, 0, 57, 31), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("Tovalin"));
  return image;
}

QImage ApplicationIconImage(int size) {
  QImage image = Blank(size, size);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);
  p.scale(size / 32.0, size / 32.0);
  p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
  p.setBrush(Qt::white);
  p.drawRect(QRectF(2.5, 4.5, 27, 23));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x1A, 0x4E, 0x9E));
  p.drawRect(QRectF(3, 5, 26, 5));
  p.setBrush(QColor(0xD0, 0xD0, 0xD0));
  p.drawRect(QRectF(25, 6, 3, 3));
  return image;
}

QImage SystemIconImage(SystemIconKind kind, int size) {
  QStyle::StandardPixmap pixmap = QStyle::SP_MessageBoxInformation;
  if (kind == SystemIconKind::Question) pixmap = QStyle::SP_MessageBoxQuestion;
  if (kind == SystemIconKind::Warning) pixmap = QStyle::SP_MessageBoxWarning;
  const QIcon icon = QApplication::style()->standardIcon(pixmap);
  QImage image = icon.pixmap(size, size).toImage();
  if (image.isNull()) return Blank(size, size);
  if (image.width() != size || image.height() != size) {
    image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
  }
  return image;
}

QImage IconImageFromIco(const std::vector<std::uint8_t>& ico, int size) {
  if (ico.empty()) return {};
  QByteArray bytes(reinterpret_cast<const char*>(ico.data()), static_cast<qsizetype>(ico.size()));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "ico");
  QImage best;
  int bestScore = 0;
  const int count = std::max(1, reader.imageCount());
  for (int i = 0; i < count; ++i) {
    if (i > 0 && !reader.jumpToImage(i)) break;
    const QImage image = reader.read();
    if (image.isNull()) continue;
    // Prefer the exact size, then larger ones (they scale down well), then the deepest colours.
    const int diff = std::abs(image.width() - size);
    int score = 100000 - diff * 100 + image.depth();
    if (image.width() < size) score -= 50000;
    if (best.isNull() || score > bestScore) {
      best = image;
      bestScore = score;
    }
  }
  return best;
}

}  // namespace tovalin
