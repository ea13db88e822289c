// The Windows system colour names the windows were designed with, mapped onto a Qt palette, plus
// the two fixed colours of the 16-colour VGA extension palette.
#pragma once

#include <QColor>
#include <QPalette>

namespace tovalin {

enum class TSysColor {
  clBtnFace,
  clBtnHighlight,
  clBtnShadow,
  clHighlight,
  clHighlightText,
  clWindow,
  clWindowText,
};

QColor SysColor(TSysColor color, const QPalette& palette);

inline const QColor clMoneyGreen{0xC0, 0xDC, 0xC0};
inline const QColor clSkyBlue{0xA6, 0xCA, 0xF0};
inline const QColor clNavy{0x00, 0x00, 0x80};
inline const QColor clRed{0xFF, 0x00, 0x00};

}  // namespace tovalin
