// The machine the program runs on: Windows itself, or a Wine prefix where Windows is not.
#pragma once

#include <memory>
#include <string>

#include "support/platform/Platform.h"

namespace tovalin {

struct NativeOptions {
  // The Wine prefix folder; empty: the default prefix. Windows has no prefix.
  std::string winePrefix;
  // A Wine prefix saves changes to its hive files; false keeps it read-only. Windows lets the
  // account's rights decide.
  bool writable = false;
  // A Wine prefix that may not be written is opened read-only instead of failing: what cannot be
  // changed can still be inspected, and each change is refused with the platform's explanation.
  bool readOnlyWhenNotWritable = false;
};

// Throws with a message for the user when the machine cannot be opened.
std::unique_ptr<Platform> OpenNativePlatform(const NativeOptions& options);

}  // namespace tovalin
