// Regedit export files ("REGEDIT4", "Windows Registry Editor Version 5.00"), in UTF-16 or in
// ANSI/UTF-8, applied to an in-memory registry: keys under the spelled-out root names,
// "[-Key]" and "\"v\"=-" deletions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/platform/memory/MemoryRegistry.h"
#include "support/regfile/WineRegFile.h"

namespace tovalin {

// Applies the file's content to `registry`. Throws RegFileError naming file and line.
void ApplyRegeditFile(const std::vector<std::uint8_t>& content, const std::string& fileName,
                      MemoryRegistry& registry);
void LoadRegeditFile(const std::string& path, MemoryRegistry& registry);

}  // namespace tovalin
