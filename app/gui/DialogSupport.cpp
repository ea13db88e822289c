#include "app/gui/DialogSupport.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QWidget>

namespace tovalin {

QFont WindowFont() {
  QFont font;
  font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                    QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                    QStringLiteral("Noto Sans CJK JP")});
  font.setPixelSize(12);
  return font;
}

void MoveToScreenCentre(QWidget& window) {
  const QScreen* screen = window.screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = window.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window.move(frame.topLeft());
}

QString StandardCloseText() {
  QDialogButtonBox standard(QDialogButtonBox::Close);
  if (const QPushButton* button = standard.button(QDialogButtonBox::Close)) return button->text();
  return QStringLiteral("Close");
}

}  // namespace tovalin
