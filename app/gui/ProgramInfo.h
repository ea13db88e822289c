// The program's own name, version and copyright. On Windows they come from the version resource
// of the running executable; elsewhere the executable carries none, so the build supplies them.
#pragma once

#include <string>

#include "support/platform/Platform.h"

namespace tovalin {

struct TProgramInfo {
  std::string ProductName;
  std::string ProductNameEn;
  std::string ProductVersion;
  std::string LegalCopyright;
};

// The values this build was made with.
TProgramInfo BuiltInProgramInfo();
// The running program's values: its version resource where there is one, else the built-in ones.
TProgramInfo ReadProgramInfo(Platform& platform);

}  // namespace tovalin
