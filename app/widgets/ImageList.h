// A list of equally sized images addressed by index, as the list boxes draw their glyphs from.
#pragma once

#include <QImage>
#include <QObject>
#include <QPainter>
#include <vector>

namespace tovalin {

class TImageList : public QObject {
  Q_OBJECT
 public:
  TImageList(int width, int height, QObject* parent = nullptr);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Count() const { return static_cast<int>(images_.size()); }

  // Images of another size are scaled to the list's size. Returns the new index.
  int Add(const QImage& image);
  void Clear();
  const QImage& Image(int index) const { return images_.at(static_cast<std::size_t>(index)); }
  // Draws image `index` at its full size with its top left corner at (x, y).
  void Draw(QPainter& painter, int x, int y, int index) const;

 signals:
  void Changed();

 private:
  int width_;
  int height_;
  std::vector<QImage> images_;
};

}  // namespace tovalin
