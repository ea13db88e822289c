// Finding and ending the running processes of an application, by the snapshot method on the
// Windows 9x platform and by PSAPI on NT.
#include <algorithm>
#include <optional>
#include <string>

#include "office/ZelMso.h"
#include "support/Text.h"
#include "support/ZelSysUtils.h"

namespace tovalin {

namespace {

constexpr std::uint32_t kTokenAdjustAndQuery = 0x28;  // TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY
constexpr const char* kDebugPrivilege = "SeDebugPrivilege";
constexpr std::size_t kFirstCapacity = 4096;
// Far beyond any real system; only stops a misbehaving enumeration from growing forever.
constexpr std::size_t kMaxCapacity = std::size_t{1} << 20;
constexpr int kMaxMoreDataRetries = 4;

// Only the file name counts, so a copy started from any folder matches. A process whose name
// could not be read never matches.
bool SameExeName(std::string_view path, std::string_view exeName) {
  if (exeName.empty()) return false;
  const std::size_t cut = path.find_last_of("\\:");
  const std::string_view name = cut == std::string_view::npos ? path : path.substr(cut + 1);
  return AsciiLowerCase(name) == AsciiLowerCase(exeName);
}

// Holds SeDebugPrivilege for its lifetime where the account may enable it. Without it the work
// still goes ahead: the privilege only widens which processes can be opened, and skipping the
// search would make a running application look stopped.
class DebugPrivilege {
 public:
  explicit DebugPrivilege(Platform& platform) : platform_(platform) {
    token_ = platform_.Processes().OpenProcessToken(kTokenAdjustAndQuery);
    if (token_ != 0) enabled_ = SetTokenPrivilege(platform_, token_, kDebugPrivilege, true);
  }
  ~DebugPrivilege() {
    if (token_ == 0) return;
    if (enabled_) SetTokenPrivilege(platform_, token_, kDebugPrivilege, false);
    platform_.Processes().CloseToken(token_);
  }
  DebugPrivilege(const DebugPrivilege&) = delete;
  DebugPrivilege& operator=(const DebugPrivilege&) = delete;

 private:
  Platform& platform_;
  TokenHandle token_ = 0;
  bool enabled_ = false;
};

}  // namespace

void TZelMso::FindRunningProcesses(std::string_view exeName, TArrayDword& pids) {
  switch (platform_.Processes().PlatformId()) {
    case win::kPlatformWin32Windows:
      FindProcessesByToolhelp(exeName, pids);
      break;
    case win::kPlatformWin32Nt:
      FindProcessesByPsapi(exeName, pids);
      break;
    default:
      break;
  }
}

void TZelMso::FindProcessesByToolhelp(std::string_view exeName, TArrayDword& pids) {
  pids.clear();
  std::vector<ProcessEntry> entries;
  if (!platform_.Processes().Snapshot(entries)) return;
  for (const ProcessEntry& entry : entries) {
    if (SameExeName(entry.exeFile, exeName)) pids.push_back(entry.pid);
  }
}

void TZelMso::FindProcessesByPsapi(std::string_view exeName, TArrayDword& pids) {
  pids.clear();
  IProcesses& processes = platform_.Processes();
  const DebugPrivilege privilege(platform_);

  // A full buffer may have cut the list short, so it grows until every id fits.
  std::vector<std::uint32_t> ids;
  std::size_t capacity = kFirstCapacity;
  std::size_t count = 0;
  for (int moreDataRetries = 0;;) {
    std::size_t needed = 0;
    long lastError = 0;
    if (!processes.EnumProcesses(ids, capacity, needed, lastError)) {
      if (lastError != win::kMoreData || ++moreDataRetries > kMaxMoreDataRetries) return;
      if (capacity < kMaxCapacity) capacity *= 2;
      continue;
    }
    count = std::min(needed / 4, std::min(capacity, ids.size()));
    if (count < capacity || capacity >= kMaxCapacity) break;
    capacity *= 2;
  }

  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t pid = ids[i];
    std::string path;
    const ProcessHandle process =
        processes.OpenProcess(win::kProcessQueryInformation | win::kProcessVmRead, pid);
    if (process != 0) {
      path = GetCommandFileName(platform_, processes.GetModuleFileName(process));
      processes.CloseProcess(process);
    }
    if (SameExeName(path, exeName)) pids.push_back(pid);
  }
}

void TZelMso::TerminateRunningProcess(std::uint32_t pid) {
  IProcesses& processes = platform_.Processes();
  std::optional<DebugPrivilege> privilege;
  if (processes.PlatformId() == win::kPlatformWin32Nt) privilege.emplace(platform_);
  const ProcessHandle process = processes.OpenProcess(win::kProcessAllAccess, pid);
  if (process == 0) return;
  std::uint32_t code = 0;
  if (processes.GetExitCode(process, code) && code == win::kStillActive) {
    processes.Terminate(process, 0);
  }
  processes.CloseProcess(process);
}

}  // namespace tovalin
