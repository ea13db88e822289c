#include "app/widgets/GraphicListBox.h"

#include <QAbstractItemDelegate>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <algorithm>

#include "app/widgets/SysColors.h"

namespace tovalin {

namespace {

// Hands every row to the list's own drawing, with the hover state taken from the list's hover
// tracking rather than from the style's mouse-over flag, and keyboard focus never passed on.
class RowDelegate : public QAbstractItemDelegate {
 public:
  explicit RowDelegate(TGraphicListBox* list) : QAbstractItemDelegate(list), list_(list) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    const bool selected = option.state.testFlag(QStyle::State_Selected);
    list_->DrawItem(*painter, index.row(), option.rect, selected, index.row() == list_->HotIndex());
  }
  QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
    return {list_->viewport()->width(), list_->ItemHeight()};
  }

 private:
  TGraphicListBox* list_;
};

}  // namespace

TGraphicListBox::TGraphicListBox(QWidget* parent) : QListWidget(parent) {
  const QPalette pal = palette();
  borderHighlight_ = SysColor(TSysColor::clBtnHighlight, pal);
  borderShadow_ = SysColor(TSysColor::clBtnShadow, pal);
  focusedColor_ = SysColor(TSysColor::clBtnFace, pal);
  selectedColor_ = SysColor(TSysColor::clBtnFace, pal);
  secondColor_ = Color();
  const QColor text = SysColor(TSysColor::clWindowText, pal);
  focusedFontColor_ = secondFontColor_ = selectedFontColor_ = text;

  setItemDelegate(new RowDelegate(this));
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);

  hoverTimer_.setInterval(kHoverInterval);
  connect(&hoverTimer_, &QTimer::timeout, this, &TGraphicListBox::CheckHover);
  RecalcItemHeight();
}

void TGraphicListBox::SetAutoItemHeight(bool value) {
  autoItemHeight_ = value;
  RecalcItemHeight();
}

void TGraphicListBox::SetFocusedColor(const QColor& value) {
  focusedColor_ = value;
  Refresh();
}
void TGraphicListBox::SetFocusedFont(const QFont& value) {
  focusedFont_ = value;
  Refresh();
}
void TGraphicListBox::SetFocusedFontColor(const QColor& value) {
  focusedFontColor_ = value;
  Refresh();
}

void TGraphicListBox::SetGlyphs(TImageList* value) {
  glyphs_ = value;
  RecalcItemHeight();
}

void TGraphicListBox::SetLayout(TButtonLayout value) {
  layout_ = value;
  RecalcItemHeight();
}

void TGraphicListBox::SetSecondColor(const QColor& value) {
  secondColor_ = value;
  Refresh();
}
void TGraphicListBox::SetSecondFont(const QFont& value) {
  secondFont_ = value;
  Refresh();
}
void TGraphicListBox::SetSecondFontColor(const QColor& value) {
  secondFontColor_ = value;
  Refresh();
}
void TGraphicListBox::SetSelectedColor(const QColor& value) {
  selectedColor_ = value;
  Refresh();
}
void TGraphicListBox::SetSelectedFont(const QFont& value) {
  selectedFont_ = value;
  Refresh();
}
void TGraphicListBox::SetSelectedFontColor(const QColor& value) {
  selectedFontColor_ = value;
  Refresh();
}

void TGraphicListBox::SetSpacer(int value) {
  spacer_ = value;
  RecalcItemHeight();
}

void TGraphicListBox::SetGlyphScale(int value) {
  glyphScale_ = value <= 0 ? 1 : value;
  RecalcItemHeight();
}

QColor TGraphicListBox::Color() const {
  return palette().color(QPalette::Active, QPalette::Base);
}

void TGraphicListBox::SetColor(const QColor& value) {
  QPalette pal = palette();
  pal.setColor(QPalette::Base, value);
  setPalette(pal);
  Refresh();
}

QColor TGraphicListBox::FontColor() const {
  return palette().color(QPalette::Active, QPalette::Text);
}

void TGraphicListBox::SetFontColor(const QColor& value) {
  QPalette pal = palette();
  pal.setColor(QPalette::Text, value);
  setPalette(pal);
  Refresh();
}

void TGraphicListBox::SetItemHeight(int value) {
  if (value <= 0 || value == itemHeight_) return;
  itemHeight_ = value;
  doItemsLayout();
  Refresh();
}

int TGraphicListBox::ItemIndex() const {
  const QList<QListWidgetItem*> items = selectedItems();
  return items.isEmpty() ? -1 : row(items.first());
}

void TGraphicListBox::SetItemIndex(int index) {
  if (index < 0 || index >= count()) {
    clearSelection();
    setCurrentRow(-1);
    return;
  }
  setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
}

int TGraphicListBox::TopIndex() const {
  if (count() == 0) return -1;
  const QModelIndex top = indexAt(QPoint(0, 0));
  return top.isValid() ? top.row() : 0;
}

void TGraphicListBox::SetTopIndex(int index) {
  if (index < 0 || index >= count()) return;
  scrollToItem(item(index), QAbstractItemView::PositionAtTop);
}

void TGraphicListBox::RecalcItemHeight() {
  if (autoItemHeight_) {
    int height = QFontInfo(font()).pixelSize();
    if (glyphs_) {
      const int gh = glyphs_->Height() * glyphScale_ / 100;
      switch (layout_) {
        case TButtonLayout::blGlyphLeft:
        case TButtonLayout::blGlyphRight:
          height = std::max(height, gh + spacer_ + 2);
          break;
        case TButtonLayout::blGlyphTop:
        case TButtonLayout::blGlyphBottom:
          height += gh + spacer_ + 2;
          break;
      }
    }
    if (height > 0) itemHeight_ = height;
  }
  doItemsLayout();
  Refresh();
}

void TGraphicListBox::Refresh() {
  viewport()->update();
}

void TGraphicListBox::RedrawRow(int index) {
  if (index < 0 || index >= count()) return;
  viewport()->update(visualItemRect(item(index)));
}

void TGraphicListBox::CheckHover() {
  const QPoint pos = viewport()->mapFromGlobal(QCursor::pos());
  const QModelIndex under = indexAt(pos);
  const int row = viewport()->rect().contains(pos) && under.isValid() ? under.row() : -1;
  if (row == hot_) return;
  const int old = hot_;
  hot_ = row;
  RedrawRow(old);
  RedrawRow(hot_);
}

void TGraphicListBox::enterEvent(QEnterEvent* event) {
  QListWidget::enterEvent(event);
  if (count() > 0) hoverTimer_.start();
}

void TGraphicListBox::leaveEvent(QEvent* event) {
  QListWidget::leaveEvent(event);
  hoverTimer_.stop();
  const int old = hot_;
  hot_ = -1;
  RedrawRow(old);
}

void TGraphicListBox::mouseReleaseEvent(QMouseEvent* event) {
  QListWidget::mouseReleaseEvent(event);
  if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid()) {
    emit Click();
  }
}

void TGraphicListBox::keyPressEvent(QKeyEvent* event) {
  const int before = ItemIndex();
  QListWidget::keyPressEvent(event);
  if (ItemIndex() != before) emit Click();
}

void TGraphicListBox::resizeEvent(QResizeEvent* event) {
  QListWidget::resizeEvent(event);
  // Rows span the client width, so every row changes with it.
  doItemsLayout();
}

void TGraphicListBox::DrawItem(QPainter& painter, int index, const QRect& rect, bool selected,
                               bool focused) {
  // Row style: alternating pairs, or the system highlight for a selected row in flat style.
  QColor brush = index % 2 != 0 ? secondColor_ : Color();
  QFont font = index % 2 != 0 ? secondFont_ : this->font();
  QColor fontColor = index % 2 != 0 ? secondFontColor_ : FontColor();
  if (flat_ && selected) {
    brush = SysColor(TSysColor::clHighlight, palette());
    fontColor = SysColor(TSysColor::clHighlightText, palette());
  }
  const QColor rowBrush = brush;

  int gw = 0;
  int gh = 0;
  if (glyphs_) {
    gw = glyphs_->Width() * glyphScale_ / 100;
    gh = glyphScale_ * glyphs_->Height() / 100;
  }

  // Text block, measured in the row font.
  const QString text = index >= 0 && index < count() ? item(index)->text() : QString();
  const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
  const QFontMetrics metrics(font);
  int tw = 0;
  for (const QString& line : lines) tw = std::max(tw, metrics.horizontalAdvance(line));
  const int th = metrics.height();
  const int lh = static_cast<int>(lines.size()) * th;

  int w = tw;
  int h = lh;
  if (glyphs_) {
    if (layout_ == TButtonLayout::blGlyphLeft || layout_ == TButtonLayout::blGlyphRight) {
      w += gw + spacer_ + 4;
      h = std::max(h, gh);
    } else {
      h = lh + gh + spacer_ + 2;
      w = std::max(w, gw);
    }
  }
  const int ch = h;
  const int cw = viewport()->width();
  const int bw = std::max(w, cw);
  const int bh = std::max(h, itemHeight_);

  QImage bitmap(std::max(bw, 1), std::max(bh, 1), QImage::Format_ARGB32_Premultiplied);
  if (!flat_) {
    if (selected) {
      brush = selectedColor_;
      font = selectedFont_;
      fontColor = selectedFontColor_;
    }
    if (focused) {
      brush = focusedColor_;
      font = focusedFont_;
      fontColor = focusedFontColor_;
    }
  }
  bitmap.fill(brush);

  QPainter canvas(&bitmap);
  canvas.setFont(font);
  canvas.setPen(fontColor);
  canvas.setBackground(brush);
  canvas.setBackgroundMode(Qt::OpaqueMode);

  int top = (bh - ch) / 2;
  int left = 0;
  if (layout_ == TButtonLayout::blGlyphLeft) left = gw + spacer_ + 4;
  if (layout_ == TButtonLayout::blGlyphTop) top += gh + spacer_ + 2;
  if (layout_ == TButtonLayout::blGlyphLeft || layout_ == TButtonLayout::blGlyphRight) {
    top = (bh - lh) / 2;
  } else {
    left = (bw - tw) / 2;
  }
  const QFontMetrics drawMetrics(font);
  for (int k = 0; k < lines.size(); ++k) {
    const QString& line = lines[k];
    canvas.drawText(QRect(left, top + k * th, drawMetrics.horizontalAdvance(line), th),
                    Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, line);
  }
  canvas.setBackgroundMode(Qt::TransparentMode);

  if (glyphs_ && index >= 0 && index < glyphs_->Count()) {
    QImage scratch(glyphs_->Width(), glyphs_->Height(), QImage::Format_ARGB32_Premultiplied);
    scratch.fill(brush);
    {
      QPainter glyphPainter(&scratch);
      glyphs_->Draw(glyphPainter, 0, 0, index);
    }
    const int y0 = (bh - ch) / 2;
    QRect target;
    switch (layout_) {
      case TButtonLayout::blGlyphLeft:
        target = QRect(2, (bh - gh) / 2, gw, gh);
        break;
      case TButtonLayout::blGlyphRight:
        target = QRect(bw - 2 - gw, (bh - gh) / 2, gw, gh);
        // Text running under the glyph ends two pixels before it.
        canvas.fillRect(QRect(target.left() - 2, 0, 2, bh), brush);
        break;
      case TButtonLayout::blGlyphTop:
        target = QRect((bw - gw) / 2, y0 + 1, gw, gh);
        break;
      case TButtonLayout::blGlyphBottom:
        target = QRect((bw - gw) / 2, y0 + lh + spacer_ + 1, gw, gh);
        canvas.fillRect(QRect(0, target.top() - 1, bw, 1), brush);
        break;
    }
    canvas.drawImage(target, scratch);
  }

  // The visible band: the client width, centred, or the leftmost part of wider content; the
  // row height from the top.
  const int sx = std::max(0, (cw - bw) / 2);
  const QRect source(sx, 0, cw, itemHeight_);

  if (!flat_) {
    const int l = source.left();
    const int t = source.top();
    const int r = source.left() + source.width() - 1;
    const int b = source.top() + source.height() - 1;
    const QPoint topLeft[] = {{l, b}, {l, t}, {r, t}};
    const QPoint bottomRight[] = {{l, b}, {r, b}, {r, t}};
    canvas.setRenderHint(QPainter::Antialiasing, false);
    if (selected) {
      canvas.setPen(QPen(borderShadow_, 1));
      canvas.drawPolyline(topLeft, 3);
      canvas.setPen(QPen(borderHighlight_, 1));
      canvas.drawPolyline(bottomRight, 3);
    }
    if (focused) {
      canvas.setPen(QPen(borderHighlight_, 1));
      canvas.drawPolyline(topLeft, 3);
      canvas.setPen(QPen(borderShadow_, 1));
      canvas.drawPolyline(bottomRight, 3);
    }
  }
  canvas.end();

  painter.fillRect(rect, rowBrush);
  painter.drawImage(rect.topLeft(), bitmap, source);

  if (flat_ && selected) {
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = rect;
    option.backgroundColor = rowBrush;
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
  }

  emit TopChange();
}

}  // namespace tovalin
