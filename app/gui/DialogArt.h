// Pictures of the report and about dialogs, drawn in code: button glyphs and the maker's mark.
#pragma once

#include <QImage>

namespace tovalin {

// Square glyphs for buttons.
QImage MailGlyph(int size);
QImage CopyGlyph(int size);
QImage HelpGlyph(int size);

// The maker's mark, 67 x 82, on a transparent ground.
QImage MakerMarkImage();

}  // namespace tovalin
