// An owner-drawn list with a glyph beside, above or below each row's text, rows alternating
// between two colour/font pairs, and distinct colours, fonts and one-pixel frames for selected
// and hovered rows. "Focused" in this control always means hovered by the mouse pointer, never
// keyboard focus. Every row is composed off-screen and copied in one step, so a hovered row
// changes without flicker.
#pragma once

#include <QColor>
#include <QFont>
#include <QListWidget>
#include <QPointer>
#include <QTimer>

#include "app/widgets/ImageList.h"

namespace tovalin {

enum class TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

class TGraphicListBox : public QListWidget {
  Q_OBJECT
 public:
  explicit TGraphicListBox(QWidget* parent = nullptr);

  bool AutoItemHeight() const { return autoItemHeight_; }
  void SetAutoItemHeight(bool value);
  QColor BorderHighlight() const { return borderHighlight_; }
  void SetBorderHighlight(const QColor& value) { borderHighlight_ = value; }
  QColor BorderShadow() const { return borderShadow_; }
  void SetBorderShadow(const QColor& value) { borderShadow_ = value; }
  bool Flat() const { return flat_; }
  void SetFlat(bool value) { flat_ = value; }
  QColor FocusedColor() const { return focusedColor_; }
  void SetFocusedColor(const QColor& value);
  QFont FocusedFont() const { return focusedFont_; }
  void SetFocusedFont(const QFont& value);
  QColor FocusedFontColor() const { return focusedFontColor_; }
  void SetFocusedFontColor(const QColor& value);
  TImageList* Glyphs() const { return glyphs_; }
  void SetGlyphs(TImageList* value);
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout value);
  QColor SecondColor() const { return secondColor_; }
  void SetSecondColor(const QColor& value);
  QFont SecondFont() const { return secondFont_; }
  void SetSecondFont(const QFont& value);
  QColor SecondFontColor() const { return secondFontColor_; }
  void SetSecondFontColor(const QColor& value);
  QColor SelectedColor() const { return selectedColor_; }
  void SetSelectedColor(const QColor& value);
  QFont SelectedFont() const { return selectedFont_; }
  void SetSelectedFont(const QFont& value);
  QColor SelectedFontColor() const { return selectedFontColor_; }
  void SetSelectedFontColor(const QColor& value);
  int Spacer() const { return spacer_; }
  void SetSpacer(int value);
  int GlyphScale() const { return glyphScale_; }
  // Values of 0 or less are stored as 1.
  void SetGlyphScale(int value);

  // The background and text colour of even rows (the control's own colour and font colour).
  QColor Color() const;
  void SetColor(const QColor& value);
  QColor FontColor() const;
  void SetFontColor(const QColor& value);

  int ItemHeight() const { return itemHeight_; }
  void SetItemHeight(int value);
  // The selected row, or -1.
  int ItemIndex() const;
  void SetItemIndex(int index);

  // The first visible row, or -1 when the list is empty.
  int TopIndex() const;
  void SetTopIndex(int index);

  // The row under the mouse pointer as last seen by the hover timer, or -1.
  int HotIndex() const { return hot_; }
  bool HoverTimerActive() const { return hoverTimer_.isActive(); }
  static constexpr int kHoverInterval = 100;

  // Draws one row: composes it off-screen and copies the visible band into `rect`.
  void DrawItem(QPainter& painter, int index, const QRect& rect, bool selected, bool focused);

 public slots:
  // One step of hover tracking: finds the row under the pointer and moves the highlight.
  void CheckHover();

 signals:
  // Fired after every row drawn.
  void TopChange();
  // The user picked a row with the mouse or the keyboard (programmatic changes stay silent).
  void Click();

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void RecalcItemHeight();
  void Refresh();
  void RedrawRow(int index);

  bool autoItemHeight_ = true;
  QColor borderHighlight_;
  QColor borderShadow_;
  bool flat_ = false;
  QColor focusedColor_;
  QFont focusedFont_;
  QColor focusedFontColor_;
  QPointer<TImageList> glyphs_;
  TButtonLayout layout_ = TButtonLayout::blGlyphLeft;
  QColor secondColor_;
  QFont secondFont_;
  QColor secondFontColor_;
  QColor selectedColor_;
  QFont selectedFont_;
  QColor selectedFontColor_;
  int spacer_ = 4;
  int glyphScale_ = 100;
  int itemHeight_ = 16;
  int hot_ = -1;
  QTimer hoverTimer_;
};

}  // namespace tovalin
