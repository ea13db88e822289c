// The product scan's verdict on an uninstall key name, for callers that must not build the
// model (the list of Wine prefixes looks at dozens of them). TZelMso::MatchProductCode needs a
// model, for the report of unknown codes, so its table walk is repeated here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "office/ZelMso.h"
#include "support/Text.h"

namespace tovalin {

// The Office version ("9.0" … "12.0") ScanInstalledProducts lists the product under, or nothing
// when it leaves the key out: an ending no catalogue row has, or a kind code flagged to skip.
// Unknown kind codes are listed, as the scan lists them.
inline std::optional<std::string> ListedOfficeVersion(std::string_view productCode) {
  const std::string upper = AsciiUpperCase(productCode);
  for (const TZelCatalogueRow& row : kCatalogue) {
    if (!std::string_view(upper).ends_with(row.Ending)) continue;
    // The scan takes the kind code from the name as written, so lower-case codes miss the table.
    const std::size_t from = row.CodePosition == 0 ? 3 : 10;
    const std::size_t count = row.CodePosition == 0 ? 2 : 4;
    const std::string_view kind =
        from < productCode.size() ? productCode.substr(from, count) : std::string_view();
    for (const TZelCodeEntry& entry : *row.Table) {
      if (!kind.starts_with(entry.Code)) continue;
      if (std::string_view(entry.Flag) == "1") return std::nullopt;
      break;
    }
    return std::string(row.Version);
  }
  return std::nullopt;
}

}  // namespace tovalin
