#include "app/gui/Panel.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "app/widgets/SysColors.h"

namespace tovalin {

TPanel::TPanel(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::NoFrame);
}

void TPanel::SetCaption(const QString& caption) {
  caption_ = caption;
  update();
}

void TPanel::SetBevels(bool outerLowered, bool innerRaised) {
  outerLowered_ = outerLowered;
  innerRaised_ = innerRaised;
  update();
}

void TPanel::paintEvent(QPaintEvent*) {
  QPainter p(this);
  QRect r = rect();
  const QColor light = SysColor(TSysColor::clBtnHighlight, palette());
  const QColor shadow = SysColor(TSysColor::clBtnShadow, palette());
  auto bevel = [&](const QColor& topLeft, const QColor& bottomRight) {
    p.setPen(topLeft);
    p.drawLine(r.left(), r.bottom(), r.left(), r.top());
    p.drawLine(r.left(), r.top(), r.right(), r.top());
    p.setPen(bottomRight);
    p.drawLine(r.left() + 1, r.bottom(), r.right(), r.bottom());
    p.drawLine(r.right(), r.bottom(), r.right(), r.top() + 1);
    r.adjust(1, 1, -1, -1);
  };
  if (outerLowered_) bevel(shadow, light);
  if (innerRaised_) bevel(light, shadow);
  p.setPen(palette().color(QPalette::WindowText));
  p.drawText(r, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, caption_);
}

TSplitter::TSplitter(QWidget* above, QWidget* parent) : QWidget(parent), above_(above) {
  setCursor(Qt::SizeVerCursor);
}

void TSplitter::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  grabY_ = event->globalPosition().toPoint().y();
  startHeight_ = above_->height();
}

void TSplitter::mouseMoveEvent(QMouseEvent* event) {
  if (grabY_ < 0) return;
  const int room = parentWidget()->height() - height();
  int wanted = startHeight_ + event->globalPosition().toPoint().y() - grabY_;
  wanted = std::min(wanted, room - minSize_);
  wanted = std::max(wanted, minSize_);
  if (wanted != above_->height()) {
    above_->resize(above_->width(), wanted);
    emit Moved();
  }
}

void TSplitter::mouseReleaseEvent(QMouseEvent*) {
  grabY_ = -1;
}

}  // namespace tovalin
