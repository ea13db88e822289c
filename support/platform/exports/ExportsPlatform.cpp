#include "support/platform/exports/ExportsPlatform.h"

#include "support/regfile/RegeditFile.h"
#include "support/registry/TreeRegistry.h"

namespace tovalin {

namespace {

class NoFiles : public IFileSystem {
 public:
  std::uint32_t GetFileAttributes(std::string_view) override { return win::kInvalidFileAttributes; }
  std::vector<FindEntry> FindFiles(std::string_view) override { return {}; }
  bool DeleteFile(std::string_view) override { return false; }
  std::optional<std::vector<std::uint8_t>> ReadFile(std::string_view) override {
    return std::nullopt;
  }
};

class NoEnvironment : public IEnvironment {
 public:
  std::optional<std::string> GetVariable(std::string_view) override { return std::nullopt; }
};

class NoVersions : public IVersionResources {
 public:
  std::vector<std::uint8_t> GetFileVersionInfo(std::string_view) override { return {}; }
  bool QueryValue(const std::vector<std::uint8_t>&, std::string_view,
                  std::vector<std::uint8_t>&) override {
    return false;
  }
};

class NoIcons : public IIcons {
 public:
  IconHandle ExtractIcon(std::string_view, std::uint32_t) override { return 0; }
  void DestroyIcon(IconHandle) override {}
  std::vector<std::uint8_t> IconData(IconHandle) override { return {}; }
};

// An NT machine on which nothing runs.
class NoProcesses : public IProcesses {
 public:
  std::uint32_t PlatformId() override { return win::kPlatformWin32Nt; }
  bool Snapshot(std::vector<ProcessEntry>& entries) override {
    entries.clear();
    return true;
  }
  bool EnumProcesses(std::vector<std::uint32_t>& ids, std::size_t capacity,
                     std::size_t& neededBytes, long& lastError) override {
    ids.assign(capacity, 0);
    neededBytes = 0;
    lastError = win::kSuccess;
    return true;
  }
  ProcessHandle OpenProcess(std::uint32_t, std::uint32_t) override { return 0; }
  std::string GetModuleFileName(ProcessHandle) override { return {}; }
  bool GetExitCode(ProcessHandle, std::uint32_t&) override { return false; }
  bool Terminate(ProcessHandle, std::uint32_t) override { return false; }
  void CloseProcess(ProcessHandle) override {}
  TokenHandle OpenProcessToken(std::uint32_t) override { return 0; }
  bool LookupPrivilege(std::string_view) override { return false; }
  long AdjustPrivilege(TokenHandle, std::string_view, bool) override { return win::kInvalidHandle; }
  void CloseToken(TokenHandle) override {}
};

class ExportsPlatform : public Platform {
 public:
  IRegistry& Registry() override { return registry; }
  IFileSystem& Files() override { return files_; }
  IEnvironment& Environment() override { return environment_; }
  IVersionResources& Versions() override { return versions_; }
  IIcons& Icons() override { return icons_; }
  IProcesses& Processes() override { return processes_; }

  TreeRegistry registry;

 private:
  NoFiles files_;
  NoEnvironment environment_;
  NoVersions versions_;
  NoIcons icons_;
  NoProcesses processes_;
};

}  // namespace

std::unique_ptr<Platform> OpenRegeditExports(const std::vector<std::string>& files, bool writable) {
  auto platform = std::make_unique<ExportsPlatform>();
  TreeRegistry& registry = platform->registry;
  // Exports describe the registry as a program sees it. HKEY_CLASSES_ROOT is the machine's
  // SOFTWARE\Classes, so an export of either spelling lands in the same keys.
  RegNode* software = registry.Ensure(RootKey::LocalMachine, "SOFTWARE");
  registry.Ensure(RootKey::LocalMachine, "SOFTWARE\\Classes");
  registry.SetRootNode(RootKey::ClassesRoot, ChildPtr(*software, "Classes"));

  for (const std::string& file : files) LoadRegeditFile(file, registry);

  // A read-only machine refuses changes outright.
  if (!writable) registry.writeGuard = [](std::string&) { return win::kAccessDenied; };
  return platform;
}

}  // namespace tovalin
