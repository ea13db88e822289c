// The toolkit's Japanese texts (standard buttons, dialogs), from the program's own folder first.
#pragma once

#include <QCoreApplication>

namespace tovalin {

// Loads Qt's Japanese translation into `app`: `<program folder>/translations/qtbase_ja.qm` (the
// unpacked Windows folder carries its own), else the toolkit's installed translations. Returns
// false when neither exists; the standard buttons then read in English.
bool InstallToolkitTranslation(QCoreApplication& app);

}  // namespace tovalin
