// The installed-product scan: which uninstall entries become products, in which order, with
// which product ID, and what the report of unknown product codes says.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "office/ZelMso.h"
#include "support/platform/memory/MemoryPlatform.h"
#include "tests/World.h"

namespace tovalin {
namespace {

constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kUserData =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData";

std::string Block(const std::string& code, const std::string& name) {
  return "GUID: " + code + "\r\n製品名: " + name + "\r\n\r\n";
}

class ProductScan : public testing::TestWithParam<test::WorldParam> {
 protected:
  void SetUp() override { world_ = GetParam().make(); }

  // An uninstall entry; values that are not given are left out.
  void AddProduct(const std::string& code, std::optional<std::string> displayName = {},
                  std::optional<std::string> productId = {},
                  std::optional<std::string> displayVersion = {}) {
    const std::string key = std::string(kUninstall) + "\\" + code;
    world_->CreateKey(RootKey::LocalMachine, key);
    if (displayName) world_->SetString(RootKey::LocalMachine, key, "DisplayName", *displayName);
    if (displayVersion) {
      world_->SetString(RootKey::LocalMachine, key, "DisplayVersion", *displayVersion);
    }
    if (productId) world_->SetString(RootKey::LocalMachine, key, "ProductID", *productId);
    added_.push_back(code);
  }

  void SetRegistrationId(const std::string& version, const std::string& id) {
    world_->SetString(RootKey::LocalMachine,
                      "SOFTWARE\\Microsoft\\Office\\" + version + "\\Registration\\ProductID",
                      "ProductID", id);
  }

  void SetInstallerId(const std::string& user, const std::string& code,
                      std::optional<std::string> id) {
    const std::string key = std::string(kUserData) + "\\" + user + "\\Products\\" + PackGuid(code) +
                            "\\InstallProperties";
    world_->CreateKey(RootKey::LocalMachine, key);
    if (id) world_->SetString(RootKey::LocalMachine, key, "ProductID", *id);
  }

  // The records of the products this test added, in model order. A real registry holds other
  // uninstall entries too.
  std::vector<TZelMsoVersion> Ours(const TZelMso& mso) const {
    const std::set<std::string> codes(added_.begin(), added_.end());
    std::vector<TZelMsoVersion> out;
    for (const TZelMsoVersion& v : mso.Versions) {
      if (codes.count(v.ProductCode) != 0) out.push_back(v);
    }
    return out;
  }

  static std::vector<std::string> Codes(const std::vector<TZelMsoVersion>& list) {
    std::vector<std::string> codes;
    for (const TZelMsoVersion& v : list) codes.push_back(v.ProductCode);
    return codes;
  }

  const TZelMsoVersion* Find(const TZelMso& mso, const std::string& code) const {
    for (const TZelMsoVersion& v : mso.Versions) {
      if (v.ProductCode == code) return &v;
    }
    return nullptr;
  }

  std::unique_ptr<test::World> world_;
  std::vector<std::string> added_;
};

TEST_P(ProductScan, CatalogueRowsDecideTheVersion) {
  const std::string office2003 = "{90110411-6000-11D3-8CFE-0150048383C9}";
  const std::string lowerEnding = "{90120411-6000-11d3-8cfe-0150048383c9}";
  const std::string officeXp = "{90110411-6000-11D3-8CFE-0050048383C9}";
  const std::string office2000 = "{00000411-78E1-11D2-B60F-006097C998E7}";
  const std::string office2007 = "{90120000-0011-0000-0000-0000000FF1CE}";
  AddProduct(office2003, "Microsoft Office Professional Edition 2003", {}, "11.0.5614.0");
  AddProduct(lowerEnding, "Excel 2003");
  AddProduct(officeXp, "Microsoft Office XP Professional");
  AddProduct(office2000, "Microsoft Office 2000 Premium");
  AddProduct(office2007, "Microsoft Office Professional Plus 2007", {}, "12.0.6425.1000");
  // Near misses of the endings are not Office products.
  AddProduct("{90110411-6000-11D3-8CFE-0150048383C8}", "Not Office");
  AddProduct("{90110411-6000-11D3-8CFE-0150048383C9", "Not Office");
  AddProduct("{90120000-0011-0000-0000-0000000FF1CF}", "Not Office");
  AddProduct("Wine Mono Runtime", "Wine Mono Runtime");

  TZelMso mso(world_->platform());
  const std::vector<TZelMsoVersion> ours = Ours(mso);
  ASSERT_EQ(ours.size(), 5u);
  EXPECT_EQ(Find(mso, office2003)->Version, "11.0");
  EXPECT_EQ(Find(mso, office2003)->DisplayName, "Microsoft Office Professional Edition 2003");
  EXPECT_EQ(Find(mso, office2003)->DisplayVersion, "11.0.5614.0");
  EXPECT_EQ(Find(mso, lowerEnding)->Version, "11.0");
  EXPECT_EQ(Find(mso, lowerEnding)->ProductCode, lowerEnding);  // kept as enumerated
  EXPECT_EQ(Find(mso, officeXp)->Version, "10.0");
  EXPECT_EQ(Find(mso, office2000)->Version, "9.0");
  EXPECT_EQ(Find(mso, office2007)->Version, "12.0");
  EXPECT_EQ(Find(mso, office2007)->DisplayVersion, "12.0.6425.1000");
  EXPECT_EQ(mso.UnrecognisedProducts.find("Not Office"), std::string::npos);
}

TEST_P(ProductScan, KindCodesListSkipOrReport) {
  const std::string listed = "{90110411-6000-11D3-8CFE-0150048383C9}";        // 11
  const std::string skipped = "{901E0411-6000-11D3-8CFE-0150048383C9}";       // 1E
  const std::string lowerKind = "{901a0411-6000-11D3-8CFE-0150048383C9}";     // 1a: no entry
  const std::string nineTwoB = "{902B0411-78E1-11D2-B60F-006097C998E7}";      // entry "2"
  const std::string nineThreeF = "{903F0411-78E1-11D2-B60F-006097C998E7}";    // entry "3"
  const std::string twelveSkip = "{90120000-0052-0000-0000-0000000FF1CE}";    // 0052
  const std::string twelveListed = "{90120000-0051-0000-0000-0000000FF1CE}";  // 0051
  const std::string twelveUnknown = "{90120000-0099-0000-0000-0000000FF1CE}";
  AddProduct(listed, "Office 2003");
  AddProduct(skipped, "Office 2003 Proofing");
  AddProduct(lowerKind, "Office 2003 Lower");
  AddProduct(nineTwoB, "Office 2000 Part");
  AddProduct(nineThreeF, "Office 2000 Other Part");
  AddProduct(twelveSkip, "Visio Viewer");
  AddProduct(twelveListed, "Visio 2007");
  AddProduct(twelveUnknown, "Something New");

  TZelMso mso(world_->platform());
  EXPECT_NE(Find(mso, listed), nullptr);
  EXPECT_EQ(Find(mso, skipped), nullptr);
  EXPECT_EQ(Find(mso, nineTwoB), nullptr);
  EXPECT_EQ(Find(mso, nineThreeF), nullptr);
  EXPECT_EQ(Find(mso, twelveSkip), nullptr);
  EXPECT_NE(Find(mso, twelveListed), nullptr);
  ASSERT_NE(Find(mso, lowerKind), nullptr);
  EXPECT_EQ(Find(mso, lowerKind)->Version, "11.0");
  ASSERT_NE(Find(mso, twelveUnknown), nullptr);
  EXPECT_EQ(Find(mso, twelveUnknown)->Version, "12.0");

  // Only the two unknown codes are reported, in scan order: "{901a…" is enumerated after
  // "{90120000-0099…" and so visited first.
  const std::string expected =
      Block(lowerKind, "Office 2003 Lower") + Block(twelveUnknown, "Something New");
  EXPECT_NE(mso.UnrecognisedProducts.find(expected), std::string::npos) << mso.UnrecognisedProducts;
  for (const std::string& silent :
       {listed, skipped, nineTwoB, nineThreeF, twelveSkip, twelveListed}) {
    EXPECT_EQ(mso.UnrecognisedProducts.find(silent), std::string::npos) << silent;
  }
}

TEST_P(ProductScan, EveryOfficeTwelveEndingIsTwelve) {
  const std::vector<std::string> codes = {
      "{90120000-0011-0000-0000-0000000ff1ce}",  // lower-case ending
      "{ABCDEF12-3456-7890-ABCD-0000000FF1CE}",  // kind 3456: unknown, reported
      "{91120000-00CA-0411-0000-0000000FF1CE}",
      "{1-000000FF1CE}",  // not even a GUID
  };
  for (const std::string& code : codes) AddProduct(code, "Product " + code);

  TZelMso mso(world_->platform());
  const std::vector<TZelMsoVersion> ours = Ours(mso);
  ASSERT_EQ(ours.size(), codes.size());
  for (const TZelMsoVersion& v : ours) EXPECT_EQ(v.Version, "12.0") << v.ProductCode;
  EXPECT_NE(mso.UnrecognisedProducts.find(Block(codes[3], "Product " + codes[3])),
            std::string::npos);
  EXPECT_NE(mso.UnrecognisedProducts.find(Block(codes[1], "Product " + codes[1])),
            std::string::npos);
}

TEST_P(ProductScan, ReportBlocksAreExactAndInScanOrder) {
  const std::string first = "{90010411-6000-11D3-8CFE-0150048383C9}";   // 01: unknown in 11.0
  const std::string second = "{90020411-6000-11D3-8CFE-0150048383C9}";  // 02: unknown in 11.0
  const std::string third = "{90999999-9999-0000-0000-0000000FF1CE}";   // 9999 unknown
  AddProduct(first, "Microsoft Office 2003 Web コンポーネント");
  AddProduct(second);  // no DisplayName
  AddProduct(third, "Unknown 2007");

  TZelMso mso(world_->platform());
  // Enumerated first, second, third (sorted names); visited from the last to the first.
  const std::string expected = Block(third, "Unknown 2007") + Block(second, "") +
                               Block(first, "Microsoft Office 2003 Web コンポーネント");
  EXPECT_NE(mso.UnrecognisedProducts.find(expected), std::string::npos) << mso.UnrecognisedProducts;
  EXPECT_EQ(Ours(mso).size(), 3u);
}

TEST_P(ProductScan, ReverseEnumerationBeforeTheExchangeSort) {
  const std::string k1 = "{90110411-6000-11D3-8CFE-0150048383C9}";
  const std::string k2 = "{90120411-6000-11D3-8CFE-0150048383C9}";
  const std::string k3 = "{90130411-6000-11D3-8CFE-0150048383C9}";
  AddProduct(k1, "K1");
  AddProduct(k2, "K2");
  AddProduct(k3, "K3");
  TZelMso mso(world_->platform());
  EXPECT_EQ(Codes(Ours(mso)), (std::vector<std::string>{k3, k2, k1}));
}

TEST_P(ProductScan, MixedVersionsSortHighestFirstKeepingExchangeOrder) {
  // Enumerated R (12.0), Q (11.0), P (11.0), D (9.0); appended D, P, Q, R; the exchange sort
  // gives R, Q, P, D where a stable sort would give R, P, Q, D.
  const std::string r = "{90100000-0011-0000-0000-0000000FF1CE}";
  const std::string q = "{90110411-6000-11D3-8CFE-0150048383C9}";
  const std::string p = "{90120411-6000-11D3-8CFE-0150048383C9}";
  const std::string d = "{90140411-78E1-11D2-B60F-006097C998E7}";
  AddProduct(r, "R");
  AddProduct(q, "Q");
  AddProduct(p, "P");
  AddProduct(d, "D");
  TZelMso mso(world_->platform());
  EXPECT_EQ(Codes(Ours(mso)), (std::vector<std::string>{r, q, p, d}));
}

TEST_P(ProductScan, ProductIdComesFromTheFirstSourceThatHasAUsableOne) {
  const std::string fromUninstall = "{90110411-6000-11D3-8CFE-0150048383C9}";
  const std::string fromRegistration = "{90120411-6000-11D3-8CFE-0150048383C9}";
  const std::string fromInstaller = "{90120000-0011-0000-0000-0000000FF1CE}";
  const std::string none = "{90120000-0012-0000-0000-0000000FF1CE}";
  AddProduct(fromUninstall, "U", "73931-640-0000106-57517");
  AddProduct(fromRegistration, "R", "1234567");  // no hyphen: not usable
  AddProduct(fromInstaller, "I", "");
  AddProduct(none, "N");
  SetRegistrationId("11.0", "11111-222-3333333-44444");
  SetRegistrationId("12.0", "no hyphen here");
  SetInstallerId("S-1-5-21-7001", fromInstaller, "89388-707-0123456-65001");
  // The installer ID of a product that found one earlier is never used.
  SetInstallerId("S-1-5-21-7001", fromUninstall, "99999-999-9999999-99999");

  TZelMso mso(world_->platform());
  EXPECT_EQ(Find(mso, fromUninstall)->ProductId, "73931-640-0000106-57517");
  EXPECT_EQ(Find(mso, fromRegistration)->ProductId, "11111-222-3333333-44444");
  EXPECT_EQ(Find(mso, fromInstaller)->ProductId, "89388-707-0123456-65001");
  ASSERT_NE(Find(mso, none), nullptr);  // recorded all the same
  EXPECT_EQ(Find(mso, none)->ProductId, "");
}

TEST_P(ProductScan, InstallerUsersAreReadInOrderUntilOneHasAnId) {
  const std::string secondUser = "{90120000-0011-0000-0000-0000000FF1CE}";
  const std::string firstUser = "{90120000-0012-0000-0000-0000000FF1CE}";
  AddProduct(secondUser, "Second");
  AddProduct(firstUser, "First");
  // User 7101 has no properties for secondUser's code at all, 7102 one without a hyphen.
  SetInstallerId("S-1-5-21-7102", secondUser, "000000");
  SetInstallerId("S-1-5-21-7103", secondUser, "22222-222-2222222-22222");
  SetInstallerId("S-1-5-21-7104", secondUser, "33333-333-3333333-33333");
  SetInstallerId("S-1-5-21-7101", firstUser, "11111-111-1111111-11111");
  SetInstallerId("S-1-5-21-7103", firstUser, "44444-444-4444444-44444");

  TZelMso mso(world_->platform());
  EXPECT_EQ(Find(mso, secondUser)->ProductId, "22222-222-2222222-22222");
  EXPECT_EQ(Find(mso, firstUser)->ProductId, "11111-111-1111111-11111");
}

TEST_P(ProductScan, UnreadableProductKeyIsNeitherListedNorReported) {
  if (!world_->Supports(test::Feature::KeyAccessLimits)) GTEST_SKIP();
  const std::string hidden = "{90010411-6000-11D3-8CFE-0150048383C9}";  // unknown kind code
  AddProduct(hidden, "Hidden");
  world_->SetKeyAccess(RootKey::LocalMachine, std::string(kUninstall) + "\\" + hidden, 0);
  TZelMso mso(world_->platform());
  EXPECT_EQ(Find(mso, hidden), nullptr);
  EXPECT_EQ(mso.UnrecognisedProducts.find(hidden), std::string::npos);
}

TEST_P(ProductScan, NoOfficeLeavesTheModelEmpty) {
  AddProduct("{7B3C1F5A-0D2E-4C8B-9A61-3E5F2D8C4B17}", "Some Viewer");
  TZelMso mso(world_->platform());
  EXPECT_TRUE(mso.Versions.empty());
  EXPECT_EQ(mso.UnrecognisedProducts, "");
  EXPECT_EQ(mso.ProductCode, "");
  EXPECT_EQ(mso.OfficeVersion, "");
  EXPECT_EQ(mso.Company, "");
  EXPECT_EQ(mso.Owner, "");
  EXPECT_EQ(mso.Initials, "");
  for (const auto& slot : mso.Slots) EXPECT_EQ(slot, nullptr);
}

INSTANTIATE_TEST_SUITE_P(All, ProductScan, testing::ValuesIn(test::AllWorlds()),
                         [](const auto& info) { return test::WorldName(info.param); });

TEST(ProductScanMemory, MissingUninstallKeyMeansNoProducts) {
  MemoryPlatform platform;
  TZelMso mso(platform);
  EXPECT_TRUE(mso.Versions.empty());
  EXPECT_EQ(mso.UnrecognisedProducts, "");
}

TEST(SortVersions, EqualVersionsFollowTheExchangeProcedure) {
  auto record = [](const char* code, const char* version) {
    TZelMsoVersion v;
    v.ProductCode = code;
    v.Version = version;
    return v;
  };
  auto codes = [](const std::vector<TZelMsoVersion>& list) {
    std::string out;
    for (const TZelMsoVersion& v : list) out += v.ProductCode;
    return out;
  };
  std::vector<TZelMsoVersion> list = {record("P", "11.0"), record("R", "12.0"),
                                      record("Q", "11.0")};
  TZelMso::SortVersions(list);
  EXPECT_EQ(codes(list), "RPQ");

  list = {record("P", "11.0"), record("Q", "11.0"), record("R", "12.0")};
  TZelMso::SortVersions(list);
  EXPECT_EQ(codes(list), "RQP");

  // Numeric, not textual: "9.0" is below "10.0".
  list = {record("N", "9.0"), record("T", "10.0"), record("E", "12.0")};
  TZelMso::SortVersions(list);
  EXPECT_EQ(codes(list), "ETN");
}

TEST(PackGuid, ReversesGroupsAndSwapsPairsKeepingCase) {
  EXPECT_EQ(PackGuid("{12345678-ABCD-EF01-2345-6789ABCDEF01}"), "87654321DCBA10FE32547698BADCFE10");
  EXPECT_EQ(PackGuid("{90120000-0011-0000-0000-0000000ff1ce}"), "00002109110000000000000000f01fec");
}

}  // namespace
}  // namespace tovalin
