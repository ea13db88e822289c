#include "support/platform/wine/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <vector>

namespace tovalin {

namespace {

[[noreturn]] void Fail(const std::string& what, int error) {
  throw std::system_error(error, std::generic_category(), what);
}

// Pieces handed to one writev, well under any system's IOV_MAX.
constexpr std::size_t kBatch = 512;

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A prefix is often saved by root for its user: the new file stays the user's. Others may not
// give a file away, nor to a group they are not in (a prefix chowned to its user, group left as
// root), yet may replace the file by rename as Wine does: then as much of the ownership as is
// allowed is kept, and the save goes on with the file's mode.
void KeepOwnership(int fd, const struct stat& old) {
  constexpr uid_t kKeepOwner = static_cast<uid_t>(-1);
  constexpr gid_t kKeepGroup = static_cast<gid_t>(-1);
  const uid_t owner = old.st_uid != geteuid() ? old.st_uid : kKeepOwner;
  const gid_t group = old.st_gid != getegid() ? old.st_gid : kKeepGroup;
  if (owner == kKeepOwner && group == kKeepGroup) return;
  if (fchown(fd, owner, group) == 0) return;
  if (owner != kKeepOwner) {
    [[maybe_unused]] const int ignored = fchown(fd, owner, kKeepGroup);
  }
  if (group != kKeepGroup) {
    [[maybe_unused]] const int ignored = fchown(fd, kKeepOwner, group);
  }
}

}  // namespace

FileReplacement::FileReplacement(const std::string& path, std::string_view content)
    : FileReplacement(path, std::span<const std::string_view>(&content, 1)) {}

FileReplacement::FileReplacement(const std::string& path, std::span<const std::string_view> pieces)
    : path_(path) {
  std::string tempName = path + std::string(kAtomicTempMarker) + "XXXXXX";
  std::vector<char> nameBuffer(tempName.begin(), tempName.end());
  nameBuffer.push_back('\0');
  const int fd = mkostemp(nameBuffer.data(), O_CLOEXEC);
  if (fd < 0) Fail("cannot create a temporary file beside " + path, errno);
  tempName = nameBuffer.data();

  auto abandon = [&](const std::string& what) {
    const int error = errno;
    close(fd);
    unlink(tempName.c_str());
    Fail(what, error);
  };

  struct stat old {};
  if (stat(path.c_str(), &old) == 0) {
    // The mode after the owner: a change of owner may clear set-id bits.
    KeepOwnership(fd, old);
    if (fchmod(fd, old.st_mode & 07777) != 0) abandon("cannot set the mode of " + tempName);
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0) abandon("cannot set the mode of " + tempName);
  }

  // Gathered a batch at a time; a write that stops short goes on from where it stopped.
  std::vector<iovec> batch;
  for (std::size_t next = 0; next < pieces.size() || !batch.empty();) {
    while (batch.size() < kBatch && next < pieces.size()) {
      const std::string_view piece = pieces[next++];
      if (!piece.empty()) batch.push_back({const_cast<char*>(piece.data()), piece.size()});
    }
    if (batch.empty()) break;
    const ssize_t n = writev(fd, batch.data(), static_cast<int>(batch.size()));
    if (n < 0) {
      if (errno == EINTR) continue;
      abandon("cannot write " + tempName);
    }
    auto done = static_cast<std::size_t>(n);
    std::size_t full = 0;
    while (full < batch.size() && done >= batch[full].iov_len) done -= batch[full++].iov_len;
    batch.erase(batch.begin(), batch.begin() + static_cast<std::ptrdiff_t>(full));
    if (!batch.empty()) {
      batch.front().iov_base = static_cast<char*>(batch.front().iov_base) + done;
      batch.front().iov_len -= done;
    }
  }
  if (fsync(fd) != 0) abandon("cannot flush " + tempName);
  if (close(fd) != 0) {
    const int error = errno;
    unlink(tempName.c_str());
    Fail("cannot close " + tempName, error);
  }
  tempName_ = std::move(tempName);
}

FileReplacement::~FileReplacement() {
  if (!tempName_.empty()) unlink(tempName_.c_str());
}

void FileReplacement::Replace() {
  if (rename(tempName_.c_str(), path_.c_str()) != 0) {
    const int error = errno;
    Fail("cannot rename " + tempName_ + " to " + path_, error);
  }
  tempName_.clear();
  // The rename itself is durable only once the folder is flushed.
  const int dir = open(FolderOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

void ReplaceFileAtomically(const std::string& path, std::string_view content) {
  FileReplacement(path, content).Replace();
}

}  // namespace tovalin
