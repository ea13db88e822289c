#include "support/platform/wine/ProcFs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace tovalin::procfs {

std::vector<pid_t> ListPids() {
  std::vector<pid_t> pids;
  DIR* dir = opendir("/proc");
  if (dir == nullptr) return pids;
  while (const dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    if (*name < '1' || *name > '9') continue;
    char* end = nullptr;
    const long pid = std::strtol(name, &end, 10);
    if (*end == '\0' && pid > 0) pids.push_back(static_cast<pid_t>(pid));
  }
  closedir(dir);
  std::sort(pids.begin(), pids.end());
  return pids;
}

std::optional<std::string> ReadFile(pid_t pid, const char* name) {
  const std::string path = "/proc/" + std::to_string(pid) + "/" + name;
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string content;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof(buffer));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      close(fd);
      return std::nullopt;
    }
    content.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return content;
}

std::optional<std::string> ReadLink(pid_t pid, const char* name) {
  const std::string path = "/proc/" + std::to_string(pid) + "/" + name;
  char buffer[4096];
  const ssize_t n = readlink(path.c_str(), buffer, sizeof(buffer));
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof(buffer)) return std::nullopt;
  return std::string(buffer, static_cast<std::size_t>(n));
}

std::vector<std::string> SplitNul(const std::string& text) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\0', start);
    if (end == std::string::npos) end = text.size();
    items.emplace_back(text, start, end - start);
    start = end + 1;
  }
  // Wine rewrites its arguments in place and pads the old space with NULs.
  while (!items.empty() && items.back().empty()) items.pop_back();
  return items;
}

std::optional<ProcStat> ReadStat(pid_t pid) {
  const std::optional<std::string> text = ReadFile(pid, "stat");
  if (!text) return std::nullopt;
  // The command name is in parentheses and may itself hold blanks and parentheses: the fields
  // start after the last ')'.
  const std::size_t close = text->rfind(')');
  if (close == std::string::npos) return std::nullopt;
  std::vector<std::string_view> fields;
  std::string_view rest = std::string_view(*text).substr(close + 1);
  while (!rest.empty()) {
    const std::size_t begin = rest.find_first_not_of(' ');
    if (begin == std::string_view::npos) break;
    rest.remove_prefix(begin);
    const std::size_t end = std::min(rest.find(' '), rest.size());
    fields.push_back(rest.substr(0, end));
    rest.remove_prefix(end);
  }
  // fields[0] is field 3 (state); field 22 (starttime) is fields[19].
  if (fields.size() < 20 || fields[0].empty()) return std::nullopt;
  ProcStat stat;
  stat.state = fields[0][0];
  stat.startTime = std::strtoull(std::string(fields[19]).c_str(), nullptr, 10);
  return stat;
}

std::optional<FileId> IdOf(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

}  // namespace tovalin::procfs
