// Reading a registry file (a Wine hive or a regedit export) whole, refusing what is not one: a
// FIFO would block the reader for ever, a link to a device would read without end.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace tovalin {

// A malformed file: the message names the file and the line ("file の 4 行目: what", `what` a
// sentence).
class RegFileError : public std::runtime_error {
 public:
  RegFileError(const std::string& file, std::size_t line, const std::string& what);
  // The file cannot be read at all; `sentence` names it and says why.
  RegFileError(const std::string& file, const std::string& sentence);
  std::string file;
  std::size_t line = 0;  // 1-based; 0 when the error is not about a line (file unreadable)
};

// Larger than any registry file: a fresh prefix's system.reg is under 2 MB.
constexpr std::uint64_t kMaxRegistryFileSize = std::uint64_t{2} << 30;

// The file's bytes. Only a regular file (links followed) of at most kMaxRegistryFileSize bytes
// is read, and only as many bytes as it had when opened. Anything else is a RegFileError with
// line 0 whose message says what is wrong with the file.
std::string ReadRegistryFile(const std::string& path);

// The sentence for a registry file with nothing in it (a RegFileError with line 0): it has no
// line to be wrong, and saying its first line is bad would send the reader looking for one.
std::string EmptyRegistryFileMessage(const std::string& path);

#ifndef _WIN32
// Why opening or examining `path` failed with `error` (an errno value), as a sentence naming
// the file: missing, a link to nothing, a link loop, no permission, a directory, too large…
std::string FileProblemMessage(const std::string& path, int error);
#endif

}  // namespace tovalin
