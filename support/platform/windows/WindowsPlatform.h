// The Windows machine itself, through the Win32 API (wide functions; UTF-8 inside).
//
// Office 9.0-12.0 are 32-bit programs: a 64-bit build opens, creates and deletes every registry
// key in the 32-bit view (KEY_WOW64_32KEY), so it reads and writes what Office sees.
#pragma once

#include <memory>

#include "support/platform/Platform.h"

namespace tovalin {

std::unique_ptr<Platform> OpenWindowsPlatform();

}  // namespace tovalin
