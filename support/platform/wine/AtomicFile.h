// Saving files so that a crash at any moment leaves either the old or the new content whole.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tovalin {

// New content for a file, written to a temporary file beside it and flushed to the disk, ready
// to take the file's place with one rename. Several of them let a change that spans files be
// written completely before any file is replaced. Dropped without Replace(), it leaves nothing.
// The file keeps its permissions, and its owner and group as far as the process may give them
// (a user cannot give a file to a group it is not in). Failures throw std::system_error naming the
// step; the old file is then untouched.
class FileReplacement {
 public:
  FileReplacement(const std::string& path, std::string_view content);
  // The content in pieces, written in order as they are (no copy joins them).
  FileReplacement(const std::string& path, std::span<const std::string_view> pieces);
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Renames the new content over the file and flushes the folder.
  void Replace();

 private:
  std::string path_;
  std::string tempName_;  // empty once replaced
};

// One file's FileReplacement, written and put in place at once.
void ReplaceFileAtomically(const std::string& path, std::string_view content);

// The prefix of the temporary files, for removing those a killed process left behind.
inline constexpr std::string_view kAtomicTempMarker = ".tovalin-tmp-";

}  // namespace tovalin
