#include "tests/VersionBlockBuilder.h"

#include <cstdio>
#include <utility>

namespace tovalin::test {

std::vector<std::uint8_t> BuildVersionBlock(const std::map<std::string, std::string>& strings,
                                            std::uint16_t language, std::uint16_t codePage) {
  VersionBlockContent content;
  content.translations.emplace_back(language, codePage);
  char blockName[16];
  std::snprintf(blockName, sizeof blockName, "%04X%04X", language, codePage);
  content.tables.emplace_back(
      blockName, std::vector<std::pair<std::string, std::string>>(strings.begin(), strings.end()));
  return tovalin::BuildVersionBlock(content);
}

}  // namespace tovalin::test
