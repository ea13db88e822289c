// The machine as an action sees it while it is planned: the registry takes its changes without
// making them (PlanningRegistry) and the files it removes are noted, not removed. Everything else
// is the machine itself. What the action would do is then known before anything is written.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/action/PlanningRegistry.h"
#include "support/action/RegChanges.h"
#include "support/platform/Platform.h"

namespace tovalin {

// What one action will do: its registry changes and the files it removes.
struct ActionPlan {
  RegChangeSet registry;
  std::vector<std::string> files;  // Windows paths
  bool Empty() const { return registry.Empty() && files.empty(); }
};

class PlanningFiles : public IFileSystem {
 public:
  explicit PlanningFiles(IFileSystem& base) : base_(base) {}
  std::uint32_t GetFileAttributes(std::string_view path) override;
  std::vector<FindEntry> FindFiles(std::string_view pattern) override;
  // Noted for the action; the file stays.
  bool DeleteFile(std::string_view path) override;
  std::optional<std::vector<std::uint8_t>> ReadFile(std::string_view path) override {
    return base_.ReadFile(path);
  }
  std::string HostPath(std::string_view windowsPath) override {
    return base_.HostPath(windowsPath);
  }
  std::string UserFilesRefusal(std::string_view folder) override {
    return base_.UserFilesRefusal(folder);
  }
  const std::vector<std::string>& Removed() const { return removed_; }

 private:
  bool IsRemoved(std::string_view path) const;
  IFileSystem& base_;
  std::vector<std::string> removed_;
};

class PlanningPlatform : public Platform {
 public:
  explicit PlanningPlatform(Platform& base)
      : base_(base), registry_(base.Registry()), files_(base.Files()) {}
  IRegistry& Registry() override { return registry_; }
  IFileSystem& Files() override { return files_; }
  IEnvironment& Environment() override { return base_.Environment(); }
  IVersionResources& Versions() override { return base_.Versions(); }
  IIcons& Icons() override { return base_.Icons(); }
  IProcesses& Processes() override { return base_.Processes(); }
  IStoreHolders* StoreHolders() override { return base_.StoreHolders(); }
  std::string ErrorText(long code) override { return base_.ErrorText(code); }

  ActionPlan Plan() { return {registry_.Changes(), files_.Removed()}; }

 private:
  Platform& base_;
  PlanningRegistry registry_;
  PlanningFiles files_;
};

// The machine a model acts on: the machine itself, or for the length of a plan the planning view
// of it. The model's code reaches the machine through it alone, so the same code plans an action
// and reads the states.
class SwitchPlatform : public Platform {
 public:
  explicit SwitchPlatform(Platform& target) : target_(&target) {}
  Platform& Target() const { return *target_; }
  void SetTarget(Platform& target) { target_ = &target; }
  IRegistry& Registry() override { return target_->Registry(); }
  IFileSystem& Files() override { return target_->Files(); }
  IEnvironment& Environment() override { return target_->Environment(); }
  IVersionResources& Versions() override { return target_->Versions(); }
  IIcons& Icons() override { return target_->Icons(); }
  IProcesses& Processes() override { return target_->Processes(); }
  IStoreHolders* StoreHolders() override { return target_->StoreHolders(); }
  std::string ErrorText(long code) override { return target_->ErrorText(code); }

 private:
  Platform* target_;
};

}  // namespace tovalin
