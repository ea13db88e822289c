#include "app/gui/DialogArt.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

namespace tovalin {

namespace {

QImage Blank(int width, int height) {
  QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  return image;
}

// A painter over a 16-unit canvas of the image.
void Begin(QPainter& p, int size) {
  p.setRenderHint(QPainter::Antialiasing, true);
  p.scale(size / 16.0, size / 16.0);
}

}  // namespace

QImage MailGlyph(int size) {
  QImage image = Blank(size, size);
  QPainter p(&image);
  Begin(p, size);
  p.setPen(QPen(QColor(0x5A, 0x5A, 0x5A), 1));
  p.setBrush(QColor(0xFF, 0xF8, 0xE0));
  p.drawRect(QRectF(1.5, 3.5, 13, 9));
  p.setPen(QPen(QColor(0xB0, 0x7A, 0x10), 1.2));
  QPainterPath flap;
  flap.moveTo(1.5, 3.5);
  flap.lineTo(8, 9);
  flap.lineTo(14.5, 3.5);
  p.setBrush(Qt::NoBrush);
  p.drawPath(flap);
  return image;
}

QIcon ShieldIcon(const QStyle& style) {
  QIcon icon = style.standardIcon(QStyle::SP_VistaShield);
  if (!icon.isNull()) return icon;
  for (const int size : {16, 32}) {
    QImage image = Blank(size, size);
    QPainter p(&image);
    Begin(p, size);
    QPainterPath shield;
    shield.moveTo(8, 0.8);
    shield.lineTo(14.5, 3);
    shield.cubicTo(14.5, 9.5, 11.5, 13, 8, 15.2);
    shield.cubicTo(4.5, 13, 1.5, 9.5, 1.5, 3);
    shield.closeSubpath();
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 0.8));
    p.setBrush(QColor(0x1F, 0x5F, 0xC8));
    p.drawPath(shield);
    // The quarters of the Windows shield: yellow top right and bottom left.
    p.setClipPath(shield);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xF5, 0xC2, 0x1B));
    p.drawRect(QRectF(8, 0, 8, 8));
    p.drawRect(QRectF(0, 8, 8, 8));
    p.end();
    icon.addPixmap(QPixmap::fromImage(image));
  }
  return icon;
}

QImage CopyGlyph(int size) {
  QImage image = Blank(size, size);
  QPainter p(&image);
  Begin(p, size);
  p.setPen(QPen(QColor(0x5A, 0x5A, 0x5A), 1));
  for (const QPointF corner : {QPointF(1.5, 1.5), QPointF(5.5, 4.5)}) {
    p.setBrush(Qt::white);
    p.drawRect(QRectF(corner, QSizeF(8, 10)));
    p.setPen(QPen(QColor(0x7F, 0x9F, 0xCF), 1));
    for (int line = 0; line < 3; ++line) {
      const double y = corner.y() + 3 + line * 2.5;
      p.drawLine(QPointF(corner.x() + 2, y), QPointF(corner.x() + 6, y));
    }
    p.setPen(QPen(QColor(0x5A, 0x5A, 0x5A), 1));
  }
  return image;
}

QImage HelpGlyph(int size) {
  QImage image = Blank(size, size);
  QPainter p(&image);
  Begin(p, size);
  p.setPen(QPen(QColor(0x1A, 0x4E, 0x9E), 1));
  p.setBrush(QColor(0x3A, 0x7B, 0xD5));
  p.drawEllipse(QRectF(0.5, 0.5, 15, 15));
  QFont font(QStringLiteral("DejaVu Sans"));
  font.setPixelSize(12);
  font.setBold(true);
  p.setFont(font);
  p.setPen(Qt::white);
  p.drawText(QRectF(0, 0, 16, 16), Qt::AlignCenter, QStringLiteral("?"));
  return image;
}

QImage MakerMarkImage() {
  QImage image = Blank(67, 82);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing, true);

  // A shield with a crossbar "H" and a harrow's row of tines below it.
  QPainterPath shield;
  shield.moveTo(4, 4);
  shield.lineTo(63, 4);
  shield.lineTo(63, 44);
  shield.cubicTo(63, 62, 46, 72, 33.5, 78);
  shield.cubicTo(21, 72, 4, 62, 4, 44);
  shield.closeSubpath();
  QLinearGradient face(0, 4, 0, 78);
  face.setColorAt(0, QColor(0x2E, 0x6B, 0x3A));
  face.setColorAt(1, QColor(0x16, 0x3D, 0x20));
  p.setPen(QPen(QColor(0xC8, 0xA2, 0x3C), 3));
  p.setBrush(face);
  p.drawPath(shield);

  p.setPen(QPen(QColor(0xF2, 0xE3, 0xB0), 6, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(20, 14), QPointF(20, 46));
  p.drawLine(QPointF(47, 14), QPointF(47, 46));
  p.drawLine(QPointF(20, 30), QPointF(47, 30));

  p.setPen(QPen(QColor(0xC8, 0xA2, 0x3C), 2.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(15, 54), QPointF(52, 54));
  for (double x = 18; x <= 49; x += 7.75)
    p.drawLine(QPointF(x, 54), QPointF(x, 61 - (x - 33.5) * (x - 33.5) / 120));
  return image;
}

}  // namespace tovalin
