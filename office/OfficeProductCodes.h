// The product scan's verdict on an uninstall key name, also for callers that must not build the
// model (the list of Wine prefixes looks at dozens of them).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "office/ZelMso.h"
#include "support/Text.h"

namespace tovalin {

// The code table's entry for the product's kind code: characters 4-5 or 11-14, counted from 1,
// taken as written (a short name just yields a shorter kind code). Nullptr when none matches.
inline const TZelCodeEntry* FindKindEntry(std::string_view productCode, const TZelCodeTable& table,
                                          int codePosition) {
  const std::size_t from = codePosition == 0 ? 3 : 10;
  const std::size_t count = codePosition == 0 ? 2 : 4;
  const std::string_view kind =
      from < productCode.size() ? productCode.substr(from, count) : std::string_view();
  for (const TZelCodeEntry& entry : table) {
    if (kind.starts_with(entry.Code)) return &entry;
  }
  return nullptr;
}

// The Office version ("9.0" … "12.0") ScanInstalledProducts lists the product under, or nothing
// when it leaves the key out: an ending no catalogue row has, or a kind code flagged to skip.
// Unknown kind codes are listed, as the scan lists them.
inline std::optional<std::string> ListedOfficeVersion(std::string_view productCode) {
  const std::string upper = AsciiUpperCase(productCode);
  for (const TZelCatalogueRow& row : kCatalogue) {
    if (!std::string_view(upper).ends_with(row.Ending)) continue;
    const TZelCodeEntry* entry = FindKindEntry(productCode, *row.Table, row.CodePosition);
    if (entry != nullptr && std::string_view(entry->Flag) == "1") return std::nullopt;
    return std::string(row.Version);
  }
  return std::nullopt;
}

}  // namespace tovalin
