// The history's files on Linux.
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "support/Sha256.h"
#include "support/action/HostFiles.h"
#include "support/platform/wine/AtomicFile.h"

namespace tovalin {

std::string DefaultHistoryFolder(const std::string& prefix) {
  std::string state;
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && *xdg == '/') {
    state = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    state = std::string(home) + "/.local/state";
  } else {
    state = "/tmp";
  }
  std::error_code error;
  const std::filesystem::path real = std::filesystem::weakly_canonical(HostPath(prefix), error);
  const std::string path = error ? prefix : HostPathText(real);
  // The folder's name for people, its digest so that two prefixes of one name stay apart.
  std::string name = HostPathText(HostPath(path).filename());
  if (name.empty()) name = "prefix";
  return state + "/tovalin/history/" + name + "-" + Sha256Hex(path).substr(0, 12);
}

void WriteHostFileDurably(const std::string& path, std::string_view content) {
  std::error_code error;
  std::filesystem::create_directories(HostPath(path).parent_path(), error);
  if (error) throw std::system_error(error, "cannot create the folder of " + path);
  // A file that is new gets the user's private mode: the history names the user's files.
  if (!std::filesystem::exists(HostPath(path), error)) {
    const mode_t old = umask(077);
    try {
      ReplaceFileAtomically(path, content);
    } catch (...) {
      umask(old);
      throw;
    }
    umask(old);
    return;
  }
  ReplaceFileAtomically(path, content);
}

}  // namespace tovalin
