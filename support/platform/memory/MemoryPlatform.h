// An in-memory machine for tests: registry, files, environment, version resources, icons and
// processes, each filled by the test that uses it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/platform/Platform.h"
#include "support/registry/TreeRegistry.h"

namespace tovalin {

class MemoryFileSystem : public IFileSystem {
 public:
  std::uint32_t GetFileAttributes(std::string_view path) override;
  std::vector<FindEntry> FindFiles(std::string_view pattern) override;
  bool DeleteFile(std::string_view path) override;
  std::optional<std::vector<std::uint8_t>> ReadFile(std::string_view path) override;
  // Takes what DeleteFile would delete, into a trash of its own named "T:\<number>\<name>".
  long TrashFile(std::string_view path, TrashedFile& trashed) override;
  long RestoreFile(const TrashedFile& trashed) override;

  // Adds a file (and its folders). Attributes default to archive.
  void AddFile(std::string_view path, std::vector<std::uint8_t> content = {},
               std::uint32_t attributes = win::kFileAttributeArchive);
  void AddFolder(std::string_view path, std::uint32_t attributes = win::kFileAttributeDirectory);
  bool Exists(std::string_view path) const;
  // Files whose deletion fails (open in another program, say).
  void SetLocked(std::string_view path, bool locked);
  // A machine without a trash refuses every TrashFile with kNotSupported.
  void SetTrashAvailable(bool available) { trashAvailable_ = available; }
  // Forgets what the trash holds, as a user emptying it.
  void EmptyTrash() { trash_.clear(); }

 private:
  struct Entry {
    std::string path;  // as given
    std::uint32_t attributes = 0;
    std::vector<std::uint8_t> content;
    bool locked = false;
  };
  static std::string Key(std::string_view path);
  std::map<std::string, Entry> entries_;  // by upper-cased path
  std::map<std::string, Entry> trash_;    // by the trashed name
  int trashedSoFar_ = 0;
  bool trashAvailable_ = true;
};

class MemoryEnvironment : public IEnvironment {
 public:
  std::optional<std::string> GetVariable(std::string_view name) override;
  void Set(std::string_view name, std::string_view value);
  void Unset(std::string_view name);

 private:
  std::map<std::string, std::string> vars_;  // by upper-cased name
};

// Version blocks come from the file's own bytes when it is a PE file, or from a block a test
// registered for the path.
class MemoryVersionResources : public IVersionResources {
 public:
  explicit MemoryVersionResources(MemoryFileSystem& files) : files_(files) {}
  std::vector<std::uint8_t> GetFileVersionInfo(std::string_view path) override;
  bool QueryValue(const std::vector<std::uint8_t>& block, std::string_view subBlock,
                  std::vector<std::uint8_t>& value) override;
  void SetBlock(std::string_view path, std::vector<std::uint8_t> block);

 private:
  MemoryFileSystem& files_;
  std::map<std::string, std::vector<std::uint8_t>> blocks_;
};

class MemoryIcons : public IIcons {
 public:
  explicit MemoryIcons(MemoryFileSystem& files) : files_(files) {}
  IconHandle ExtractIcon(std::string_view path, std::uint32_t index) override;
  void DestroyIcon(IconHandle icon) override;
  std::vector<std::uint8_t> IconData(IconHandle icon) override;
  // Registers the .ico bytes of icon `index` of a file.
  void SetIcon(std::string_view path, std::uint32_t index, std::vector<std::uint8_t> ico);
  std::size_t LiveIcons() const { return live_.size(); }

 private:
  MemoryFileSystem& files_;
  std::map<std::pair<std::string, std::uint32_t>, std::vector<std::uint8_t>> icons_;
  std::map<IconHandle, std::vector<std::uint8_t>> live_;
  IconHandle next_ = 1;
};

struct FakeProcess {
  std::uint32_t pid = 0;
  std::string imagePath;  // the Windows path GetModuleFileNameEx reports
  std::string exeFile;    // the snapshot's szExeFile; the file name part of imagePath if empty
  bool running = true;
  std::uint32_t exitCode = win::kStillActive;
  bool openable = true;     // OpenProcess succeeds
  bool needsDebug = false;  // opens only while SeDebugPrivilege is on
};

class MemoryProcesses : public IProcesses {
 public:
  std::uint32_t PlatformId() override { return platformId; }
  bool Snapshot(std::vector<ProcessEntry>& entries) override;
  bool EnumProcesses(std::vector<std::uint32_t>& ids, std::size_t capacity,
                     std::size_t& neededBytes, long& lastError) override;
  ProcessHandle OpenProcess(std::uint32_t access, std::uint32_t pid) override;
  std::string GetModuleFileName(ProcessHandle process) override;
  bool GetExitCode(ProcessHandle process, std::uint32_t& code) override;
  bool Terminate(ProcessHandle process, std::uint32_t exitCode) override;
  void CloseProcess(ProcessHandle process) override;
  TokenHandle OpenProcessToken(std::uint32_t access) override;
  bool LookupPrivilege(std::string_view name) override;
  long AdjustPrivilege(TokenHandle token, std::string_view name, bool enable) override;
  void CloseToken(TokenHandle token) override;
  bool Elevated() override { return elevated; }
  // Runs `runElevated` in place of the program, after `waiting` once.
  long RunElevated(std::string_view program, std::string_view parameters,
                   const std::function<void()>& waiting, std::uint32_t& exitCode) override {
    if (!runElevated) return win::kNotSupported;
    if (waiting) waiting();
    return runElevated(program, parameters, exitCode);
  }

  FakeProcess& Add(std::uint32_t pid, std::string_view imagePath);
  FakeProcess* Find(std::uint32_t pid);

  std::uint32_t platformId = win::kPlatformWin32Nt;
  bool snapshotAvailable = true;
  bool psapiAvailable = true;
  bool tokenAvailable = true;
  bool holdsDebugPrivilege = true;     // the account may enable it
  bool debugEnabled = false;           // current state
  std::vector<FakeProcess> processes;  // exited ones stay listed with running=false
  std::size_t openHandles = 0;
  std::size_t openTokens = 0;
  int enumCalls = 0;
  bool elevated = true;
  std::function<long(std::string_view program, std::string_view parameters,
                     std::uint32_t& exitCode)>
      runElevated;

 private:
  std::map<ProcessHandle, std::uint32_t> handles_;
  ProcessHandle next_ = 1;
};

class MemoryPlatform : public Platform {
 public:
  MemoryPlatform() : versions(files), icons(files) {}
  IRegistry& Registry() override { return registry; }
  IFileSystem& Files() override { return files; }
  IEnvironment& Environment() override { return environment; }
  IVersionResources& Versions() override { return versions; }
  IIcons& Icons() override { return icons; }
  IProcesses& Processes() override { return processes; }

  TreeRegistry registry;
  MemoryFileSystem files;
  MemoryEnvironment environment;
  MemoryVersionResources versions;
  MemoryIcons icons;
  MemoryProcesses processes;
};

}  // namespace tovalin
