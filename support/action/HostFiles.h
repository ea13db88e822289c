// The files Tovalin keeps of its own on the computer it runs on (not in a Wine prefix): the
// history of actions, written so that a crash leaves each file whole. Paths are UTF-8.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tovalin {

// Where the history of actions lives: on Windows %LOCALAPPDATA%\Tovalin\history; on Linux
// $XDG_STATE_HOME/tovalin/history (~/.local/state/...) with one folder per Wine prefix, named
// after the prefix's real path. `prefix` is "" on Windows.
std::string DefaultHistoryFolder(const std::string& prefix);

// The file's new content, written beside it, flushed and renamed over it. Throws
// std::system_error naming the step; the old file then stays as it was.
void WriteHostFileDurably(const std::string& path, std::string_view content);

std::optional<std::string> ReadHostFile(const std::string& path);

inline std::filesystem::path HostPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}
inline std::string HostPathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace tovalin
