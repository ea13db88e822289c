// The model keeps its texts in UTF-8; Qt keeps them in UTF-16.
#pragma once

#include <QString>
#include <string_view>

namespace tovalin {

inline QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace tovalin
