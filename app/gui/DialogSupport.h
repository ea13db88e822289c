// Small pieces the program's dialogs share.
#pragma once

#include <QFont>
#include <QString>
#include <QWidget>

namespace tovalin {

// The windows' font ("ＭＳ Ｐゴシック", 12 pixels, with fallbacks that exist here).
QFont WindowFont();

// Centres a window on the screen it is on (the primary screen when it has none yet).
void MoveToScreenCentre(QWidget& window);

// The caption the toolkit gives its own Close button, in the installed translation.
QString StandardCloseText();

// Where a control ends, for laying out the next one beside or below it.
inline int Right(const QWidget* w) {
  return w->x() + w->width();
}
inline int Bottom(const QWidget* w) {
  return w->y() + w->height();
}

}  // namespace tovalin
