// The records a trash keeps of each file it holds, which tell where the file was: the
// freedesktop.org Trash's .trashinfo files (the desktop's trash on Linux, and where Wine puts
// what a Windows program recycles) and the $I files of Windows' Recycle Bin.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tovalin {

// A path as a .trashinfo's Path keeps it: every byte but letters, digits, "-._~" and "/"
// escaped as in URLs ("%20", the UTF-8 bytes of Japanese one by one).
std::string EncodeTrashPath(std::string_view path);

// The whole .trashinfo of a file that was at `path` (absolute, or relative to the top directory
// of the trash's file system) and went to the trash at `local`, the user's local time.
std::string TrashInfoText(std::string_view path, const std::tm& local);

struct TrashInfo {
  std::string path;          // decoded
  std::string deletionDate;  // as written, YYYY-MM-DDThh:mm:ss when well made
};
// Nothing when the text has no [Trash Info] group or its Path is missing or badly escaped.
std::optional<TrashInfo> ParseTrashInfo(std::string_view text);

struct RecycleBinInfo {
  std::uint64_t size = 0;
  std::uint64_t deletionTime = 0;  // FILETIME, UTC
  std::string path;                // where the file was
};
// A $I file: version 1 (Vista to 8.1, the path in 260 UTF-16 units) or 2 (Windows 10 on, the
// path counted). Nothing for any other or a cut one.
std::optional<RecycleBinInfo> ParseRecycleBinInfo(std::span<const std::uint8_t> bytes);

}  // namespace tovalin
