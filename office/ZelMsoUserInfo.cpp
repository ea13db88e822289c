// The registered user: company, name and initials, kept by the uninstall entry, the installer's
// per-user product properties and each version's per-user UserInfo key.
#include <string>
#include <vector>

#include "office/ZelMso.h"
#include "support/ZelRegistry.h"
#include "support/ZelSysUtils.h"

namespace tovalin {

namespace {

std::vector<std::string> InstallerUsers(Platform& platform) {
  TZelRegistry reg(platform.Registry());
  reg.SetRoot(RootKey::LocalMachine);
  if (!reg.OpenKeyRead(kInstallerUserData)) return {};
  return reg.ListSubKeys();
}

std::string InstallPropertiesKey(std::string_view user, std::string_view packedCode) {
  return FormatPath("%s\\%s\\Products\\%s\\InstallProperties",
                    {kInstallerUserData, user, packedCode});
}

std::string UserInfoKey(std::string_view version) {
  return FormatPath("%s\\%s\\Common\\UserInfo", {kOfficeRoot, version});
}

// A field still empty takes the stored text, untrimmed, unless it holds nothing but spaces.
void ReadField(TZelRegistry& reg, std::string_view name, std::string& field,
               std::vector<std::string>& warnings) {
  if (!field.empty()) return;
  std::string text = ScanText(reg, name, warnings);
  if (TrimWideSpaces(text).empty()) text.clear();
  field = std::move(text);
}

}  // namespace

void TZelMso::ReadUserInfo() {
  Company.clear();
  Owner.clear();
  Initials.clear();

  auto readInstallProperties = [this](const std::string& packedCode) {
    // A malformed product code packs to nothing; it must not open the "Products" key itself.
    if (packedCode.empty()) return;
    for (const std::string& user : InstallerUsers(platform_)) {
      TZelRegistry reg(platform_.Registry());
      reg.SetRoot(RootKey::LocalMachine);
      if (!reg.OpenKeyRead(InstallPropertiesKey(user, packedCode))) continue;
      ReadField(reg, "RegCompany", Company, Warnings);
      ReadField(reg, "RegOwner", Owner, Warnings);
      reg.CloseCurrent();
    }
  };

  // Without a main product its uninstall entry is not there; the list key itself is no entry.
  if (!ProductCode.empty()) {
    TZelRegistry reg(platform_.Registry());
    reg.SetRoot(RootKey::LocalMachine);
    if (reg.OpenKeyRead(FormatPath("%s\\%s", {kUninstallKey, ProductCode}))) {
      ReadField(reg, "RegCompany", Company, Warnings);
      ReadField(reg, "RegOwner", Owner, Warnings);
      reg.CloseCurrent();
    }
    readInstallProperties(PackGuid(ProductCode));
  }

  for (auto record = Versions.rbegin(); record != Versions.rend(); ++record) {
    readInstallProperties(PackGuid(record->ProductCode));
  }

  for (auto record = Versions.rbegin(); record != Versions.rend(); ++record) {
    TZelRegistry reg(platform_.Registry());
    reg.SetRoot(RootKey::CurrentUser);
    if (reg.OpenKeyRead(UserInfoKey(record->Version))) {
      ReadField(reg, "Company", Company, Warnings);
      ReadField(reg, "UserName", Owner, Warnings);
      ReadField(reg, "UserInitials", Initials, Warnings);
      reg.CloseCurrent();
    }
    if (!Company.empty() && !Owner.empty() && !Initials.empty()) break;
  }
}

void TZelMso::WriteUserInfo(std::string_view company, std::string_view owner,
                            std::string_view initials) {
  Perform(PlanUserInfo(company, owner, initials));
}

TZelMso::TActionPlan TZelMso::PlanUserInfo(std::string_view company, std::string_view owner,
                                           std::string_view initials) {
  return Planned([&] {
    WriteUserInfoKeys(company, owner, initials);
    return TRepairResult{};
  });
}

void TZelMso::WriteUserInfoKeys(std::string_view company, std::string_view owner,
                                std::string_view initials) {
  // Each place is written only where it already exists; every write uses a fresh registry
  // object so a key opened read-only elsewhere never limits it. A place the user may not
  // write is planned all the same: the action is then refused as a whole.
  if (!ProductCode.empty()) {
    TZelRegistry reg(platform_.Registry());
    reg.SetRoot(RootKey::LocalMachine);
    if (reg.OpenKeyWrite(FormatPath("%s\\%s", {kUninstallKey, ProductCode}), false)) {
      reg.WriteText("RegCompany", company);
      reg.WriteText("RegOwner", owner);
      reg.CloseCurrent();
    }
  }

  for (auto record = Versions.rbegin(); record != Versions.rend(); ++record) {
    const std::string packed = PackGuid(record->ProductCode);
    if (packed.empty()) continue;
    for (const std::string& user : InstallerUsers(platform_)) {
      TZelRegistry reg(platform_.Registry());
      reg.SetRoot(RootKey::LocalMachine);
      if (!reg.OpenKeyWrite(InstallPropertiesKey(user, packed), false)) continue;
      reg.WriteText("RegCompany", company);
      reg.WriteText("RegOwner", owner);
      reg.CloseCurrent();
    }
  }

  for (auto record = Versions.rbegin(); record != Versions.rend(); ++record) {
    TZelRegistry reg(platform_.Registry());
    reg.SetRoot(RootKey::CurrentUser);
    if (!reg.OpenKeyWrite(UserInfoKey(record->Version), false)) continue;
    reg.WriteText("Company", company);
    reg.WriteText("UserName", owner);
    reg.WriteText("UserInitials", initials);
    // A stale packed copy of the old user must not outlive the change.
    if (reg.HasValue("UserInfo")) reg.EraseValue("UserInfo");
    reg.CloseCurrent();
  }

  // Word caches the user in its Data key; without the key it takes the new values.
  DeleteOfficeAppKey(3, "%s\\%s\\%s\\Data");
}

}  // namespace tovalin
