// Small pieces the program's dialogs share.
#pragma once

#include <QString>

class QWidget;

namespace tovalin {

// Centres a window on the screen it is on (the primary screen when it has none yet).
void MoveToScreenCentre(QWidget& window);

// The caption the toolkit gives its own Close button, in the installed translation.
QString StandardCloseText();

}  // namespace tovalin
