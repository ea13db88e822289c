// Walks a VS_VERSIONINFO block (the Unicode layout every PE file carries) the way VerQueryValueW
// does, so the off-Windows backends answer the same paths as version.dll.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tovalin {

// subBlock: "\" (the fixed file info), "\VarFileInfo\Translation", "\StringFileInfo\<block>\<key>".
// Text values come back as UTF-16LE bytes without their terminating NUL units. Every offset is
// checked against the block, so a damaged block answers false rather than reading past it.
bool QueryVersionBlock(const std::vector<std::uint8_t>& block, std::string_view subBlock,
                       std::vector<std::uint8_t>& value);

}  // namespace tovalin
