#include "support/platform/wine/WineProcesses.h"

#include <signal.h>
#include <unistd.h>

#include <cstdlib>

#include "support/FileNames.h"
#include "support/Text.h"

namespace tovalin {

namespace {

constexpr int kTerminateWaitMs = 2000;

std::string BaseName(std::string path) {
  constexpr std::string_view kDeleted = " (deleted)";  // the binary was replaced meanwhile
  if (path.size() > kDeleted.size() &&
      path.compare(path.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0) {
    path.resize(path.size() - kDeleted.size());
  }
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// wine, wine64 and their preloaders run Windows programs; wineserver is not one of them.
bool IsWineLoader(const std::string& exe) {
  const std::string name = BaseName(exe);
  return name.rfind("wine", 0) == 0 && name.rfind("wineserver", 0) != 0;
}

std::string ValueOf(const std::vector<std::string>& environ, std::string_view name) {
  for (const std::string& item : environ) {
    if (item.size() > name.size() && item.compare(0, name.size(), name) == 0 &&
        item[name.size()] == '=') {
      return item.substr(name.size() + 1);
    }
  }
  return {};
}

bool HasDriveLetter(std::string_view path) {
  return path.size() >= 3 && path[1] == ':' && path[2] == '\\' &&
         ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

}  // namespace

WineProcesses::WineProcesses(std::string prefixDir, IFileSystem& files, IEnvironment& environment)
    : prefix_(std::move(prefixDir)),
      prefixId_(procfs::IdOf(prefix_)),
      files_(files),
      environment_(environment) {}

bool WineProcesses::BelongsHere(pid_t pid) const {
  if (!prefixId_) return false;
  const std::optional<std::string> environText = procfs::ReadFile(pid, "environ");
  if (!environText) return false;
  const std::vector<std::string> environ = procfs::SplitNul(*environText);
  std::string prefix = ValueOf(environ, "WINEPREFIX");
  if (prefix.empty()) {
    // Without WINEPREFIX Wine uses ~/.wine of the user who started it.
    std::string home = ValueOf(environ, "HOME");
    if (home.empty()) {
      const char* ownHome = std::getenv("HOME");
      home = ownHome != nullptr ? ownHome : "";
    }
    if (home.empty()) return false;
    prefix = home + "/.wine";
  } else if (prefix[0] != '/') {
    // A relative prefix was taken from the folder the program started in; its present folder
    // is the best guess left.
    prefix = "/proc/" + std::to_string(pid) + "/cwd/" + prefix;
  }
  const std::optional<procfs::FileId> id = procfs::IdOf(prefix);
  return id && *id == *prefixId_;
}

std::optional<WineProcesses::Process> WineProcesses::Inspect(pid_t pid) const {
  const std::optional<std::string> exe = procfs::ReadLink(pid, "exe");
  if (!exe || !IsWineLoader(*exe)) return std::nullopt;
  const std::optional<procfs::ProcStat> stat = procfs::ReadStat(pid);
  if (!stat || stat->state == 'Z' || stat->state == 'X') return std::nullopt;
  const std::optional<std::string> cmdline = procfs::ReadFile(pid, "cmdline");
  if (!cmdline) return std::nullopt;
  const std::vector<std::string> argv = procfs::SplitNul(*cmdline);
  if (argv.empty() || argv[0].empty()) return std::nullopt;
  Process process;
  process.pid = pid;
  process.startTime = stat->startTime;
  process.argv0 = argv[0];
  // Until the loader has put the Windows command line in place, the program is its argument.
  if (process.argv0[0] == '/') {
    if (argv.size() < 2 || argv[1].empty()) return std::nullopt;
    process.argv0 = argv[1];
  }
  if (!BelongsHere(pid)) return std::nullopt;
  return process;
}

std::vector<WineProcesses::Process> WineProcesses::List() const {
  std::vector<Process> processes;
  for (const pid_t pid : procfs::ListPids()) {
    if (std::optional<Process> process = Inspect(pid)) processes.push_back(std::move(*process));
  }
  return processes;
}

std::string WineProcesses::ImagePath(const std::string& argv0) {
  std::string path = argv0;
  if (path.rfind("\\??\\", 0) == 0) path.erase(0, 4);
  if (HasDriveLetter(path)) return path;
  if (!path.empty() && path[0] == '\\') return "C:" + path;
  const std::string name = FileNamePart(path);
  if (name.find('.') == std::string::npos) path += ".exe";
  if (path.find('\\') == std::string::npos) {
    const std::string searchPath = environment_.GetVariable("PATH").value_or("");
    std::size_t start = 0;
    while (start <= searchPath.size()) {
      std::size_t end = searchPath.find(';', start);
      if (end == std::string::npos) end = searchPath.size();
      std::string dir = searchPath.substr(start, end - start);
      start = end + 1;
      if (dir.empty()) continue;
      if (dir.back() != '\\') dir.push_back('\\');
      const std::uint32_t attributes = files_.GetFileAttributes(dir + path);
      if (attributes != win::kInvalidFileAttributes &&
          (attributes & win::kFileAttributeDirectory) == 0) {
        return dir + path;
      }
    }
  }
  return path;
}

bool WineProcesses::Snapshot(std::vector<ProcessEntry>& entries) {
  entries.clear();
  for (const Process& process : List()) {
    entries.push_back(ProcessEntry{static_cast<std::uint32_t>(process.pid),
                                   FileNamePart(ImagePath(process.argv0))});
  }
  return true;
}

bool WineProcesses::EnumProcesses(std::vector<std::uint32_t>& ids, std::size_t capacity,
                                  std::size_t& neededBytes, long& lastError) {
  ids.assign(capacity, 0);
  std::size_t n = 0;
  for (const Process& process : List()) {
    if (n == capacity) break;
    ids[n++] = static_cast<std::uint32_t>(process.pid);
  }
  // As on Windows, a full buffer is no error: the caller sees needed == capacity.
  neededBytes = n * 4;
  lastError = win::kSuccess;
  return true;
}

ProcessHandle WineProcesses::OpenProcess(std::uint32_t, std::uint32_t pid) {
  if (pid == 0 || pid > 0x7fffffffu) return 0;
  std::optional<Process> process = Inspect(static_cast<pid_t>(pid));
  if (!process) return 0;
  const ProcessHandle handle = nextHandle_++;
  handles_[handle] = OpenProcessState{std::move(*process)};
  return handle;
}

std::string WineProcesses::GetModuleFileName(ProcessHandle process) {
  auto it = handles_.find(process);
  if (it == handles_.end()) return {};
  const std::optional<Process> now = Inspect(it->second.process.pid);
  if (!now || now->startTime != it->second.process.startTime) return {};
  return ImagePath(now->argv0);
}

bool WineProcesses::GetExitCode(ProcessHandle process, std::uint32_t& code) {
  auto it = handles_.find(process);
  if (it == handles_.end()) return false;
  const std::optional<Process> now = Inspect(it->second.process.pid);
  if (now && now->startTime == it->second.process.startTime) {
    code = win::kStillActive;
  } else {
    // Only the parent learns how a process ended; the code given to Terminate is all we know.
    code = it->second.terminated ? it->second.exitCode : 0;
  }
  return true;
}

bool WineProcesses::Terminate(ProcessHandle process, std::uint32_t exitCode) {
  auto it = handles_.find(process);
  if (it == handles_.end()) return false;
  OpenProcessState& state = it->second;
  // The id may have passed to another process since it was opened: kill only the same one. Its
  // start time tells; its name does not, as Wine's loader replaces the Unix command line with the
  // Windows one (and `start.exe` takes over the process of a program started from Unix).
  const std::optional<Process> now = Inspect(state.process.pid);
  if (!now || now->startTime != state.process.startTime) return false;
  if (kill(state.process.pid, SIGKILL) != 0) return false;
  state.terminated = true;
  state.exitCode = exitCode;
  // The signal takes a moment; whoever looks right after expects the program gone.
  for (int waited = 0; waited < kTerminateWaitMs; ++waited) {
    const std::optional<Process> after = Inspect(state.process.pid);
    if (!after || after->startTime != state.process.startTime) break;
    usleep(1000);
  }
  return true;
}

void WineProcesses::CloseProcess(ProcessHandle process) {
  handles_.erase(process);
}

TokenHandle WineProcesses::OpenProcessToken(std::uint32_t) {
  return 1;
}

bool WineProcesses::LookupPrivilege(std::string_view name) {
  return name.size() > 2 && name.substr(0, 2) == "Se";
}

long WineProcesses::AdjustPrivilege(TokenHandle token, std::string_view name, bool) {
  if (token != 1) return win::kInvalidHandle;
  return LookupPrivilege(name) ? win::kSuccess : win::kNotAllAssigned;
}

void WineProcesses::CloseToken(TokenHandle) {}

}  // namespace tovalin
