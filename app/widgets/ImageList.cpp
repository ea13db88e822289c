#include "app/widgets/ImageList.h"

namespace tovalin {

TImageList::TImageList(int width, int height, QObject* parent)
    : QObject(parent), width_(width), height_(height) {}

int TImageList::Add(const QImage& image) {
  QImage stored = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  if (stored.isNull()) {
    stored = QImage(width_, height_, QImage::Format_ARGB32_Premultiplied);
    stored.fill(Qt::transparent);
  } else if (stored.width() != width_ || stored.height() != height_) {
    stored = stored.scaled(width_, height_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
  }
  images_.push_back(std::move(stored));
  emit Changed();
  return Count() - 1;
}

void TImageList::Clear() {
  images_.clear();
  emit Changed();
}

void TImageList::Draw(QPainter& painter, int x, int y, int index) const {
  if (index < 0 || index >= Count()) return;
  painter.drawImage(x, y, Image(index));
}

}  // namespace tovalin
