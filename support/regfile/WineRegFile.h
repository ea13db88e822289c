// Wine's registry files ("WINE REGISTRY Version 2": system.reg, user.reg, userdef.reg).
// A loaded hive keeps each key's text as it was read, so that a key nobody touched is written
// back byte for byte; keys that changed are written the way wineserver writes them.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "support/regfile/RegFileInput.h"
#include "support/registry/RegistryTree.h"

namespace tovalin {

struct WineHive {
  // The text before the first key, as read (magic line, ";; All keys relative to …", "#arch=").
  // Empty for a hive built from scratch: the writer then makes one from `relative` and `arch`.
  std::string header;
  std::string relative;  // "REGISTRY\Machine", "REGISTRY\User\S-1-5-…" from the header
  std::string arch;      // "win64", "win32" or "" when the file has no #arch line
  std::shared_ptr<RegNode> root = std::make_shared<RegNode>();
  // Whatever followed the last key's last line (blank lines, usually nothing).
  std::string trailer;
  // The texts the keys' own text (RegNode::fileText) points into: the file as read, and what
  // saves wrote since. A key's text costs nothing beyond the file it was read from; keys read
  // their values from it when first asked, so the hive must outlive every use of its keys.
  std::vector<std::shared_ptr<const std::string>> texts;
};

// Parses the text of a Wine registry file. `fileName` only names the file in errors.
// Every key is a RegNode below `root`; keys the file names only as part of a longer path are
// created as well, without text of their own. Loaded keys have their `modified` flag clear.
WineHive ParseWineRegistry(std::string text, const std::string& fileName);
// Reads and parses a file; an unreadable file is a RegFileError with line 0.
WineHive LoadWineRegistryFile(const std::string& path);

// Writes a hive in Wine's format. Keys whose `modified` flag is clear are written from the
// text they were read from; modified and new keys are written as wineserver writes them,
// stamped with `fileTimeNow` (a FILETIME: 100 ns ticks since 1601). Keys come out in
// wineserver's order: parents before children, siblings sorted by their lower-cased names.
std::string FormatWineRegistry(const WineHive& hive, std::uint64_t fileTimeNow);
// A hive's file as the pieces it is made of, in order: views into the texts the hive keeps,
// valid until the hive changes. A large hive with a few keys changed is a few large pieces, to
// be written as they are.
using WineHivePieces = std::vector<std::string_view>;
std::string JoinPieces(const WineHivePieces& pieces);

// The same as pieces, and what was written becomes the keys' own text, as if the hive had just
// been read from it: a save keeps the hive in memory as the file now holds it, with nothing to
// read back.
WineHivePieces FormatWineRegistryAsSaved(WineHive& hive, std::uint64_t fileTimeNow);
// Stamped with the current time.
std::string FormatWineRegistry(const WineHive& hive);

// The current time as a FILETIME.
std::uint64_t FileTimeNow();

}  // namespace tovalin
