#include "app/cli/Machine.h"

#include <cstdint>
#include <stdexcept>

#include "support/platform/NativePlatform.h"
#include "support/platform/memory/MemoryPlatform.h"
#include "support/regfile/RegeditFile.h"

namespace tovalin::cli {

namespace {

// Regedit exports describe the registry as the program sees it. HKEY_CLASSES_ROOT is the machine's
// SOFTWARE\Classes, so an export of either spelling lands in the same keys.
std::unique_ptr<Platform> OpenRegeditFiles(const std::vector<std::string>& files, bool writable) {
  auto platform = std::make_unique<MemoryPlatform>();
  TreeRegistry& registry = platform->registry;
  RegNode* software = registry.Ensure(RootKey::LocalMachine, "SOFTWARE");
  registry.Ensure(RootKey::LocalMachine, "SOFTWARE\\Classes");
  registry.SetRootNode(RootKey::ClassesRoot, ChildPtr(*software, "Classes"));

  for (const std::string& file : files) LoadRegeditFile(file, registry);

  // Nothing here is ever saved; a read-only machine refuses changes outright.
  if (!writable) registry.writeGuard = [] { return win::kAccessDenied; };
  return platform;
}

}  // namespace

std::unique_ptr<Platform> OpenMachine(const MachineOptions& options, bool writable) {
  if (!options.regFiles.empty()) return OpenRegeditFiles(options.regFiles, writable);
  NativeOptions native;
  native.winePrefix = options.prefix;
  native.writable = writable;
  return OpenNativePlatform(native);
}

}  // namespace tovalin::cli
