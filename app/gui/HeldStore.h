// Before a change: programs that hold the machine's registry (a Wine prefix's programs and its
// server) would write it back over the change, so the user waits for them or ends them first.
#pragma once

#include "app/gui/MessageBoxes.h"
#include "support/platform/Platform.h"

class QWidget;

namespace tovalin {

// Names the programs holding the store and offers to wait for their end (a progress dialog
// with Cancel) or to end them (after a confirmation), then waits for the server as well. True
// when the change may be made now; false when the user gave up and nothing is to change. A
// machine without such programs answers true at once.
bool ReleaseHeldStore(Platform& platform, IMessageBoxes& boxes, QWidget* parent);

}  // namespace tovalin
