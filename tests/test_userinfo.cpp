// The registered user: which of the four places each field comes from, and a change written to
// every place that exists and nowhere else.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "office/ZelMso.h"
#include "support/Text.h"
#include "support/ZelRegistry.h"
#include "tests/World.h"

namespace tovalin {
namespace {

constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kUserData =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData";
constexpr const char* kOffice = "SOFTWARE\\Microsoft\\Office";

constexpr const char* kCode11 = "{90110411-6000-11D3-8CFE-0150048383C9}";
constexpr const char* kCode9 = "{00000411-78E1-11D2-B60F-006097C998E7}";
constexpr const char* kCode12 = "{90120000-0011-0000-0000-0000000FF1CE}";

constexpr const char* kUser1 = "S-1-5-18";
constexpr const char* kUser2 = "S-1-5-21-1004336348-1177238915-682003330-1000";

class UserInfo : public testing::TestWithParam<test::WorldParam> {
 protected:
  void SetUp() override { world_ = GetParam().make(); }

  std::string UninstallKey(const std::string& code) {
    return std::string(kUninstall) + "\\" + code;
  }
  std::string PropertiesKey(const std::string& user, const std::string& code) {
    return std::string(kUserData) + "\\" + user + "\\Products\\" + PackGuid(code) +
           "\\InstallProperties";
  }
  std::string UserInfoKey(const std::string& version) {
    return std::string(kOffice) + "\\" + version + "\\Common\\UserInfo";
  }

  void AddProduct(const std::string& code, const std::string& name) {
    world_->SetString(RootKey::LocalMachine, UninstallKey(code), "DisplayName", name);
  }

  // The model over this world, with the main product set as the application scan would.
  std::unique_ptr<TZelMso> Model(const std::string& mainProduct) {
    auto mso = std::make_unique<TZelMso>(world_->platform());
    mso->ProductCode = mainProduct;
    mso->ReadUserInfo();
    return mso;
  }

  std::string Text(RootKey root, const std::string& key, const std::string& name) {
    TZelRegistry reg(world_->platform().Registry());
    reg.SetRoot(root);
    return reg.OpenKeyRead("\\" + key) ? reg.ReadText(name) : "<no key>";
  }

  TRegDataType Type(RootKey root, const std::string& key, const std::string& name) {
    TZelRegistry reg(world_->platform().Registry());
    reg.SetRoot(root);
    TRegDataInfo info;
    if (!reg.OpenKeyRead("\\" + key) || !reg.ValueKind(name, info)) return TRegDataType::Unknown;
    return info.type;
  }

  bool HasValue(RootKey root, const std::string& key, const std::string& name) {
    TZelRegistry reg(world_->platform().Registry());
    reg.SetRoot(root);
    return reg.OpenKeyRead("\\" + key) && reg.HasValue(name);
  }

  std::unique_ptr<test::World> world_;
};

TEST_P(UserInfo, SourcesAreReadInOrderOfPrecedence) {
  AddProduct(kCode11, "Office 2003");
  AddProduct(kCode9, "Office 2000");
  const auto lm = RootKey::LocalMachine;
  // The main product's uninstall entry has the company; its owner is only full-width spaces.
  world_->SetString(lm, UninstallKey(kCode11), "RegCompany", "アンインストール社");
  world_->SetString(lm, UninstallKey(kCode11), "RegOwner", "　　");
  // The first installer user lacks the properties key; the second has the owner.
  world_->CreateKey(lm, std::string(kUserData) + "\\" + kUser1 + "\\Components");
  world_->SetString(lm, PropertiesKey(kUser2, kCode11), "RegOwner", "山田 太郎");
  world_->SetString(lm, PropertiesKey(kUser2, kCode9), "RegOwner", "古い所有者");
  world_->SetString(lm, PropertiesKey(kUser2, kCode9), "RegCompany", "古い会社");
  // Per-user: the company and owner come too late; the initials come only from here, lowest
  // version first.
  const auto cu = RootKey::CurrentUser;
  world_->SetString(cu, UserInfoKey("11.0"), "Company", "ユーザー社");
  world_->SetString(cu, UserInfoKey("11.0"), "UserName", "ユーザー");
  world_->SetString(cu, UserInfoKey("11.0"), "UserInitials", "YT");
  world_->SetString(cu, UserInfoKey("9.0"), "UserInitials", "TY");

  auto mso = Model(kCode11);
  EXPECT_EQ(mso->Company, "アンインストール社");
  EXPECT_EQ(mso->Owner, "山田 太郎");
  EXPECT_EQ(mso->Initials, "TY");
}

TEST_P(UserInfo, LowestVersionFirstAndTextsKeptUntrimmed) {
  AddProduct(kCode12, "Office 2007");
  AddProduct(kCode11, "Office 2003");
  AddProduct(kCode9, "Office 2000");
  const auto lm = RootKey::LocalMachine;
  world_->SetString(lm, PropertiesKey(kUser1, kCode11), "RegCompany", "2003 社");
  world_->SetString(lm, PropertiesKey(kUser1, kCode9), "RegCompany", "2000 社 ");
  const auto cu = RootKey::CurrentUser;
  world_->SetString(cu, UserInfoKey("12.0"), "UserName", "Owner 12");
  world_->SetString(cu, UserInfoKey("11.0"), "UserName", "　");
  // No initials anywhere: the walk goes on to the highest version for the owner.

  auto mso = Model(kCode12);
  EXPECT_EQ(mso->Company, "2000 社 ");
  EXPECT_EQ(mso->Owner, "Owner 12");
  EXPECT_EQ(mso->Initials, "");
}

TEST_P(UserInfo, BinaryValuesReadAsText) {
  AddProduct(kCode11, "Office 2003");
  std::vector<std::uint8_t> name = Utf8ToUtf16Bytes("鈴木");
  name.insert(name.end(), {0, 0});
  world_->SetBinary(RootKey::CurrentUser, UserInfoKey("11.0"), "UserName", name);

  EXPECT_EQ(Model(kCode11)->Owner, "鈴木");
}

TEST_P(UserInfo, ValuesOfAnotherTypeCountAsAbsentAndAreRewrittenAsText) {
  AddProduct(kCode11, "Office 2003");
  struct Row {
    RootKey root;
    std::string key;
    const char* name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    std::string TZelMso::*field;
  };
  const std::vector<Row> rows = {
      {RootKey::LocalMachine,
       UninstallKey(kCode11),
       "RegOwner",
       win::kRegDword,
       {1, 0, 0, 0},
       &TZelMso::Owner},
      {RootKey::LocalMachine,
       PropertiesKey(kUser1, kCode11),
       "RegCompany",
       win::kRegNone,
       {7},
       &TZelMso::Company},
      {RootKey::CurrentUser, UserInfoKey("11.0"), "UserInitials", win::kRegMultiSz,
       Utf8ToUtf16Bytes(std::string("YT\0\0", 4)), &TZelMso::Initials},
  };
  std::vector<std::string> warnings;
  for (const Row& row : rows) {
    world_->SetValue(row.root, row.key, row.name, row.type, row.data);
    warnings.push_back(test::WrongTypeWarning(row.root, row.key, row.name));
  }

  auto mso = Model(kCode11);
  EXPECT_THAT(mso->Warnings, testing::UnorderedElementsAreArray(warnings));
  for (const Row& row : rows) EXPECT_EQ((*mso).*row.field, "") << row.name;
  mso->WriteUserInfo("会社", "名前", "N");
  mso->ReadUserInfo();
  for (const Row& row : rows) {
    EXPECT_EQ(Type(row.root, row.key, row.name), TRegDataType::String) << row.name;
  }
  EXPECT_EQ(mso->Company, "会社");
  EXPECT_EQ(mso->Owner, "名前");
  EXPECT_EQ(mso->Initials, "N");
}

TEST_P(UserInfo, WriteChangesEveryExistingPlaceAndCreatesNone) {
  AddProduct(kCode11, "Office 2003");
  AddProduct(kCode9, "Office 2000");
  const auto lm = RootKey::LocalMachine;
  const auto cu = RootKey::CurrentUser;
  world_->SetString(lm, UninstallKey(kCode11), "RegOwner", "old");
  world_->SetString(lm, PropertiesKey(kUser1, kCode9), "RegOwner", "old");
  world_->CreateKey(lm, std::string(kUserData) + "\\" + kUser2 + "\\Products");
  // 11.0 keeps its company as UTF-16 in REG_BINARY, and a packed copy of the user.
  std::vector<std::uint8_t> oldCompany = Utf8ToUtf16Bytes("old");
  oldCompany.insert(oldCompany.end(), {0, 0});
  world_->SetBinary(cu, UserInfoKey("11.0"), "Company", oldCompany);
  world_->SetBinary(cu, UserInfoKey("11.0"), "UserInfo", {1, 2, 3, 4});
  world_->SetString(cu, UserInfoKey("11.0"), "Other", "kept");
  world_->CreateKey(cu, std::string(kOffice) + "\\11.0\\Word\\Data\\Settings");
  world_->CreateKey(cu, std::string(kOffice) + "\\9.0\\Word\\Data");

  auto mso = Model(kCode11);
  mso->WriteUserInfo("新しい会社", "新 太郎", "　");

  EXPECT_EQ(Text(lm, UninstallKey(kCode11), "RegCompany"), "新しい会社");
  EXPECT_EQ(Text(lm, UninstallKey(kCode11), "RegOwner"), "新 太郎");
  EXPECT_EQ(Text(lm, PropertiesKey(kUser1, kCode9), "RegCompany"), "新しい会社");
  EXPECT_EQ(Text(lm, PropertiesKey(kUser1, kCode9), "RegOwner"), "新 太郎");
  EXPECT_FALSE(world_->KeyExists(lm, PropertiesKey(kUser1, kCode11)));
  EXPECT_FALSE(world_->KeyExists(lm, PropertiesKey(kUser2, kCode11)));
  EXPECT_FALSE(world_->KeyExists(lm, PropertiesKey(kUser2, kCode9)));

  EXPECT_EQ(Type(cu, UserInfoKey("11.0"), "Company"), TRegDataType::Binary);
  EXPECT_EQ(Text(cu, UserInfoKey("11.0"), "Company"), "新しい会社");
  EXPECT_EQ(Type(cu, UserInfoKey("11.0"), "UserName"), TRegDataType::String);
  EXPECT_EQ(Text(cu, UserInfoKey("11.0"), "UserName"), "新 太郎");
  EXPECT_EQ(Text(cu, UserInfoKey("11.0"), "UserInitials"), "　");
  EXPECT_FALSE(HasValue(cu, UserInfoKey("11.0"), "UserInfo"));
  EXPECT_EQ(Text(cu, UserInfoKey("11.0"), "Other"), "kept");
  EXPECT_FALSE(world_->KeyExists(cu, UserInfoKey("9.0")));
  EXPECT_FALSE(world_->KeyExists(cu, std::string(kOffice) + "\\11.0\\Word\\Data"));
  EXPECT_FALSE(world_->KeyExists(cu, std::string(kOffice) + "\\9.0\\Word\\Data"));
  EXPECT_TRUE(world_->KeyExists(cu, std::string(kOffice) + "\\11.0\\Word"));

  // The model changes only when it reads again; the full-width space reads back as nothing.
  EXPECT_EQ(mso->Owner, "old");
  mso->ReadUserInfo();
  EXPECT_EQ(mso->Company, "新しい会社");
  EXPECT_EQ(mso->Owner, "新 太郎");
  EXPECT_EQ(mso->Initials, "");
}

TEST_P(UserInfo, WithoutMainProductNothingLandsOnTheUninstallList) {
  AddProduct(kCode11, "Office 2003");
  auto mso = Model("");
  mso->WriteUserInfo("会社", "名前", "N");
  EXPECT_FALSE(HasValue(RootKey::LocalMachine, kUninstall, "RegCompany"));
  EXPECT_FALSE(HasValue(RootKey::LocalMachine, kUninstall, "RegOwner"));
}

// A place the user may not write refuses the whole update, naming it: a company written to the
// user's own keys while the suite's uninstall entry keeps the old one would be shown again at
// the next start.
TEST_P(UserInfo, PlaceThatCannotBeWrittenRefusesTheWholeUpdate) {
  if (!world_->Supports(test::Feature::KeyAccessLimits)) GTEST_SKIP() << "no access limits";
  AddProduct(kCode11, "Office 2003");
  AddProduct(kCode9, "Office 2000");
  const auto cu = RootKey::CurrentUser;
  const auto lm = RootKey::LocalMachine;
  world_->SetString(lm, UninstallKey(kCode11), "RegOwner", "old");
  world_->SetString(cu, UserInfoKey("11.0"), "UserName", "old");
  world_->SetString(cu, UserInfoKey("9.0"), "UserName", "old");
  struct Case {
    RootKey root;
    std::string key;
    bool needsAdministrator;
  };
  for (const Case& refused :
       {Case{lm, UninstallKey(kCode11), true}, Case{cu, UserInfoKey("11.0"), false}}) {
    world_->SetKeyAccess(refused.root, refused.key, win::kKeyRead);
    auto mso = Model(kCode11);
    try {
      mso->WriteUserInfo("会社", "名前", "N");
      ADD_FAILURE() << "written";
    } catch (const ERegistryRefusedException& e) {
      EXPECT_EQ(e.Refusal().key, RegKeyName(refused.root, refused.key));
      EXPECT_EQ(e.NeedsAdministrator(), refused.needsAdministrator);
      EXPECT_THAT(e.what(), testing::HasSubstr("何も変更していません"));
    }
    EXPECT_EQ(Text(lm, UninstallKey(kCode11), "RegOwner"), "old");
    EXPECT_EQ(Text(cu, UserInfoKey("11.0"), "UserName"), "old");
    EXPECT_EQ(Text(cu, UserInfoKey("9.0"), "UserName"), "old");
    world_->SetKeyAccess(refused.root, refused.key, win::kKeyAllAccess);
  }
}

INSTANTIATE_TEST_SUITE_P(All, UserInfo, testing::ValuesIn(test::AllWorlds()),
                         [](const auto& info) { return test::WorldName(info.param); });

}  // namespace
}  // namespace tovalin
