// VS_VERSIONINFO blocks (the Unicode layout every PE file carries): walked the way
// VerQueryValueW does, so the off-Windows backends answer the same paths as version.dll, and
// written the way a resource compiler lays them out, for the program's own version off Windows
// and for machines made up in memory.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tovalin {

// subBlock: "\" (the fixed file info), "\VarFileInfo\Translation", "\StringFileInfo\<block>\<key>".
// Text values come back as UTF-16LE bytes without their terminating NUL units. Every offset is
// checked against the block, so a damaged block answers false rather than reading past it.
bool QueryVersionBlock(const std::vector<std::uint8_t>& block, std::string_view subBlock,
                       std::vector<std::uint8_t>& value);

// One node: wLength, wValueLength, wType, the key, the value and the children, each part
// starting on a 4-byte boundary.
struct VersionNode {
  std::string key;
  std::vector<std::uint8_t> value;  // text as UTF-16LE bytes with its NUL unit
  bool text = false;
  std::vector<VersionNode> children;
  // wValueLength as written: UTF-16 units for text and bytes otherwise when not given. Some
  // tools count text in bytes; a block made to look like theirs says so here.
  std::optional<std::uint16_t> valueLength;
};

std::vector<std::uint8_t> WriteVersionNode(const VersionNode& node);
// A string-table entry: the text with its terminating NUL unit.
VersionNode VersionTextNode(std::string key, std::string_view text);

struct VersionBlockContent {
  // VS_FIXEDFILEINFO versions as four numbers each (major, minor, build, private).
  std::array<std::uint16_t, 4> fileVersion{};
  std::array<std::uint16_t, 4> productVersion{};
  std::uint32_t fileFlagsMask = 0;
  std::uint32_t fileFlags = 0;
  std::uint32_t fileOs = 0;
  std::uint32_t fileType = 0;
  std::uint32_t fileSubtype = 0;
  // "\VarFileInfo\Translation" entries: language, code page. None leaves out VarFileInfo.
  std::vector<std::pair<std::uint16_t, std::uint16_t>> translations;
  // String tables by block name ("041103A4"), each a list of key and UTF-8 value, in order.
  // None leaves out StringFileInfo.
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> tables;
};

std::vector<std::uint8_t> BuildVersionBlock(const VersionBlockContent& content);

}  // namespace tovalin
