// The Windows-side switches: the IME on the logon screen and Windows Script Host.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "office/ZelMso.h"
#include "support/ZelRegistry.h"
#include "tests/World.h"

namespace tovalin {
namespace {

constexpr const char* kPreload = ".DEFAULT\\Keyboard Layout\\Preload";
constexpr const char* kBackup = ".DEFAULT\\Keyboard Layout\\Preload_bak";

using Layouts = std::vector<std::pair<std::string, std::string>>;

class WindowsSwitches : public testing::TestWithParam<test::WorldParam> {
 protected:
  void SetUp() override {
    world_ = GetParam().make();
    mso_ = std::make_unique<TZelMso>(world_->platform());
  }
  void TearDown() override {
    for (const std::string& name : classes_) world_->DeleteTree(RootKey::ClassesRoot, name);
  }

  void SetLayouts(const char* path, const Layouts& layouts) {
    world_->DeleteTree(RootKey::Users, path);
    world_->CreateKey(RootKey::Users, path);
    for (const auto& [name, layout] : layouts)
      world_->SetString(RootKey::Users, path, name, layout);
  }

  // The values of a key, in enumeration order.
  Layouts Read(RootKey root, const std::string& path) {
    TZelRegistry reg(world_->platform().Registry());
    reg.SetRoot(root);
    Layouts out;
    if (!reg.OpenKeyRead("\\" + path)) return out;
    for (const std::string& name : reg.ListValueNames()) out.emplace_back(name, reg.ReadText(name));
    return out;
  }

  // A class key with an open command; removed again after the test.
  void AddClass(const std::string& name, const std::string& command) {
    classes_.push_back(name);
    world_->SetString(RootKey::ClassesRoot, name + "\\Shell\\Open\\Command", "", command);
  }
  bool HasClass(const std::string& name) { return world_->KeyExists(RootKey::ClassesRoot, name); }

  std::unique_ptr<test::World> world_;
  std::unique_ptr<TZelMso> mso_;
  std::vector<std::string> classes_;
};

TEST_P(WindowsSwitches, LogonImeStateIsDecidedByTheFirstKnownLayout) {
  SetLayouts(kPreload, {{"1", "00000409"}, {"2", "E0010411"}});
  EXPECT_EQ(mso_->GetItemState(52), 0);
  SetLayouts(kPreload, {{"1", "00000411"}, {"2", "e0010411"}});
  EXPECT_EQ(mso_->GetItemState(52), 1);
  SetLayouts(kPreload, {{"1", "0411"}});
  EXPECT_EQ(mso_->GetItemState(52), -1);
  SetLayouts(kPreload, {{"1", "00000409"}, {"2", "e00104110"}});
  EXPECT_EQ(mso_->GetItemState(52), -1);
  world_->DeleteTree(RootKey::Users, kPreload);
  EXPECT_EQ(mso_->GetItemState(52), -1);
}

TEST_P(WindowsSwitches, SwitchingTheImeOffKeepsTheListAndOnRestoresIt) {
  world_->DeleteTree(RootKey::Users, kBackup);
  const Layouts mine = {{"1", "00000409"}, {"2", "e0010411"}};
  SetLayouts(kPreload, mine);

  EXPECT_TRUE(mso_->SetItemState(52, 1));
  EXPECT_EQ(Read(RootKey::Users, kPreload), (Layouts{{"1", "00000411"}}));
  EXPECT_EQ(Read(RootKey::Users, kBackup), mine);

  EXPECT_TRUE(mso_->SetItemState(52, 0));
  EXPECT_EQ(Read(RootKey::Users, kPreload), mine);
  EXPECT_FALSE(world_->KeyExists(RootKey::Users, kBackup));
}

TEST_P(WindowsSwitches, SwitchingTheImeOnWithoutBackupInstallsTheImeLayout) {
  world_->DeleteTree(RootKey::Users, kBackup);
  SetLayouts(kPreload, {{"1", "00000411"}, {"2", "00000409"}});
  EXPECT_TRUE(mso_->SetItemState(52, 0));
  EXPECT_EQ(Read(RootKey::Users, kPreload), (Layouts{{"1", "e0010411"}}));

  world_->DeleteTree(RootKey::Users, kPreload);
  EXPECT_TRUE(mso_->SetItemState(52, 0));
  EXPECT_EQ(Read(RootKey::Users, kPreload), (Layouts{{"1", "e0010411"}}));
}

TEST_P(WindowsSwitches, SwitchingTheImeOffTwiceKeepsTheNewestListInTheBackup) {
  SetLayouts(kPreload, {{"1", "e0010411"}});
  SetLayouts(kBackup, {{"1", "stale"}});
  EXPECT_TRUE(mso_->SetItemState(52, 1));
  EXPECT_EQ(Read(RootKey::Users, kBackup), (Layouts{{"1", "e0010411"}}));
  EXPECT_TRUE(mso_->SetItemState(52, 1));
  EXPECT_EQ(Read(RootKey::Users, kBackup), (Layouts{{"1", "00000411"}}));
  EXPECT_EQ(Read(RootKey::Users, kPreload), (Layouts{{"1", "00000411"}}));
}

TEST_P(WindowsSwitches, RestoredListWithoutKnownLayoutReadsBackAsFailure) {
  SetLayouts(kPreload, {{"1", "00000411"}});
  SetLayouts(kBackup, {{"1", "00000409"}});
  EXPECT_FALSE(mso_->SetItemState(52, 0));
  EXPECT_EQ(Read(RootKey::Users, kPreload), (Layouts{{"1", "00000409"}}));
}

TEST_P(WindowsSwitches, LayoutOfAnotherTypeIsSkippedAndReplacedBySwitching) {
  world_->DeleteTree(RootKey::Users, kBackup);
  SetLayouts(kPreload, {});
  world_->SetDword(RootKey::Users, kPreload, "1", 0x411);
  world_->SetString(RootKey::Users, kPreload, "2", "e0010411");
  EXPECT_EQ(mso_->GetItemState(52), 0);
  EXPECT_EQ(mso_->Warnings,
            std::vector<std::string>{test::WrongTypeWarning(RootKey::Users, kPreload, "1")});
  EXPECT_TRUE(mso_->SetItemState(52, 1));
  EXPECT_EQ(Read(RootKey::Users, kPreload), (Layouts{{"1", "00000411"}}));
}

TEST_P(WindowsSwitches, ScriptHostOffDisablesEveryScriptClassAndOnlyThose) {
  AddClass("TovalinVBS", "C:\\WINDOWS\\System32\\WScript.exe \"%1\" %*");
  AddClass("TovalinJS", "\"C:\\WINDOWS\\SYSTEM32\\CSCRIPT.EXE\" \"%1\"");
  AddClass("TovalinTxt", "notepad.exe \"%1\"");
  classes_.push_back("TovalinVBS.SymantecDisabled");
  classes_.push_back("TovalinJS.SymantecDisabled");
  classes_.push_back("TovalinVBS.SymantecDisabled.SymantecDisabled");
  world_->CreateKey(RootKey::ClassesRoot, "TovalinVBS\\Shell\\Edit");

  EXPECT_TRUE(mso_->SetItemState(151, 1));
  EXPECT_FALSE(HasClass("TovalinVBS"));
  EXPECT_FALSE(HasClass("TovalinJS"));
  EXPECT_TRUE(HasClass("TovalinVBS.SymantecDisabled\\Shell\\Edit"));
  EXPECT_TRUE(HasClass("TovalinJS.SymantecDisabled"));
  EXPECT_FALSE(HasClass("TovalinVBS.SymantecDisabled.SymantecDisabled"));
  EXPECT_TRUE(HasClass("TovalinTxt"));

  EXPECT_TRUE(mso_->SetItemState(151, 0));
  EXPECT_TRUE(HasClass("TovalinVBS\\Shell\\Edit"));
  EXPECT_TRUE(HasClass("TovalinJS"));
  EXPECT_FALSE(HasClass("TovalinVBS.SymantecDisabled"));
  EXPECT_FALSE(HasClass("TovalinJS.SymantecDisabled"));
}

TEST_P(WindowsSwitches, ScriptHostOnEnablesKeysAnotherToolDisabled) {
  if (mso_->GetItemState(151) == 0) mso_->SetItemState(151, 1);
  ASSERT_EQ(mso_->GetItemState(151), 1);
  AddClass("TovalinForeign.SymantecDisabled", "wscript.exe \"%1\"");
  classes_.push_back("TovalinForeign");
  EXPECT_EQ(mso_->GetItemState(151), 1);  // disabled classes do not count
  EXPECT_TRUE(mso_->SetItemState(151, 0));
  EXPECT_TRUE(HasClass("TovalinForeign\\Shell\\Open\\Command"));
  EXPECT_FALSE(HasClass("TovalinForeign.SymantecDisabled"));
}

TEST_P(WindowsSwitches, ScriptHostOnLeavesADisabledKeyWhoseEnabledNameIsTaken) {
  AddClass("TovalinBoth", "notepad.exe");
  AddClass("TovalinBoth.SymantecDisabled", "wscript.exe");
  mso_->SetItemState(151, 0);
  EXPECT_TRUE(HasClass("TovalinBoth.SymantecDisabled"));
  EXPECT_TRUE(HasClass("TovalinBoth"));
}

// Turning the script hosts on gives back disabled classes; with none, the reason says so.
TEST_P(WindowsSwitches, ScriptHostOnWithNothingDisabledSaysWhy) {
  if (mso_->GetItemState(151) != 1) GTEST_SKIP() << "this machine has script classes";
  EXPECT_FALSE(mso_->SetItemState(151, 0));
  EXPECT_EQ(
      mso_->ItemStateReason(),
      "HKEY_CLASSES_ROOT に無効にしたクラス (名前に .SymantecDisabled のあるキー) がありません。");
}

INSTANTIATE_TEST_SUITE_P(All, WindowsSwitches, testing::ValuesIn(test::AllWorlds()),
                         [](const auto& info) { return test::WorldName(info.param); });

}  // namespace
}  // namespace tovalin
