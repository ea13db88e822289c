#include "app/cli/Machine.h"

#include <cstdint>
#include <stdexcept>

#include "support/platform/memory/MemoryPlatform.h"
#include "support/regfile/RegeditFile.h"

#ifdef _WIN32
#if __has_include("support/platform/windows/WindowsPlatform.h")
#include "support/platform/windows/WindowsPlatform.h"
#define TOVALIN_CLI_NATIVE_WINDOWS 1
#endif
#else
#include "support/platform/wine/WinePlatform.h"
#endif

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
#ifdef _WIN32
#ifdef TOVALIN_CLI_NATIVE_WINDOWS
  return OpenWindowsPlatform();
#else
  throw std::runtime_error(
      "この版は Windows のレジストリを直接読めません。--reg でレジストリのエクスポートを指定してく"
      "ださい。");
#endif
#else
  WineOpenOptions wine;
  wine.writable = writable;
  return OpenWinePrefix(options.prefix.empty() ? DefaultWinePrefix() : options.prefix, wine);
#endif
}

}  // namespace tovalin::cli
