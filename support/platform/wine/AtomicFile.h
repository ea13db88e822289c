// Saving a file so that a crash at any moment leaves either the old or the new content whole.
#pragma once

#include <string>
#include <string_view>

namespace tovalin {

// Writes `content` to a temporary file beside `path`, flushes it to the disk, renames it over
// `path` and flushes the folder. The file keeps its owner and permissions. Throws
// std::system_error naming the step that failed; the old file is then untouched.
void ReplaceFileAtomically(const std::string& path, std::string_view content);

// The prefix of the temporary files, for removing those a killed process left behind.
inline constexpr std::string_view kAtomicTempMarker = ".tovalin-tmp-";

}  // namespace tovalin
