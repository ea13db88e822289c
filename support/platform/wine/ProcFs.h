// Small readers of /proc, shared by the process list and the wineserver check.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tovalin::procfs {

// The ids of every process /proc shows, in ascending order.
std::vector<pid_t> ListPids();
// The whole content of /proc/<pid>/<name>, or nothing when it cannot be read.
std::optional<std::string> ReadFile(pid_t pid, const char* name);
// The target of the link /proc/<pid>/<name> ("exe", "cwd"), or nothing.
std::optional<std::string> ReadLink(pid_t pid, const char* name);
// The NUL-separated items of /proc/<pid>/cmdline or environ, trailing empty items dropped.
std::vector<std::string> SplitNul(const std::string& text);

struct ProcStat {
  char state = '?';             // 'Z' for a zombie
  std::uint64_t startTime = 0;  // clock ticks after boot: tells a reused id from the old process
};
std::optional<ProcStat> ReadStat(pid_t pid);

// Device and inode of a path (following links), to tell whether two paths name one folder.
struct FileId {
  std::uint64_t dev = 0;
  std::uint64_t ino = 0;
  bool operator==(const FileId&) const = default;
};
std::optional<FileId> IdOf(const std::string& path);

}  // namespace tovalin::procfs
