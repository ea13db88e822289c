// The machine a command looks at: a Wine prefix, regedit exports loaded into memory, or (on
// Windows) the running system.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "support/platform/Platform.h"

namespace tovalin::cli {

struct MachineOptions {
  std::string prefix;                 // a Wine prefix folder; empty: the default prefix
  std::vector<std::string> regFiles;  // regedit exports, applied in order
};

// Throws std::runtime_error (or a more specific error of the platform) with a message for the
// user when the machine cannot be opened. Commands that change nothing pass writable = false.
std::unique_ptr<Platform> OpenMachine(const MachineOptions& options, bool writable);

}  // namespace tovalin::cli
