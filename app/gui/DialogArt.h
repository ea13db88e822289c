// Pictures of the report and about dialogs, drawn in code: button glyphs and the maker's mark.
#pragma once

#include <QIcon>
#include <QImage>

class QStyle;

namespace tovalin {

// Square glyphs for buttons.
QImage MailGlyph(int size);
QImage CopyGlyph(int size);
QImage HelpGlyph(int size);
// The shield on a button whose change needs an administrator: the style's own (Windows), else
// one drawn like it where the style has none.
QIcon ShieldIcon(const QStyle& style);

// The maker's mark, 67 x 82, on a transparent ground.
QImage MakerMarkImage();

}  // namespace tovalin
