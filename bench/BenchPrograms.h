// Keys a machine with many programs holds, added through the platform as an installer would,
// for benchmarks that need a large hive.
#pragma once

#include <string>

#include "support/platform/Platform.h"

namespace tovalin::bench {

// A file type with its program, a COM class and an uninstall entry for each program numbered
// first to first + count - 1, in one action.
void AddPrograms(Platform& platform, int first, int count);

// Six script classes, as Windows registers them, so that the Script Host switch moves six keys.
void AddScriptClasses(Platform& platform);

// The size of a file in bytes, 0 when it cannot be read.
std::uintmax_t FileSize(const std::string& path);

}  // namespace tovalin::bench
