// A machine known only from regedit exports: its registry is what the files say, and it has
// nothing else (no files, no processes, an empty environment). Nothing is ever saved.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/platform/Platform.h"

namespace tovalin {

// Loads the exports in order, later files over earlier ones. A machine opened without
// `writable` refuses every change; a writable one keeps changes until it is dropped. Throws
// RegFileError for a file that cannot be read or is malformed.
std::unique_ptr<Platform> OpenRegeditExports(const std::vector<std::string>& files, bool writable);

}  // namespace tovalin
