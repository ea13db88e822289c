#include "support/platform/NativePlatform.h"

#ifdef _WIN32
#include "support/platform/windows/WindowsPlatform.h"
#else
#include "support/platform/wine/WinePlatform.h"
#endif

namespace tovalin {

#ifdef _WIN32

std::unique_ptr<Platform> OpenNativePlatform(const NativeOptions&) {
  return OpenWindowsPlatform();
}

#else

std::unique_ptr<Platform> OpenNativePlatform(const NativeOptions& options) {
  const std::string prefix = options.winePrefix.empty() ? DefaultWinePrefix() : options.winePrefix;
  WineOpenOptions wine;
  wine.writable = options.writable;
  if (!options.writable || !options.readOnlyWhenNotWritable) return OpenWinePrefix(prefix, wine);
  try {
    return OpenWinePrefix(prefix, wine);
  } catch (const WinePrefixError&) {
    // A prefix that cannot be read at all fails here again.
    wine.writable = false;
    return OpenWinePrefix(prefix, wine);
  }
}

#endif

}  // namespace tovalin
