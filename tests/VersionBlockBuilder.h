// Version blocks for tests that hand a version resource to the in-memory platform without a real
// executable: the common shape, one string table under its one translation.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/VersionBlock.h"

namespace tovalin::test {

// Language 0x0411 and code page 932 give the block "041103A4".
std::vector<std::uint8_t> BuildVersionBlock(const std::map<std::string, std::string>& strings,
                                            std::uint16_t language = 0x0411,
                                            std::uint16_t codePage = 932);

}  // namespace tovalin::test
