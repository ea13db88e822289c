#include "app/cli/Machine.h"

#include "support/platform/NativePlatform.h"
#include "support/platform/exports/ExportsPlatform.h"

namespace tovalin::cli {

std::unique_ptr<Platform> OpenMachine(const MachineOptions& options, bool writable) {
  if (!options.regFiles.empty()) return OpenRegeditExports(options.regFiles, writable);
  NativeOptions native;
  native.winePrefix = options.prefix;
  native.writable = writable;
  return OpenNativePlatform(native);
}

}  // namespace tovalin::cli
