// A Wine prefix as the machine: its registry files, its drives, its environment and the Wine
// processes that run in it.
#pragma once

#include <memory>
#include <string>

#include "support/platform/Platform.h"
#include "support/platform/wine/WineOpenOptions.h"

namespace tovalin {

// $WINEPREFIX, else ~/.wine.
std::string DefaultWinePrefix();

// Throws WinePrefixError (missing prefix, unreadable hive, a prefix that cannot be written
// when `writable` is asked for) and RegFileError (malformed hive).
std::unique_ptr<Platform> OpenWinePrefix(const std::string& prefixDir,
                                         const WineOpenOptions& options = {});

}  // namespace tovalin
