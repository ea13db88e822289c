#include "support/platform/wine/HostTrash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "support/TrashRecords.h"
#include "support/platform/Platform.h"

namespace tovalin {

namespace {

// Enough for every copy of a toolbar file a user could have thrown away.
constexpr int kMaxNames = 1000;
// A record is a few lines; anything much larger is not one.
constexpr std::size_t kMaxRecord = 64 * 1024;

std::string Dirname(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Basename(const std::string& path) {
  return path.substr(path.find_last_of('/') + 1);
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder == "/" ? "/" + name : folder + "/" + name;
}

long ErrnoCode(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return win::kFileNotFound;
    case EEXIST:
    case ENOTEMPTY:
      return win::kFileExists;
    case ENOSPC:
    case EDQUOT:
      return win::kDiskFull;
    case EBUSY:
    case ETXTBSY:
      return win::kBusy;
    case EXDEV:
      return win::kNotSupported;
    default:
      return win::kAccessDenied;
  }
}

// rename(2) that never replaces what is at `to`; 0 or the errno.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // A file system without the flag: looking first leaves a moment for another program.
  struct stat st {};
  if (lstat(to.c_str(), &st) == 0) return EEXIST;
  return rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

bool WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

std::optional<std::string> ReadSmall(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::string text;
  char buffer[4096];
  bool ok = true;
  for (;;) {
    const ssize_t n = read(fd, buffer, sizeof(buffer));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || text.size() + static_cast<std::size_t>(n) > kMaxRecord) ok = false;
    if (n <= 0 || !ok) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  if (!ok) return std::nullopt;
  return text;
}

// "Excel11.xlb", "Excel11.2.xlb", "Excel11.3.xlb", ...: the extension stays last.
std::string EntryName(const std::string& name, int number) {
  if (number == 1) return name;
  const std::size_t dot = name.find_last_of('.');
  const std::string tag = "." + std::to_string(number);
  if (dot == std::string::npos || dot == 0) return name + tag;
  return name.substr(0, dot) + tag + name.substr(dot);
}

bool MakeFolders(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  const std::string parent = Dirname(path);
  if (parent != path && !MakeFolders(parent)) return false;
  return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

}  // namespace

std::string HostTrash::HomeTrash() const {
  if (!user_.dataHome.empty() && user_.dataHome.front() == '/') return user_.dataHome + "/Trash";
  if (user_.home.empty() || user_.home.front() != '/') return {};
  return user_.home + "/.local/share/Trash";
}

bool HostTrash::OwnFolder(const std::string& path) const {
  // A link or another user's folder could lead the user's files where others read them.
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == user_.uid;
}

std::optional<std::string> HostTrash::TopTrash(const std::string& topdir) const {
  const std::string uid = std::to_string(user_.uid);
  const auto usable = [this](const std::string& trash) {
    mkdir(trash.c_str(), 0700);
    if (!OwnFolder(trash)) return false;
    for (const char* sub : {"/files", "/info"}) {
      mkdir((trash + sub).c_str(), 0700);
      if (!OwnFolder(trash + sub)) return false;
    }
    return true;
  };
  // The administrator's shared .Trash counts only as freedesktop.org's Trash asks: a real folder,
  // not a link, with the sticky bit so that no user may remove another's folder in it.
  const std::string shared = Join(topdir, ".Trash");
  struct stat st {};
  if (lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0 &&
      usable(shared + "/" + uid)) {
    return shared + "/" + uid;
  }
  const std::string own = Join(topdir, ".Trash-" + uid);
  if (usable(own)) return own;
  return std::nullopt;
}

std::optional<std::string> HostTrash::TrashFor(const std::string& folder, unsigned long device,
                                               std::string& base) const {
  base.clear();
  const std::string home = HomeTrash();
  if (!home.empty()) {
    // Where the home trash is not made yet, the folder it will be made in tells.
    std::string probe = home;
    struct stat st {};
    while (stat(probe.c_str(), &st) != 0 && probe != "/") probe = Dirname(probe);
    if (st.st_dev == device) {
      if (!MakeFolders(home + "/files") || !MakeFolders(home + "/info")) return std::nullopt;
      return home;
    }
  }
  // The top directory of the file's file system: the last folder upwards on the same device.
  std::string top = folder;
  while (top != "/") {
    const std::string parent = Dirname(top);
    struct stat st {};
    if (stat(parent.c_str(), &st) != 0 || st.st_dev != device) break;
    top = parent;
  }
  base = top;
  return TopTrash(top);
}

long HostTrash::Trash(const std::string& folder, const std::string& name, std::string& trashed,
                      std::string& info) const {
  const std::string file = Join(folder, name);
  struct stat st {};
  if (lstat(file.c_str(), &st) != 0) return ErrnoCode(errno);
  if (!S_ISREG(st.st_mode)) return win::kAccessDenied;
  std::string base;
  const std::optional<std::string> trash = TrashFor(folder, st.st_dev, base);
  if (!trash) return win::kNotSupported;
  // A top directory's trash names its files from there, so it still serves when the file
  // system is mounted elsewhere.
  const std::string recorded = base.empty() ? file : file.substr(base == "/" ? 1 : base.size() + 1);
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::string text = TrashInfoText(recorded, local);

  for (int number = 1; number <= kMaxNames; ++number) {
    const std::string entry = EntryName(name, number);
    const std::string record = *trash + "/info/" + entry + ".trashinfo";
    // The record claims the name: whoever creates it first owns the name in files/ too.
    const int fd = open(record.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return ErrnoCode(errno);
    }
    const bool written = WriteAll(fd, text);
    const int writeError = errno;
    if (close(fd) != 0 || !written) {
      unlink(record.c_str());
      return written ? win::kWriteFault : ErrnoCode(writeError);
    }
    const std::string target = *trash + "/files/" + entry;
    const int error = RenameNoReplace(file, target);
    if (error == 0) {
      trashed = target;
      info = record;
      return win::kSuccess;
    }
    unlink(record.c_str());
    // A file left in files/ without its record keeps its name.
    if (error != EEXIST && error != ENOTEMPTY) return ErrnoCode(error);
  }
  return win::kFileExists;
}

std::optional<std::string> HostTrash::OriginalPath(const std::string& trashed,
                                                   const std::string& info) const {
  const std::string trash = Dirname(Dirname(trashed));
  if (Basename(Dirname(trashed)) != "files" || Dirname(Dirname(info)) != trash ||
      Basename(Dirname(info)) != "info" || Basename(info) != Basename(trashed) + ".trashinfo") {
    return std::nullopt;
  }
  const std::optional<std::string> text = ReadSmall(info);
  if (!text) return std::nullopt;
  std::optional<TrashInfo> record = ParseTrashInfo(*text);
  if (!record) return std::nullopt;
  if (record->path.front() == '/') return record->path;
  const std::string relative = "/" + record->path + "/";
  if (relative.find("/../") != std::string::npos) return std::nullopt;
  // $topdir/.Trash-$uid and $topdir/.Trash/$uid name their files from $topdir.
  std::string base = Dirname(trash);
  if (Basename(base) == ".Trash") base = Dirname(base);
  return Join(base, record->path);
}

long HostTrash::Restore(const std::string& trashed, const std::string& info,
                        const std::string& target) const {
  const int error = RenameNoReplace(trashed, target);
  if (error != 0) return ErrnoCode(error);
  unlink(info.c_str());
  return win::kSuccess;
}

}  // namespace tovalin
