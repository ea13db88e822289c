// The model keeps its texts in UTF-8; Qt keeps them in UTF-16.
#pragma once

#include <QString>
#include <algorithm>
#include <string>
#include <string_view>

#include "support/Text.h"

namespace tovalin {

// A name read from the registry may hold a lone surrogate in its WTF-8 form (see Text.h), which
// Qt's own UTF-8 conversions would replace: such text goes through ours, so that a name shown
// and handed back is the name that was read.
inline QString Q(std::string_view text) {
  const bool loneSurrogate =
      std::adjacent_find(text.begin(), text.end(), [](char lead, char next) {
        return static_cast<unsigned char>(lead) == 0xED && static_cast<unsigned char>(next) >= 0xA0;
      }) != text.end();
  if (!loneSurrogate) return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  const std::u16string units = Utf8ToUtf16(text);
  return QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size()));
}

inline std::string Utf8(const QString& text) {
  const bool surrogate =
      std::any_of(text.begin(), text.end(), [](QChar c) { return c.isSurrogate(); });
  if (surrogate) {
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                           static_cast<std::size_t>(text.size())));
  }
  const QByteArray bytes = text.toUtf8();
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace tovalin
