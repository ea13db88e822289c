#include "support/platform/memory/MemoryPlatform.h"

#include "support/FileNames.h"
#include "support/PeReader.h"
#include "support/Text.h"
#include "support/VersionBlock.h"

namespace tovalin {

namespace {

std::string ParentFolder(std::string_view path) {
  const std::size_t slash = path.find_last_of('\\');
  if (slash == std::string_view::npos) return {};
  return std::string(path.substr(0, slash));
}

}  // namespace

// --- files ---

std::string MemoryFileSystem::Key(std::string_view path) {
  std::string key = AsciiUpperCase(path);
  while (key.size() > 3 && key.back() == '\\') key.pop_back();
  return key;
}

std::uint32_t MemoryFileSystem::GetFileAttributes(std::string_view path) {
  auto it = entries_.find(Key(path));
  return it == entries_.end() ? win::kInvalidFileAttributes : it->second.attributes;
}

std::vector<FindEntry> MemoryFileSystem::FindFiles(std::string_view pattern) {
  std::vector<FindEntry> found;
  const std::string folder = Key(ParentFolder(pattern));
  const std::string mask = FileNamePart(pattern);
  for (const auto& [key, entry] : entries_) {
    if (Key(ParentFolder(entry.path)) != folder) continue;
    const std::string name = FileNamePart(entry.path);
    if (MatchFileMask(mask, name)) found.push_back(FindEntry{name, entry.attributes});
  }
  return found;
}

bool MemoryFileSystem::DeleteFile(std::string_view path) {
  auto it = entries_.find(Key(path));
  if (it == entries_.end()) return false;
  const Entry& e = it->second;
  if (e.locked || (e.attributes & (win::kFileAttributeReadOnly | win::kFileAttributeDirectory))) {
    return false;
  }
  entries_.erase(it);
  return true;
}

long MemoryFileSystem::TrashFile(std::string_view path, TrashedFile& trashed) {
  auto it = entries_.find(Key(path));
  if (it == entries_.end()) return win::kFileNotFound;
  const Entry& e = it->second;
  if (e.locked || (e.attributes & (win::kFileAttributeReadOnly | win::kFileAttributeDirectory))) {
    return win::kAccessDenied;
  }
  if (!trashAvailable_) return win::kNotSupported;
  const std::string name = "T:\\" + std::to_string(++trashedSoFar_) + "\\" + FileNamePart(e.path);
  trashed = TrashedFile{e.path, name, name + ".info"};
  trash_[name] = std::move(it->second);
  entries_.erase(it);
  return win::kSuccess;
}

long MemoryFileSystem::RestoreFile(const TrashedFile& trashed) {
  if (Exists(trashed.path)) return win::kFileExists;
  auto it = trash_.find(trashed.trashed);
  if (it == trash_.end() || Key(it->second.path) != Key(trashed.path)) return win::kFileNotFound;
  const std::string parent = ParentFolder(trashed.path);
  if (!parent.empty() && !Exists(parent)) return win::kPathNotFound;
  entries_[Key(trashed.path)] = std::move(it->second);
  trash_.erase(it);
  return win::kSuccess;
}

std::optional<std::vector<std::uint8_t>> MemoryFileSystem::ReadFile(std::string_view path) {
  auto it = entries_.find(Key(path));
  if (it == entries_.end() || (it->second.attributes & win::kFileAttributeDirectory)) {
    return std::nullopt;
  }
  return it->second.content;
}

void MemoryFileSystem::AddFolder(std::string_view path, std::uint32_t attributes) {
  const std::string parent = ParentFolder(path);
  if (!parent.empty() && parent.size() > 2 && !Exists(parent)) AddFolder(parent);
  Entry& e = entries_[Key(path)];
  e.path = std::string(path);
  e.attributes = attributes;
}

void MemoryFileSystem::AddFile(std::string_view path, std::vector<std::uint8_t> content,
                               std::uint32_t attributes) {
  const std::string parent = ParentFolder(path);
  if (!parent.empty() && !Exists(parent)) AddFolder(parent);
  Entry& e = entries_[Key(path)];
  e.path = std::string(path);
  e.attributes = attributes;
  e.content = std::move(content);
}

bool MemoryFileSystem::Exists(std::string_view path) const {
  return entries_.count(Key(path)) != 0;
}

void MemoryFileSystem::SetLocked(std::string_view path, bool locked) {
  auto it = entries_.find(Key(path));
  if (it != entries_.end()) it->second.locked = locked;
}

// --- environment ---

std::optional<std::string> MemoryEnvironment::GetVariable(std::string_view name) {
  auto it = vars_.find(AsciiUpperCase(name));
  if (it == vars_.end()) return std::nullopt;
  return it->second;
}

void MemoryEnvironment::Set(std::string_view name, std::string_view value) {
  vars_[AsciiUpperCase(name)] = std::string(value);
}

void MemoryEnvironment::Unset(std::string_view name) {
  vars_.erase(AsciiUpperCase(name));
}

// --- version resources ---

std::vector<std::uint8_t> MemoryVersionResources::GetFileVersionInfo(std::string_view path) {
  if (!files_.Exists(path)) return {};
  auto it = blocks_.find(AsciiUpperCase(path));
  if (it != blocks_.end()) return it->second;
  const std::optional<std::vector<std::uint8_t>> content = files_.ReadFile(path);
  return content ? PeVersionResource(*content) : std::vector<std::uint8_t>{};
}

bool MemoryVersionResources::QueryValue(const std::vector<std::uint8_t>& block,
                                        std::string_view subBlock,
                                        std::vector<std::uint8_t>& value) {
  return QueryVersionBlock(block, subBlock, value);
}

void MemoryVersionResources::SetBlock(std::string_view path, std::vector<std::uint8_t> block) {
  blocks_[AsciiUpperCase(path)] = std::move(block);
}

// --- icons ---

IconHandle MemoryIcons::ExtractIcon(std::string_view path, std::uint32_t index) {
  if (!files_.Exists(path)) return 0;
  auto it = icons_.find({AsciiUpperCase(path), index});
  std::vector<std::uint8_t> ico;
  if (it != icons_.end()) {
    ico = it->second;
  } else if (const std::optional<std::vector<std::uint8_t>> content = files_.ReadFile(path)) {
    ico = PeIconGroupAsIco(*content, index);
  }
  if (ico.empty()) return 0;
  const IconHandle handle = next_++;
  live_[handle] = std::move(ico);
  return handle;
}

void MemoryIcons::DestroyIcon(IconHandle icon) {
  live_.erase(icon);
}

std::vector<std::uint8_t> MemoryIcons::IconData(IconHandle icon) {
  auto it = live_.find(icon);
  return it == live_.end() ? std::vector<std::uint8_t>{} : it->second;
}

void MemoryIcons::SetIcon(std::string_view path, std::uint32_t index,
                          std::vector<std::uint8_t> ico) {
  icons_[{AsciiUpperCase(path), index}] = std::move(ico);
}

// --- processes ---

FakeProcess& MemoryProcesses::Add(std::uint32_t pid, std::string_view imagePath) {
  FakeProcess p;
  p.pid = pid;
  p.imagePath = std::string(imagePath);
  processes.push_back(p);
  return processes.back();
}

FakeProcess* MemoryProcesses::Find(std::uint32_t pid) {
  for (auto& p : processes) {
    if (p.pid == pid) return &p;
  }
  return nullptr;
}

bool MemoryProcesses::Snapshot(std::vector<ProcessEntry>& entries) {
  entries.clear();
  if (!snapshotAvailable) return false;
  for (const auto& p : processes) {
    if (!p.running) continue;
    entries.push_back(
        ProcessEntry{p.pid, p.exeFile.empty() ? FileNamePart(p.imagePath) : p.exeFile});
  }
  return true;
}

bool MemoryProcesses::EnumProcesses(std::vector<std::uint32_t>& ids, std::size_t capacity,
                                    std::size_t& neededBytes, long& lastError) {
  ++enumCalls;
  ids.assign(capacity, 0);
  if (!psapiAvailable) {
    lastError = 127;  // ERROR_PROC_NOT_FOUND
    neededBytes = 0;
    return false;
  }
  std::size_t n = 0;
  for (const auto& p : processes) {
    if (!p.running) continue;
    if (n < capacity) ids[n] = p.pid;
    ++n;
  }
  // Like Windows, a full buffer is not an error: the caller sees needed == capacity.
  neededBytes = (n < capacity ? n : capacity) * 4;
  lastError = 0;
  return true;
}

ProcessHandle MemoryProcesses::OpenProcess(std::uint32_t, std::uint32_t pid) {
  FakeProcess* p = Find(pid);
  if (p == nullptr || !p->openable || (p->needsDebug && !debugEnabled)) return 0;
  const ProcessHandle handle = next_++;
  handles_[handle] = pid;
  ++openHandles;
  return handle;
}

std::string MemoryProcesses::GetModuleFileName(ProcessHandle process) {
  auto it = handles_.find(process);
  if (it == handles_.end()) return {};
  FakeProcess* p = Find(it->second);
  return (p != nullptr && p->running) ? p->imagePath : std::string();
}

bool MemoryProcesses::GetExitCode(ProcessHandle process, std::uint32_t& code) {
  auto it = handles_.find(process);
  if (it == handles_.end()) return false;
  FakeProcess* p = Find(it->second);
  if (p == nullptr) return false;
  code = p->running ? win::kStillActive : p->exitCode;
  return true;
}

bool MemoryProcesses::Terminate(ProcessHandle process, std::uint32_t exitCode) {
  auto it = handles_.find(process);
  if (it == handles_.end()) return false;
  FakeProcess* p = Find(it->second);
  if (p == nullptr || !p->running) return false;
  p->running = false;
  p->exitCode = exitCode;
  return true;
}

void MemoryProcesses::CloseProcess(ProcessHandle process) {
  if (handles_.erase(process)) --openHandles;
}

TokenHandle MemoryProcesses::OpenProcessToken(std::uint32_t) {
  if (!tokenAvailable) return 0;
  ++openTokens;
  return 1;
}

bool MemoryProcesses::LookupPrivilege(std::string_view name) {
  return name == "SeDebugPrivilege";
}

long MemoryProcesses::AdjustPrivilege(TokenHandle token, std::string_view name, bool enable) {
  if (token == 0) return win::kInvalidHandle;
  if (!LookupPrivilege(name)) return 1313;  // ERROR_NO_SUCH_PRIVILEGE
  if (!holdsDebugPrivilege) return win::kNotAllAssigned;
  debugEnabled = enable;
  return win::kSuccess;
}

void MemoryProcesses::CloseToken(TokenHandle token) {
  if (token != 0 && openTokens > 0) --openTokens;
}

}  // namespace tovalin
