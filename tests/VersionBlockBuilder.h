// Builds VS_VERSIONINFO blocks (the Unicode layout of a PE file's RT_VERSION resource) for tests
// that hand a version resource to the in-memory platform without a real executable.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace tovalin::test {

struct VersionBlockContent {
  // VS_FIXEDFILEINFO versions as four numbers each (major, minor, build, private).
  std::array<std::uint16_t, 4> fileVersion{};
  std::array<std::uint16_t, 4> productVersion{};
  // "\VarFileInfo\Translation" entries: language, code page. None leaves out VarFileInfo.
  std::vector<std::pair<std::uint16_t, std::uint16_t>> translations;
  // String tables by block name ("041103A4"), each a list of key and UTF-8 value, in order.
  std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> tables;
};

std::vector<std::uint8_t> BuildVersionBlock(const VersionBlockContent& content);

// One string table under the block of its one translation, as most files have it
// (language 0x0411, code page 932 gives the block "041103A4").
std::vector<std::uint8_t> BuildVersionBlock(const std::map<std::string, std::string>& strings,
                                            std::uint16_t language = 0x0411,
                                            std::uint16_t codePage = 932);

}  // namespace tovalin::test
