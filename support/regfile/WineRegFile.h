// Wine's registry files ("WINE REGISTRY Version 2": system.reg, user.reg, userdef.reg).
// A loaded hive keeps each key's text as it was read, so that a key nobody touched is written
// back byte for byte.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

#include "support/platform/memory/MemoryRegistry.h"

namespace tovalin {

// A malformed file: the message names the file and the line.
class RegFileError : public std::runtime_error {
 public:
  RegFileError(const std::string& file, std::size_t line, const std::string& what);
  std::string file;
  std::size_t line = 0;
};

struct WineHive {
  std::string header;    // the lines before the first key, as read (";; All keys relative to …")
  std::string relative;  // "REGISTRY\Machine", "REGISTRY\User\S-1-5-…" from the header
  std::string arch;      // "win64", "win32" or "" when the file has no #arch line
  std::shared_ptr<RegNode> root = std::make_shared<RegNode>();
};

// Parses the text of a Wine registry file. `fileName` only names the file in errors.
WineHive ParseWineRegistry(std::string_view text, const std::string& fileName);
WineHive LoadWineRegistryFile(const std::string& path);
// Writes a hive in Wine's format; keys whose `modified` flag is clear are written from the text
// they were read from.
std::string FormatWineRegistry(const WineHive& hive);

}  // namespace tovalin
