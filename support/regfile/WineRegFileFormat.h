// What reading and writing a Wine hive file share: the file's fixed lines and wineserver's
// order of names. Internal to support/regfile.
#pragma once

#include <string_view>

namespace tovalin::wine_regfile {

inline constexpr std::string_view kMagic = "WINE REGISTRY Version 2";
inline constexpr std::string_view kRelativePrefix = ";; All keys relative to ";

inline int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// wineserver orders names by their lower-cased UTF-16 units, shorter first on a tie.
int WineCompare(std::string_view a, std::string_view b);
int WineCompare16(std::u16string_view a, std::u16string_view b);

}  // namespace tovalin::wine_regfile
