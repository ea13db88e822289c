#include "support/platform/wine/WineServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "support/platform/wine/ProcFs.h"

namespace tovalin {

namespace {

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string Trim(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  return text;
}

// The server holds a write lock on "lock" in its folder for as long as it runs; asking about
// the lock takes none.
bool LockHeld(const std::string& serverDir) {
  const std::string path = serverDir + "/lock";
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct flock query {};
  query.l_type = F_WRLCK;
  query.l_whence = SEEK_SET;
  query.l_start = 0;
  query.l_len = 0;
  const bool held = fcntl(fd, F_GETLK, &query) == 0 && query.l_type != F_UNLCK;
  close(fd);
  return held;
}

// A socket left behind by a crashed server refuses the connection.
bool SocketAnswers(const std::string& serverDir) {
  const std::string path = serverDir + "/socket";
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
  sockaddr_un address{};
  if (path.size() >= sizeof(address.sun_path)) return false;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool connected =
      connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
  close(fd);
  return connected;
}

bool IsServerExe(const std::string& exe) {
  const std::size_t slash = exe.find_last_of('/');
  const std::string name = slash == std::string::npos ? exe : exe.substr(slash + 1);
  return name.rfind("wineserver", 0) == 0;
}

}  // namespace

WineServerProbe::WineServerProbe(std::string prefixDir) : prefix_(std::move(prefixDir)) {
  if (const std::optional<procfs::FileId> id = procfs::IdOf(prefix_)) {
    char name[64];
    std::snprintf(name, sizeof(name), "server-%llx-%llx", static_cast<unsigned long long>(id->dev),
                  static_cast<unsigned long long>(id->ino));
    serverDirName_ = name;
  }
}

std::vector<std::string> WineServerProbe::CandidateServerDirs() const {
  std::vector<std::string> dirs;
  if (serverDirName_.empty()) return dirs;
  // Debian's build makes a private folder under the temporary folder and names it in the
  // prefix's "wineserver" file.
  std::ifstream named(prefix_ + "/wineserver");
  std::stringstream content;
  content << named.rdbuf();
  const std::string socketDir = Trim(content.str());
  if (!socketDir.empty() && socketDir.find('\0') == std::string::npos) {
    if (socketDir[0] == '/') {
      dirs.push_back(socketDir + "/" + serverDirName_);
    } else {
      if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp == '/') {
        dirs.push_back(std::string(tmp) + "/" + socketDir + "/" + serverDirName_);
      }
      dirs.push_back("/tmp/" + socketDir + "/" + serverDirName_);
    }
  }
  // Upstream Wine: one folder per user.
  dirs.push_back("/tmp/.wine-" + std::to_string(getuid()) + "/" + serverDirName_);
  return dirs;
}

std::vector<pid_t> WineServerProbe::ServerPids() const {
  std::vector<pid_t> pids;
  if (serverDirName_.empty()) return pids;
  // Wherever its folder is, the server works in it.
  const std::string suffix = "/" + serverDirName_;
  for (const pid_t pid : procfs::ListPids()) {
    const std::optional<std::string> cwd = procfs::ReadLink(pid, "cwd");
    if (!cwd || !EndsWith(*cwd, suffix)) continue;
    const std::optional<std::string> exe = procfs::ReadLink(pid, "exe");
    if (exe && IsServerExe(*exe)) pids.push_back(pid);
  }
  return pids;
}

void WineServerProbe::Stop() const {
  for (const pid_t pid : ServerPids()) kill(pid, SIGTERM);
}

bool WineServerProbe::Running() const {
  if (serverDirName_.empty()) return false;
  const std::vector<std::string> dirs = CandidateServerDirs();
  for (const std::string& dir : dirs) {
    if (LockHeld(dir)) return true;
  }
  if (!ServerPids().empty()) return true;
  // A server of another user (or in another process namespace) shows neither; its socket
  // still answers.
  for (const std::string& dir : dirs) {
    if (SocketAnswers(dir)) return true;
  }
  return false;
}

}  // namespace tovalin
