#include "app/widgets/SysColors.h"

namespace tovalin {

QColor SysColor(TSysColor color, const QPalette& palette) {
  switch (color) {
    case TSysColor::clBtnFace:
      return palette.color(QPalette::Active, QPalette::Button);
    case TSysColor::clBtnHighlight:
      return palette.color(QPalette::Active, QPalette::Light);
    case TSysColor::clBtnShadow:
      return palette.color(QPalette::Active, QPalette::Dark);
    case TSysColor::clHighlight:
      return palette.color(QPalette::Active, QPalette::Highlight);
    case TSysColor::clHighlightText:
      return palette.color(QPalette::Active, QPalette::HighlightedText);
    case TSysColor::clWindow:
      return palette.color(QPalette::Active, QPalette::Base);
    case TSysColor::clWindowText:
      return palette.color(QPalette::Active, QPalette::Text);
  }
  return {};
}

}  // namespace tovalin
