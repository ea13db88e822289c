// The pieces of the Wine prefix platform, for code that needs more than the Platform interface
// (the tests, tools that report on the prefix itself).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/platform/Platform.h"
#include "support/platform/wine/WineEnvironment.h"
#include "support/platform/wine/WineFiles.h"
#include "support/platform/wine/WineOpenOptions.h"
#include "support/platform/wine/WineProcesses.h"
#include "support/platform/wine/WineRegistry.h"
#include "support/platform/wine/WineServer.h"

namespace tovalin {

// Version blocks out of the bytes of PE files in the prefix.
class WineVersionResources : public IVersionResources {
 public:
  explicit WineVersionResources(IFileSystem& files) : files_(files) {}
  std::vector<std::uint8_t> GetFileVersionInfo(std::string_view path) override;
  bool QueryValue(const std::vector<std::uint8_t>& block, std::string_view subBlock,
                  std::vector<std::uint8_t>& value) override;

 private:
  IFileSystem& files_;
};

// Icon groups out of PE files (and .ico files, which hold one icon) in the prefix.
class WineIcons : public IIcons {
 public:
  explicit WineIcons(IFileSystem& files) : files_(files) {}
  IconHandle ExtractIcon(std::string_view path, std::uint32_t index) override;
  void DestroyIcon(IconHandle icon) override;
  std::vector<std::uint8_t> IconData(IconHandle icon) override;
  std::size_t LiveIcons() const { return live_.size(); }

 private:
  IFileSystem& files_;
  std::map<IconHandle, std::vector<std::uint8_t>> live_;
  IconHandle next_ = 1;
};

// The prefix's wineserver and its Wine programs, which hold the registry while they run.
class WineStoreHolders : public IStoreHolders {
 public:
  WineStoreHolders(const std::string& prefixDir, WineProcesses& processes)
      : probe_(prefixDir), processes_(processes) {}
  // A program that has just started may not have started its server yet: it counts as well.
  bool Busy() override { return probe_.Running() || !processes_.List().empty(); }
  std::vector<std::string> Programs() override;
  bool WaitUntilFree(std::chrono::milliseconds limit,
                     const std::function<bool()>& keepWaiting) override;
  void EndPrograms() override;

 private:
  WineServerProbe probe_;
  WineProcesses& processes_;
};

class WinePrefixPlatform : public Platform {
 public:
  // See OpenWinePrefix; prefixDir must be an absolute path.
  WinePrefixPlatform(const std::string& prefixDir, const WineOpenOptions& options);

  IRegistry& Registry() override { return registry_; }
  IFileSystem& Files() override { return files_; }
  IEnvironment& Environment() override { return environment_; }
  IVersionResources& Versions() override { return versions_; }
  IIcons& Icons() override { return icons_; }
  IProcesses& Processes() override { return processes_; }
  IStoreHolders* StoreHolders() override { return &holders_; }

  const std::string& PrefixDir() const { return prefix_; }
  WineRegistry& WineRegistryStore() { return registry_; }
  WineFileSystem& WineFiles() { return files_; }
  WineEnvironment& WineEnv() { return environment_; }
  WineProcesses& WineProcessList() { return processes_; }

 private:
  std::string prefix_;
  WineRegistry registry_;
  WineFileSystem files_;
  WineEnvironment environment_;
  WineVersionResources versions_;
  WineIcons icons_;
  WineProcesses processes_;
  WineStoreHolders holders_;
};

}  // namespace tovalin
