// The shell integration switches on an application's document class: browser integration, the
// open-read-only verb and the browser's edit mode.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "office/ZelMso.h"
#include "support/ZelRegistry.h"
#include "tests/World.h"

namespace tovalin {
namespace {

constexpr const char* kSheet = "TovalinTest.Sheet";
constexpr const char* kShow = "TovalinTest.Show";
constexpr const char* kClsid = "{7A0B1C2D-0000-4000-8000-00000000ABCD}";
constexpr const char* kVerbText = "読み取り専用で開く(&R)";

class ShellSwitches : public testing::TestWithParam<test::WorldParam> {
 protected:
  void SetUp() override {
    world_ = GetParam().make();
    mso_ = std::make_unique<TZelMso>(world_->platform());
    Cleanup();
    world_->SetString(RootKey::ClassesRoot, ".xls", "", kSheet);
    world_->CreateKey(RootKey::ClassesRoot, kSheet);
    world_->SetString(RootKey::ClassesRoot, ".ppt", "", kShow);
    world_->SetString(RootKey::ClassesRoot, std::string(kShow) + "\\CLSID", "", kClsid);
  }
  void TearDown() override { Cleanup(); }
  void Cleanup() {
    for (const char* key : {".xls", ".ppt", kSheet, kShow}) {
      world_->DeleteTree(RootKey::ClassesRoot, key);
    }
    world_->DeleteTree(RootKey::ClassesRoot, Server(""));
  }

  static std::string Server(const std::string& name) {
    return std::string("CLSID\\") + kClsid + (name.empty() ? "" : "\\" + name);
  }

  // The default value (or a named one) of a key under HKEY_CLASSES_ROOT; nothing if absent.
  std::optional<std::string> Text(const std::string& path, const std::string& name = "") {
    TZelRegistry reg(world_->platform().Registry());
    reg.SetRoot(RootKey::ClassesRoot);
    if (!reg.OpenKeyRead("\\" + path) || !reg.HasValue(name)) return std::nullopt;
    return reg.ReadText(name);
  }
  bool HasFlags() {
    TZelRegistry reg(world_->platform().Registry());
    reg.SetRoot(RootKey::ClassesRoot);
    return reg.OpenKeyRead(std::string("\\") + kSheet) && reg.HasValue("BrowserFlags");
  }
  bool Has(const std::string& path) { return world_->KeyExists(RootKey::ClassesRoot, path); }

  void SetExcel(const std::string& fileName) {
    mso_->Slots[2] = std::make_unique<TZelMsoInfo>(world_->platform());
    mso_->Slots[2]->FileName = fileName;
  }

  std::unique_ptr<test::World> world_;
  std::unique_ptr<TZelMso> mso_;
};

TEST_P(ShellSwitches, BrowserIntegrationCountsOnlyFlagsEight) {
  EXPECT_EQ(mso_->GetItemState(251), 0);
  world_->SetDword(RootKey::ClassesRoot, kSheet, "BrowserFlags", 24);
  EXPECT_EQ(mso_->GetItemState(251), 0);
  EXPECT_TRUE(mso_->SetItemState(251, 1));
  EXPECT_EQ(mso_->GetBrowserIntegrationState(2), 1);
  EXPECT_TRUE(mso_->SetItemState(251, 0));
  EXPECT_FALSE(HasFlags());
  EXPECT_EQ(mso_->GetItemState(251), 0);
  // Deleting a value that is not there still reads back as success.
  EXPECT_TRUE(mso_->SetItemState(251, 0));
}

TEST_P(ShellSwitches, BrowserIntegrationWithoutClassIsUndeterminedAndUnchangeable) {
  world_->DeleteTree(RootKey::ClassesRoot, kSheet);
  EXPECT_EQ(mso_->GetItemState(251), -1);
  EXPECT_FALSE(mso_->SetItemState(251, 1));
  EXPECT_FALSE(Has(kSheet));  // never created

  world_->DeleteTree(RootKey::ClassesRoot, ".xls");
  EXPECT_EQ(mso_->GetItemState(251), -1);
  world_->SetString(RootKey::ClassesRoot, ".doc", "", "");
  EXPECT_EQ(mso_->GetItemState(351), -1);
  world_->DeleteTree(RootKey::ClassesRoot, ".doc");
}

TEST_P(ShellSwitches, BrowserFlagsOfAnotherTypeCountAsAbsentAndAreRewrittenAsNumber) {
  for (const std::uint32_t type : {win::kRegSz, win::kRegMultiSz, win::kRegBinary}) {
    world_->SetValue(RootKey::ClassesRoot, kSheet, "BrowserFlags", type, {'8', 0, 0, 0});
    EXPECT_EQ(mso_->GetItemState(251), 0) << type;
    EXPECT_TRUE(mso_->SetItemState(251, 1)) << type;
  }
  EXPECT_EQ(mso_->Warnings, std::vector<std::string>{test::WrongTypeWarning(
                                RootKey::ClassesRoot, kSheet, "BrowserFlags")});
}

TEST_P(ShellSwitches, ReadOnlyVerbIsAddedRewrittenAndRemovedAlone) {
  SetExcel("C:\\Program Files\\Microsoft Office\\OFFICE11\\EXCEL.EXE");
  const std::string shell = std::string(kSheet) + "\\shell";
  world_->SetString(RootKey::ClassesRoot, shell + "\\Open\\command", "", "excel.exe \"%1\"");
  EXPECT_EQ(mso_->GetItemState(252), 1);

  EXPECT_TRUE(mso_->SetItemState(252, 0));
  EXPECT_EQ(Text(shell + "\\ReadOnly"), kVerbText);
  const std::string command =
      "\"C:\\Program Files\\Microsoft Office\\OFFICE11\\EXCEL.EXE\" /r \"%1\"";
  EXPECT_EQ(Text(shell + "\\ReadOnly\\Command"), command);

  world_->SetString(RootKey::ClassesRoot, shell + "\\ReadOnly", "", "old");
  world_->SetString(RootKey::ClassesRoot, shell + "\\ReadOnly\\Command", "", "old");
  EXPECT_TRUE(mso_->SetItemState(252, 0));
  EXPECT_EQ(Text(shell + "\\ReadOnly"), kVerbText);
  EXPECT_EQ(Text(shell + "\\ReadOnly\\Command"), command);

  EXPECT_TRUE(mso_->SetItemState(252, 1));
  EXPECT_FALSE(Has(shell + "\\ReadOnly"));
  EXPECT_EQ(Text(shell + "\\Open\\command"), "excel.exe \"%1\"");
}

TEST_P(ShellSwitches, ReadOnlyVerbWithoutExcelPathOrClass) {
  mso_->Slots[2].reset();
  EXPECT_TRUE(mso_->SetItemState(252, 0));
  EXPECT_EQ(Text(std::string(kSheet) + "\\shell\\ReadOnly\\Command"), "\"\" /r \"%1\"");

  world_->DeleteTree(RootKey::ClassesRoot, ".xls");
  EXPECT_EQ(mso_->GetItemState(252), 1);
  EXPECT_FALSE(mso_->SetItemState(252, 0));
}

TEST_P(ShellSwitches, EditModeMovesTheServerKeyBothWays) {
  world_->SetString(RootKey::ClassesRoot, Server("LocalServer32"), "", "POWERPNT.EXE /s");
  world_->SetString(RootKey::ClassesRoot, Server("LocalServer32\\Sub"), "v", "x");
  EXPECT_EQ(mso_->GetItemState(552), 0);
  EXPECT_TRUE(mso_->SetItemState(552, 1));
  EXPECT_FALSE(Has(Server("LocalServer32")));
  EXPECT_EQ(Text(Server("_ZelDisabled_LocalServer32")), "POWERPNT.EXE /s");
  EXPECT_EQ(Text(Server("_ZelDisabled_LocalServer32\\Sub"), "v"), "x");
  EXPECT_TRUE(mso_->SetItemState(552, 0));
  EXPECT_EQ(Text(Server("LocalServer32")), "POWERPNT.EXE /s");
  EXPECT_TRUE(Has(Server("LocalServer32\\Sub")));
  EXPECT_FALSE(Has(Server("_ZelDisabled_LocalServer32")));
}

TEST_P(ShellSwitches, EditModeWithBothKeysReplacesTheStaleDisabledCopy) {
  world_->SetString(RootKey::ClassesRoot, Server("LocalServer32"), "", "current");
  world_->SetString(RootKey::ClassesRoot, Server("_ZelDisabled_LocalServer32"), "", "stale");
  world_->SetString(RootKey::ClassesRoot, Server("_ZelDisabled_LocalServer32\\Old"), "", "x");
  EXPECT_EQ(mso_->GetItemState(552), 0);
  // Asking for the current state leaves the live key alone.
  mso_->SetEditModeState(5, 0);
  EXPECT_EQ(Text(Server("LocalServer32")), "current");
  EXPECT_EQ(Text(Server("_ZelDisabled_LocalServer32")), "stale");

  EXPECT_TRUE(mso_->SetItemState(552, 1));
  EXPECT_EQ(Text(Server("_ZelDisabled_LocalServer32")), "current");
  EXPECT_FALSE(Has(Server("_ZelDisabled_LocalServer32\\Old")));
  EXPECT_FALSE(Has(Server("LocalServer32")));
  // And from the disabled side, asking for state 1 again changes nothing.
  mso_->SetEditModeState(5, 1);
  EXPECT_EQ(Text(Server("_ZelDisabled_LocalServer32")), "current");
}

TEST_P(ShellSwitches, EditModeWithoutServerKeysOrClassIdIsUndetermined) {
  world_->CreateKey(RootKey::ClassesRoot, Server(""));
  EXPECT_EQ(mso_->GetItemState(552), -1);
  EXPECT_FALSE(mso_->SetItemState(552, 1));
  EXPECT_FALSE(mso_->SetItemState(552, 0));
  EXPECT_FALSE(Has(Server("LocalServer32")));
  EXPECT_FALSE(Has(Server("_ZelDisabled_LocalServer32")));

  world_->SetString(RootKey::ClassesRoot, Server("LocalServer32"), "", "x");
  world_->DeleteTree(RootKey::ClassesRoot, std::string(kShow) + "\\CLSID");
  EXPECT_EQ(mso_->GetItemState(552), -1);
  EXPECT_FALSE(mso_->SetItemState(552, 1));
  EXPECT_TRUE(Has(Server("LocalServer32")));
}

INSTANTIATE_TEST_SUITE_P(All, ShellSwitches, testing::ValuesIn(test::AllWorlds()),
                         [](const auto& info) { return test::WorldName(info.param); });

}  // namespace
}  // namespace tovalin
