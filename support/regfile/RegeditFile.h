// Regedit export files ("REGEDIT4", "Windows Registry Editor Version 5.00"), in UTF-16LE with a
// byte-order mark, in UTF-8 (with or without one) or, without a mark and not valid UTF-8, in
// Shift_JIS as Japanese Windows writes REGEDIT4, applied to an in-memory registry: keys under
// the spelled-out root names or their short forms, "[-Key]" and "\"v\"=-" deletions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/regfile/WineRegFile.h"
#include "support/registry/TreeRegistry.h"

namespace tovalin {

// Applies the file's content to `registry`: creates the keys it names, sets and deletes values,
// deletes key trees. Changed keys get their `modified` flag and are passed to
// `registry.onChange`. The whole file is checked first: a malformed file throws RegFileError
// naming the file and line and changes nothing.
void ApplyRegeditFile(const std::vector<std::uint8_t>& content, const std::string& fileName,
                      TreeRegistry& registry);
// Reads the file and applies it; an unreadable file is a RegFileError with line 0.
void LoadRegeditFile(const std::string& path, TreeRegistry& registry);

}  // namespace tovalin
