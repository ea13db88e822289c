// The Wine processes of one prefix, found in /proc: a Wine process shows its Windows command
// line as its arguments, and WINEPREFIX in its environment names its prefix.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/platform/Platform.h"
#include "support/platform/wine/ProcFs.h"

namespace tovalin {

class WineProcesses : public IProcesses {
 public:
  // `files` and `environment` are the prefix's own: they turn a bare program name into the
  // path Windows would report.
  WineProcesses(std::string prefixDir, IFileSystem& files, IEnvironment& environment);

  std::uint32_t PlatformId() override { return win::kPlatformWin32Nt; }
  bool Snapshot(std::vector<ProcessEntry>& entries) override;
  bool EnumProcesses(std::vector<std::uint32_t>& ids, std::size_t capacity,
                     std::size_t& neededBytes, long& lastError) override;
  ProcessHandle OpenProcess(std::uint32_t access, std::uint32_t pid) override;
  std::string GetModuleFileName(ProcessHandle process) override;
  bool GetExitCode(ProcessHandle process, std::uint32_t& code) override;
  bool Terminate(ProcessHandle process, std::uint32_t exitCode) override;
  void CloseProcess(ProcessHandle process) override;
  // Nothing guards a process of one's own prefix: the privilege calls succeed and change nothing.
  TokenHandle OpenProcessToken(std::uint32_t access) override;
  bool LookupPrivilege(std::string_view name) override;
  long AdjustPrivilege(TokenHandle token, std::string_view name, bool enable) override;
  void CloseToken(TokenHandle token) override;

  struct Process {
    pid_t pid = 0;
    std::string argv0;  // as the process shows it: a Windows path, or a bare name
    std::uint64_t startTime = 0;
  };
  // The live Wine processes of this prefix, in id order.
  std::vector<Process> List() const;
  // The process if `pid` is a live Wine process of this prefix.
  std::optional<Process> Inspect(pid_t pid) const;
  // The Windows path of the image a process shows as argv[0]: a bare name is looked up along
  // the prefix's PATH the way the loader found it.
  std::string ImagePath(const std::string& argv0);

 private:
  struct OpenProcessState {
    Process process;
    bool terminated = false;
    std::uint32_t exitCode = 0;
  };
  bool BelongsHere(pid_t pid) const;

  std::string prefix_;
  std::optional<procfs::FileId> prefixId_;
  IFileSystem& files_;
  IEnvironment& environment_;
  std::map<ProcessHandle, OpenProcessState> handles_;
  ProcessHandle nextHandle_ = 1;
};

}  // namespace tovalin
