// Text at the Win32 boundary: UTF-8 inside, UTF-16 in the W functions' wchar_t.
#pragma once

#include <string>
#include <string_view>

#include "support/Text.h"

namespace tovalin {

inline std::wstring Wide(std::string_view utf8) {
  const std::u16string units = Utf8ToUtf16(utf8);
  return std::wstring(units.begin(), units.end());
}

inline std::string Narrow(std::wstring_view text) {
  return Utf16ToUtf8(
      std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}
inline std::string Narrow(const wchar_t* text, std::size_t units) {
  return Narrow(std::wstring_view(text, units));
}

}  // namespace tovalin
