// The glyph list box: row height rule, alternating rows, selected and hovered colours with their
// frames, flat style, glyph placement and scale, and hover tracking.
#include <gtest/gtest.h>

#include <QCursor>
#include <QEnterEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

#include "app/widgets/GraphicListBox.h"
#include "app/widgets/SysColors.h"

namespace tovalin {
namespace {

const QColor kEven(0xFF, 0xFF, 0xFF);
const QColor kOdd(0xE0, 0xE0, 0xF0);
const QColor kShadow(0x40, 0x40, 0x40);
const QColor kLight(0xF8, 0xF8, 0xF8);
const QColor kGlyph(0xC0, 0x20, 0x20);

QImage SolidImage(int size, const QColor& color) {
  QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
  image.fill(color);
  return image;
}

class GraphicListBoxTest : public testing::Test {
 protected:
  void SetUp() override {
    list_.resize(200, 200);
    list_.SetAutoItemHeight(false);
    list_.SetItemHeight(36);
    list_.SetColor(kEven);
    list_.SetSecondColor(kOdd);
    list_.SetSelectedColor(clSkyBlue);
    list_.SetFocusedColor(clMoneyGreen);
    list_.SetBorderShadow(kShadow);
    list_.SetBorderHighlight(kLight);
    list_.SetGlyphs(&glyphs_);
    for (const char* text : {"Office", "Outlook", "Excel"}) {
      list_.addItem(QString::fromUtf8(text));
      glyphs_.Add(SolidImage(32, kGlyph));
    }
  }

  // The row as the control draws it, on its own.
  QImage Row(int index, bool selected, bool focused) {
    QImage image(list_.viewport()->width(), list_.ItemHeight(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    QPainter painter(&image);
    list_.DrawItem(painter, index, image.rect(), selected, focused);
    return image;
  }

  // A point of the background: right of the text, inside the frame.
  static QColor Background(const QImage& row) { return row.pixelColor(row.width() - 6, 4); }

  TImageList glyphs_{32, 32};
  TGraphicListBox list_;
};

TEST_F(GraphicListBoxTest, RowsAlternateBetweenColorAndSecondColor) {
  EXPECT_EQ(Background(Row(0, false, false)), kEven);
  EXPECT_EQ(Background(Row(1, false, false)), kOdd);
  EXPECT_EQ(Background(Row(2, false, false)), kEven);

  // The same seen on the control itself.
  list_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&list_));
  const QImage shot = list_.viewport()->grab().toImage();
  EXPECT_EQ(shot.pixelColor(shot.width() - 6, 4), kEven);
  EXPECT_EQ(shot.pixelColor(shot.width() - 6, 36 + 4), kOdd);
  EXPECT_EQ(shot.pixelColor(shot.width() - 6, 72 + 4), kEven);
}

TEST_F(GraphicListBoxTest, SelectedRowIsSunkenAndHoveredRowRaisedInTheirColours) {
  const QImage selected = Row(1, true, false);
  EXPECT_EQ(Background(selected), clSkyBlue);
  EXPECT_EQ(selected.pixelColor(0, 10), kShadow);                      // left edge
  EXPECT_EQ(selected.pixelColor(100, 0), kShadow);                     // top edge
  EXPECT_EQ(selected.pixelColor(100, selected.height() - 1), kLight);  // bottom edge
  EXPECT_EQ(selected.pixelColor(selected.width() - 1, 10), kLight);    // right edge

  // Hover wins over selection, and its raised frame is drawn over the sunken one.
  const QImage both = Row(1, true, true);
  EXPECT_EQ(Background(both), clMoneyGreen);
  EXPECT_EQ(both.pixelColor(0, 10), kLight);
  EXPECT_EQ(both.pixelColor(100, 0), kLight);
  EXPECT_EQ(both.pixelColor(100, both.height() - 1), kShadow);
  EXPECT_EQ(both.pixelColor(both.width() - 1, 10), kShadow);

  // A plain row has no frame at all.
  const QImage plain = Row(0, false, false);
  EXPECT_EQ(plain.pixelColor(0, 10), kEven);
  EXPECT_EQ(plain.pixelColor(100, plain.height() - 1), kEven);
}

TEST_F(GraphicListBoxTest, FlatStyleUsesSystemHighlightAndIgnoresHover) {
  list_.SetFlat(true);
  const QColor highlight = SysColor(TSysColor::clHighlight, list_.palette());
  EXPECT_EQ(Background(Row(1, true, false)), highlight);
  EXPECT_EQ(Background(Row(0, false, true)), kEven);
  EXPECT_EQ(Background(Row(1, false, true)), kOdd);
}

TEST_F(GraphicListBoxTest, GlyphSitsLeftAndScalesWithGlyphScale) {
  // 32 x 32 glyph at left 2, vertically centred in the 36-pixel row.
  QImage row = Row(0, false, false);
  EXPECT_EQ(row.pixelColor(2, 2), kGlyph);
  EXPECT_EQ(row.pixelColor(33, 33), kGlyph);
  EXPECT_EQ(row.pixelColor(34, 18), kEven);

  list_.SetGlyphScale(50);
  row = Row(0, false, false);
  EXPECT_EQ(row.pixelColor(2, 10), kGlyph);  // (36 - 16) / 2 = 10
  EXPECT_EQ(row.pixelColor(17, 25), kGlyph);
  EXPECT_EQ(row.pixelColor(18, 18), kEven);
  EXPECT_EQ(row.pixelColor(2, 9), kEven);

  list_.SetGlyphScale(0);
  EXPECT_EQ(list_.GlyphScale(), 1);
  list_.SetGlyphScale(-20);
  EXPECT_EQ(list_.GlyphScale(), 1);
}

TEST_F(GraphicListBoxTest, RowBeyondTheImagesHasNoGlyph) {
  list_.addItem(QStringLiteral("Word"));
  const QImage row = Row(3, false, false);
  EXPECT_EQ(row.pixelColor(10, 18), kOdd);
}

TEST_F(GraphicListBoxTest, RightGlyphEndsTwoPixelsFromTheRightEdge) {
  list_.SetLayout(TButtonLayout::blGlyphRight);
  const QImage row = Row(0, false, false);
  const int right = row.width() - 3;
  EXPECT_EQ(row.pixelColor(right, 18), kGlyph);
  EXPECT_EQ(row.pixelColor(right + 1, 18), kEven);
  EXPECT_EQ(row.pixelColor(right - 32, 18), kEven);
}

TEST_F(GraphicListBoxTest, AutomaticHeightFollowsFontGlyphAndLayout) {
  TImageList small(16, 16);
  TGraphicListBox list;
  QFont font = list.font();
  font.setPixelSize(12);
  list.setFont(font);
  list.SetGlyphs(&small);
  list.SetAutoItemHeight(true);
  EXPECT_EQ(list.ItemHeight(), 22);  // 16 + 4 + 2 beats 12
  list.SetLayout(TButtonLayout::blGlyphTop);
  EXPECT_EQ(list.ItemHeight(), 34);  // 12 + 16 + 4 + 2
  list.SetLayout(TButtonLayout::blGlyphBottom);
  list.SetSpacer(8);
  EXPECT_EQ(list.ItemHeight(), 38);
  // A fixed height stays as set.
  list.SetAutoItemHeight(false);
  list.SetItemHeight(20);
  list.SetSpacer(4);
  EXPECT_EQ(list.ItemHeight(), 20);
}

TEST_F(GraphicListBoxTest, TwoLineTextIsCentredAsABlockBesideTheGlyph) {
  list_.SetItemHeight(60);
  list_.item(0)->setText(QStringLiteral("AAAAAAAA\nAAAAAAAA"));
  QFont font = list_.font();
  font.setPixelSize(12);
  list_.setFont(font);
  const QImage row = Row(0, false, false);
  const int lineHeight = QFontMetrics(font).height();
  // Ink lies within the two-line block centred vertically; none above or below it.
  const int top = (60 - 2 * lineHeight) / 2;
  auto inkInRows = [&](int from, int to) {
    for (int y = std::max(0, from); y < std::min(row.height(), to); ++y) {
      for (int x = 40; x < 120; ++x) {
        if (row.pixelColor(x, y) != kEven) return true;
      }
    }
    return false;
  };
  EXPECT_FALSE(inkInRows(0, top));
  EXPECT_TRUE(inkInRows(top, top + lineHeight));
  EXPECT_TRUE(inkInRows(top + lineHeight, top + 2 * lineHeight));
  EXPECT_FALSE(inkInRows(top + 2 * lineHeight, 60));
}

TEST_F(GraphicListBoxTest, EveryDrawnRowFiresTopChange) {
  QSignalSpy spy(&list_, &TGraphicListBox::TopChange);
  Row(0, false, false);
  Row(1, true, true);
  EXPECT_EQ(spy.count(), 2);
}

TEST_F(GraphicListBoxTest, HoverFollowsThePointerAndClearsWhenItLeaves) {
  list_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&list_));
  const QPoint inside = list_.viewport()->mapToGlobal(QPoint(50, 36 + 10));
  QCursor::setPos(inside);
  QEnterEvent enter(QPointF(50, 46), QPointF(50, 46), QPointF(inside));
  QCoreApplication::sendEvent(&list_, &enter);
  EXPECT_TRUE(list_.HoverTimerActive());
  EXPECT_TRUE(QTest::qWaitFor([&] { return list_.HotIndex() == 1; }, 1000));

  QCursor::setPos(list_.viewport()->mapToGlobal(QPoint(50, 72 + 10)));
  EXPECT_TRUE(QTest::qWaitFor([&] { return list_.HotIndex() == 2; }, 1000));

  // Below the last row there is no row to highlight.
  QCursor::setPos(list_.viewport()->mapToGlobal(QPoint(50, 150)));
  EXPECT_TRUE(QTest::qWaitFor([&] { return list_.HotIndex() == -1; }, 1000));

  QCursor::setPos(inside);
  EXPECT_TRUE(QTest::qWaitFor([&] { return list_.HotIndex() == 1; }, 1000));
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(&list_, &leave);
  EXPECT_EQ(list_.HotIndex(), -1);
  EXPECT_FALSE(list_.HoverTimerActive());
}

TEST_F(GraphicListBoxTest, EmptyListDoesNotTrackHover) {
  list_.clear();
  list_.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&list_));
  QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(list_.mapToGlobal(QPoint(5, 5))));
  QCoreApplication::sendEvent(&list_, &enter);
  EXPECT_FALSE(list_.HoverTimerActive());
}

}  // namespace
}  // namespace tovalin
