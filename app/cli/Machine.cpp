#include "app/cli/Machine.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

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

// Names are UTF-8 inside; on Windows a path made from a plain string would be taken as ANSI.
std::filesystem::path HostPath(const std::string& name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
  const std::filesystem::path file = HostPath(path);
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) {
    const std::string reason = error                                  ? error.message()
                               : std::filesystem::exists(file, error) ? "not a regular file"
                                                                      : "no such file";
    throw std::runtime_error("ファイルを読み込めません: " + path + " (" + reason + ")");
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    throw std::runtime_error("ファイルを読み込めません: " + path + " (" + std::strerror(errno) +
                             ")");
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  if (in.bad()) throw std::runtime_error("ファイルを読み込めません: " + path);
  return bytes;
}

// Regedit exports describe the registry as the program sees it. HKEY_CLASSES_ROOT is the machine's
// SOFTWARE\Classes, so an export of either spelling lands in the same keys.
std::unique_ptr<Platform> OpenRegeditFiles(const std::vector<std::string>& files, bool writable) {
  auto platform = std::make_unique<MemoryPlatform>();
  MemoryRegistry& registry = platform->registry;
  RegNode* software = registry.Ensure(RootKey::LocalMachine, "SOFTWARE");
  registry.Ensure(RootKey::LocalMachine, "SOFTWARE\\Classes");
  registry.SetRootNode(RootKey::ClassesRoot, ChildPtr(*software, "Classes"));

  for (const std::string& file : files) ApplyRegeditFile(ReadWholeFile(file), file, registry);

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
