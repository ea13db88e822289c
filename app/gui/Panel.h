// A panel with a caption drawn beside its left edge, vertically centred, inside a lowered outer
// bevel and a raised inner bevel.
#pragma once

#include <QFrame>
#include <QString>
#include <QWidget>

namespace tovalin {

class TPanel : public QFrame {
  Q_OBJECT
 public:
  explicit TPanel(QWidget* parent = nullptr);

  QString Caption() const { return caption_; }
  void SetCaption(const QString& caption);
  void SetBevels(bool outerLowered, bool innerRaised);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString caption_;
  bool outerLowered_ = false;
  bool innerRaised_ = false;
};

// A horizontal bar the user drags to change the height of the control above it; the owner lays
// the neighbours out again when told.
class TSplitter : public QWidget {
  Q_OBJECT
 public:
  TSplitter(QWidget* above, QWidget* parent);
  // Neither neighbour is made smaller than this by dragging.
  void SetMinSize(int pixels) { minSize_ = pixels; }

 signals:
  void Moved();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QWidget* above_;
  int minSize_ = 30;
  int grabY_ = -1;
  int startHeight_ = 0;
};

}  // namespace tovalin
