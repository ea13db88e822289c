#include "support/platform/wine/WineFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "support/FileNames.h"
#include "support/Text.h"

namespace tovalin {

namespace {

bool IsWildcardMask(std::string_view mask) {
  return mask.find_first_of("*?") != std::string_view::npos;
}

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

// The entry of `dir` whose name equals `name` without regard to case. Among several (Linux
// allows "a" and "A" side by side) the first in case-insensitive, then byte order wins, so the
// answer does not depend on the order readdir happens to give.
std::optional<std::string> FindNoCase(const std::string& dir, std::string_view name) {
  DirPtr handle(opendir(dir.c_str()));
  if (!handle) return std::nullopt;
  std::optional<std::string> best;
  while (const dirent* entry = readdir(handle.get())) {
    const std::string_view entryName = entry->d_name;
    if (entryName == "." || entryName == "..") continue;
    if (CompareNoCase(entryName, name) != 0) continue;
    if (!best || entryName < *best) best = std::string(entryName);
  }
  return best;
}

// Wine keeps the DOS attributes it cannot map onto Unix modes in this extended attribute, as
// "0x" and hexadecimal digits; only "hidden" and "system" are taken from it.
std::uint32_t StoredDosAttributes(const std::string& unixPath) {
  char buffer[32] = {};
  const ssize_t size = getxattr(unixPath.c_str(), "user.DOSATTRIB", buffer, sizeof(buffer) - 1);
  if (size <= 0) return 0;
  buffer[size] = '\0';
  const char* digits = buffer;
  if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits += 2;
  char* end = nullptr;
  const unsigned long value = std::strtoul(digits, &end, 16);
  if (end == digits) return 0;
  return static_cast<std::uint32_t>(value) &
         (win::kFileAttributeHidden | win::kFileAttributeSystem);
}

std::string RealPath(const std::string& path) {
  const std::unique_ptr<char, decltype(&free)> real(realpath(path.c_str(), nullptr), &free);
  return real ? std::string(real.get()) : std::string();
}

}  // namespace

bool SplitWindowsPath(std::string_view input, char& drive, std::vector<std::string>& parts) {
  std::string path(input);
  std::replace(path.begin(), path.end(), '/', '\\');
  std::string_view rest = path;
  if (rest.substr(0, 4) == "\\\\?\\" || rest.substr(0, 4) == "\\\\.\\" ||
      rest.substr(0, 4) == "\\??\\") {
    rest.remove_prefix(4);
  }
  if (rest.substr(0, 2) == "\\\\") return false;  // a network share
  drive = 'c';
  if (rest.size() >= 2 && rest[1] == ':') {
    const char letter = AsciiLower(rest[0]);
    if (letter < 'a' || letter > 'z') return false;
    drive = letter;
    rest.remove_prefix(2);
  }
  parts.clear();
  for (std::string& part : SplitPath(rest)) {
    if (part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(std::move(part));
  }
  return true;
}

WineFileSystem::WineFileSystem(std::string prefixDir, HostUser user)
    : prefix_(std::move(prefixDir)), trash_(std::move(user)) {}

std::optional<std::string> WineFileSystem::UnixPath(std::string_view windowsPath) const {
  char drive = 'c';
  std::vector<std::string> parts;
  if (!SplitWindowsPath(windowsPath, drive, parts)) return std::nullopt;
  std::string current = prefix_ + "/dosdevices/" + drive + ":";
  struct stat st {};
  if (stat(current.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return std::nullopt;
  // "x.txt\" names a folder: Windows does not find a file that way.
  const char last = windowsPath.empty() ? '\0' : windowsPath.back();
  const bool folderOnly = !parts.empty() && (last == '\\' || last == '/');
  for (const std::string& part : parts) {
    std::string exact = current + "/" + part;
    if (lstat(exact.c_str(), &st) == 0) {
      current = std::move(exact);
      continue;
    }
    const std::optional<std::string> found = FindNoCase(current, part);
    if (!found) return std::nullopt;
    current += "/" + *found;
  }
  if (folderOnly && (stat(current.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) return std::nullopt;
  return current;
}

std::uint32_t WineFileSystem::AttributesOf(const std::string& unixPath,
                                           std::string_view name) const {
  struct stat st {};
  if (stat(unixPath.c_str(), &st) != 0) return win::kInvalidFileAttributes;
  std::uint32_t attributes =
      S_ISDIR(st.st_mode) ? win::kFileAttributeDirectory : win::kFileAttributeArchive;
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    attributes |= win::kFileAttributeReadOnly;
  }
  if (!showDotFiles_ && name.size() > 1 && name[0] == '.' && name != "..") {
    attributes |= win::kFileAttributeHidden;
  }
  // A link below a drive's root shows as what it is (dosdevices/ itself is made of links).
  if (!name.empty() && lstat(unixPath.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
    attributes |= win::kFileAttributeReparsePoint;
  }
  return attributes | StoredDosAttributes(unixPath);
}

std::uint32_t WineFileSystem::GetFileAttributes(std::string_view path) {
  const std::optional<std::string> unixPath = UnixPath(path);
  if (!unixPath) return win::kInvalidFileAttributes;
  const std::size_t slash = unixPath->find_last_of('/');
  std::string_view name = std::string_view(*unixPath).substr(slash + 1);
  if (name.size() == 2 && name[1] == ':') name = {};  // a drive's root has no name of its own
  return AttributesOf(*unixPath, name);
}

std::vector<FindEntry> WineFileSystem::FindFiles(std::string_view pattern) {
  std::string normalized(pattern);
  std::replace(normalized.begin(), normalized.end(), '/', '\\');
  const std::size_t cut = normalized.find_last_of("\\:");
  const std::string folder =
      cut == std::string::npos ? std::string() : normalized.substr(0, cut + 1);
  std::string mask = cut == std::string::npos ? normalized : normalized.substr(cut + 1);
  if (mask.empty()) return {};
  if (mask == "*.*") mask = "*";  // DOS: also the names without a dot

  const std::optional<std::string> dir = UnixPath(folder);
  if (!dir) return {};
  std::vector<FindEntry> found;
  if (!IsWildcardMask(mask)) {
    std::string name = mask;
    struct stat st {};
    if (lstat((*dir + "/" + name).c_str(), &st) != 0) {
      const std::optional<std::string> match = FindNoCase(*dir, mask);
      if (!match) return {};
      name = *match;
    }
    const std::uint32_t attributes = AttributesOf(*dir + "/" + name, name);
    if (attributes != win::kInvalidFileAttributes) found.push_back(FindEntry{name, attributes});
    return found;
  }

  DirPtr handle(opendir(dir->c_str()));
  if (!handle) return {};
  // "." and ".." are left out: nothing here wants them, and a caller that walks folders would
  // otherwise have to know to skip them.
  while (const dirent* entry = readdir(handle.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (!MatchFileMask(mask, name)) continue;
    const std::uint32_t attributes = AttributesOf(*dir + "/" + name, name);
    if (attributes == win::kInvalidFileAttributes) continue;  // a dangling link
    found.push_back(FindEntry{name, attributes});
  }
  std::sort(found.begin(), found.end(), [](const FindEntry& a, const FindEntry& b) {
    const int order = CompareNoCase(a.name, b.name);
    return order != 0 ? order < 0 : a.name < b.name;
  });
  return found;
}

bool WineFileSystem::DeleteFile(std::string_view path) {
  const std::optional<std::string> unixPath = UnixPath(path);
  if (!unixPath || !InsideProfile(*unixPath)) return false;
  const std::uint32_t attributes = AttributesOf(*unixPath, {});
  if (attributes == win::kInvalidFileAttributes) return false;
  // Windows refuses to delete folders and read-only files through DeleteFile.
  if (attributes & (win::kFileAttributeDirectory | win::kFileAttributeReadOnly)) return false;
  return unlink(unixPath->c_str()) == 0;
}

std::string WineFileSystem::UserFilesRefusal(std::string_view folder) {
  const std::string named(folder);
  char drive = 'c';
  std::vector<std::string> parts;
  if (!SplitWindowsPath(folder, drive, parts)) {
    return named + " はこの Wine のプレフィックスのドライブ上にありません。";
  }
  const std::string users = RealPath(prefix_ + "/drive_c/users");
  if (users.empty()) {
    return named + " を確かめられません（Wine のプレフィックス " + prefix_ +
           " にユーザー フォルダー drive_c/users がありません）。";
  }
  std::string current = RealPath(prefix_ + "/dosdevices/" + drive + ":");
  if (current.empty()) return named + " のドライブがこの Wine のプレフィックスにありません。";
  if (current == "/") current.clear();  // Z: is the host's root; its folders start with "/"
  // Each step is taken as it is, never through a link: a link may lead anywhere on the host.
  std::string step = std::string(1, static_cast<char>(drive - 'a' + 'A')) + ":";
  for (const std::string& part : parts) {
    std::string name = part;
    struct stat st {};
    bool exists = lstat((current + "/" + name).c_str(), &st) == 0;
    if (!exists) {
      if (const std::optional<std::string> found =
              FindNoCase(current.empty() ? "/" : current, part)) {
        name = *found;
        exists = lstat((current + "/" + name).c_str(), &st) == 0;
      }
    }
    current += "/" + name;
    step += "\\" + name;
    if (exists && S_ISLNK(st.st_mode)) return named + " への道筋の " + step + " はリンクです。";
  }
  if (!current.starts_with(users + "/")) {
    return named + " は Wine のプレフィックスのユーザー フォルダー " + users +
           " の中にありません（ホストの " + current + " にあたります）。";
  }
  return {};
}

std::string WineFileSystem::ProfileRoot() {
  if (environment_ == nullptr) return {};
  const std::optional<std::string> profile = environment_->GetVariable("USERPROFILE");
  if (!profile || !UserFilesRefusal(*profile).empty()) return {};
  const std::optional<std::string> profileDir = UnixPath(*profile);
  return profileDir ? RealPath(*profileDir) : std::string();
}

bool WineFileSystem::InsideProfile(const std::string& unixPath) {
  // Only repairs delete, and only what the user's Office left in the user's own folders: a
  // regular file whose folder really lies inside the profile folder, whatever links lead there,
  // in a profile folder that lies where the prefix keeps its users' folders.
  struct stat st {};
  if (lstat(unixPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  const std::string root = ProfileRoot();
  const std::string inside = RealPath(unixPath.substr(0, unixPath.find_last_of('/')));
  if (root.empty() || inside.empty()) return false;
  return inside == root || inside.starts_with(root + "/");
}

long WineFileSystem::TrashFile(std::string_view path, TrashedFile& trashed) {
  char drive = 'c';
  std::vector<std::string> parts;
  const std::optional<std::string> unixPath = UnixPath(path);
  if (!unixPath || !SplitWindowsPath(path, drive, parts) || parts.empty()) {
    return win::kFileNotFound;
  }
  const std::uint32_t attributes = AttributesOf(*unixPath, {});
  if (attributes == win::kInvalidFileAttributes) return win::kFileNotFound;
  if (!InsideProfile(*unixPath) ||
      (attributes & (win::kFileAttributeDirectory | win::kFileAttributeReadOnly)) != 0) {
    return win::kAccessDenied;
  }
  const std::size_t slash = unixPath->find_last_of('/');
  const std::string name = unixPath->substr(slash + 1);
  TrashedFile done;
  const long rc = trash_.Trash(RealPath(unixPath->substr(0, slash)), name, done.trashed, done.info);
  if (rc != win::kSuccess) return rc;
  done.path = std::string(1, AsciiUpper(drive)) + ":";
  parts.back() = name;
  for (const std::string& part : parts) done.path += "\\" + part;
  trashed = std::move(done);
  return win::kSuccess;
}

long WineFileSystem::RestoreFile(const TrashedFile& trashed) {
  const std::size_t cut = trashed.path.find_last_of("\\/");
  if (cut == std::string::npos || trashed.trashed.empty() || trashed.info.empty()) {
    return win::kFileNotFound;
  }
  if (GetFileAttributes(trashed.path) != win::kInvalidFileAttributes) return win::kFileExists;
  const std::string name = trashed.path.substr(cut + 1);
  const std::optional<std::string> folder = UnixPath(trashed.path.substr(0, cut + 1));
  if (!folder) return win::kPathNotFound;
  const std::string realFolder = RealPath(*folder);
  const std::string root = ProfileRoot();
  if (root.empty() || realFolder.empty() ||
      !(realFolder == root || realFolder.starts_with(root + "/"))) {
    return win::kAccessDenied;
  }
  struct stat st {};
  if (lstat(trashed.trashed.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return win::kFileNotFound;
  const std::optional<std::string> original = trash_.OriginalPath(trashed.trashed, trashed.info);
  const std::size_t slash = original ? original->find_last_of('/') : std::string::npos;
  if (slash == std::string::npos || original->substr(0, slash) != realFolder ||
      CompareNoCase(original->substr(slash + 1), name) != 0) {
    return win::kFileNotFound;
  }
  return trash_.Restore(trashed.trashed, trashed.info, *original);
}

std::optional<std::vector<std::uint8_t>> WineFileSystem::ReadFile(std::string_view path) {
  const std::optional<std::string> unixPath = UnixPath(path);
  if (!unixPath) return std::nullopt;
  const int fd = open(unixPath->c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::vector<std::uint8_t> content;
  struct stat st {};
  bool ok = fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
  if (ok && st.st_size > 0) content.reserve(static_cast<std::size_t>(st.st_size));
  std::uint8_t buffer[65536];
  while (ok) {
    const ssize_t n = read(fd, buffer, sizeof(buffer));
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    content.insert(content.end(), buffer, buffer + n);
  }
  close(fd);
  if (!ok) return std::nullopt;
  return content;
}

}  // namespace tovalin
