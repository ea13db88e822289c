// Installed products: the uninstall entries decoded against the product-code catalogue.
#include "office/OfficeProductCodes.h"
#include "office/ZelMso.h"
#include "support/Text.h"
#include "support/ZelRegistry.h"

namespace tovalin {

namespace {

bool UsableProductId(const std::string& id) {
  return id.find('-') != std::string::npos;
}

double VersionNumber(const std::string& version) {
  // Catalogue versions are always numeric ("9.0" … "12.0").
  try {
    return std::stod(version);
  } catch (...) {
    return 0;
  }
}

}  // namespace

void TZelMso::ScanInstalledProducts() {
  UnrecognisedProducts.clear();
  Versions.clear();

  std::vector<std::string> names;
  {
    TZelRegistry reg(platform_.Registry());
    reg.SetRoot(RootKey::LocalMachine);
    if (reg.OpenKeyRead(kUninstallKey)) {
      names = reg.ListSubKeys();
      reg.CloseCurrent();
    }
  }

  TZelRegistry reg(platform_.Registry());
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    const std::string& name = *it;
    const std::string upper = AsciiUpperCase(name);
    const TZelCatalogueRow* row = nullptr;
    for (const TZelCatalogueRow& candidate : kCatalogue) {
      const std::string_view ending = candidate.Ending;
      if (upper.size() >= ending.size() &&
          upper.compare(upper.size() - ending.size(), ending.size(), ending) == 0) {
        row = &candidate;
        break;
      }
    }
    if (row == nullptr) continue;
    if (MatchProductCode(name, *row->Table, row->CodePosition) == -1) continue;

    reg.SetRoot(RootKey::LocalMachine);
    if (!reg.OpenKeyRead(FormatPath("%s\\%s", {kUninstallKey, name}))) continue;

    TZelMsoVersion record;
    record.Version = row->Version;
    record.DisplayName = ScanText(reg, "DisplayName", Warnings);
    record.DisplayVersion = ScanText(reg, "DisplayVersion", Warnings);
    record.ProductCode = name;

    std::string productId = ScanText(reg, "ProductID", Warnings);
    if (!UsableProductId(productId)) productId.clear();

    if (productId.empty()) {
      reg.SetRoot(RootKey::LocalMachine);
      if (reg.OpenKeyRead(
              FormatPath("%s\\%s\\Registration\\ProductID", {kOfficeRoot, record.Version}))) {
        const std::string id = ScanText(reg, "ProductID", Warnings);
        if (UsableProductId(id)) productId = id;
      }
    }

    // A key name that is not a braced GUID has no packed form and so no installer entry.
    const std::string packed = PackGuid(name);
    if (productId.empty() && !packed.empty()) {
      std::vector<std::string> users;
      {
        TZelRegistry list(platform_.Registry());
        list.SetRoot(RootKey::LocalMachine);
        if (list.OpenKeyRead(kInstallerUserData)) users = list.ListSubKeys();
      }
      for (const std::string& user : users) {
        reg.SetRoot(RootKey::LocalMachine);
        if (!reg.OpenKeyRead(FormatPath("%s\\%s\\Products\\%s\\InstallProperties",
                                        {kInstallerUserData, user, packed}))) {
          continue;
        }
        const std::string id = ScanText(reg, "ProductID", Warnings);
        if (UsableProductId(id)) {
          productId = id;
          break;
        }
      }
    }

    record.ProductId = productId;
    reg.CloseCurrent();
    Versions.push_back(std::move(record));
  }

  SortVersions(Versions);
}

int TZelMso::MatchProductCode(std::string_view productCode, const TZelCodeTable& codeTable,
                              int codePosition) {
  if (const TZelCodeEntry* entry = FindKindEntry(productCode, codeTable, codePosition)) {
    return std::string_view(entry->Flag) == "1" ? -1 : 0;
  }

  TZelRegistry reg(platform_.Registry());
  reg.SetRoot(RootKey::LocalMachine);
  if (reg.OpenKeyRead(FormatPath("%s\\%s", {kUninstallKey, productCode}))) {
    const std::string displayName = ScanText(reg, "DisplayName", Warnings);
    UnrecognisedProducts += "GUID: ";
    UnrecognisedProducts += productCode;
    UnrecognisedProducts += "\r\n製品名: ";
    UnrecognisedProducts += displayName;
    UnrecognisedProducts += "\r\n\r\n";
  }
  return 0;
}

void TZelMso::SortVersions(std::vector<TZelMsoVersion>& list) {
  for (std::size_t i = 0; i + 1 < list.size(); ++i) {
    for (std::size_t j = i + 1; j < list.size(); ++j) {
      if (VersionNumber(list[j].Version) > VersionNumber(list[i].Version)) {
        std::swap(list[i], list[j]);
      }
    }
  }
}

}  // namespace tovalin
