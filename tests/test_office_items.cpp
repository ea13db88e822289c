// Items on Office's own per-user data: the clipboard switch, the menu bar restores and the
// release of files left locked after a crash.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "office/ZelMso.h"
#include "support/ZelRegistry.h"
#include "tests/World.h"

namespace tovalin {
namespace {

constexpr const char* kOffice = "SOFTWARE\\Microsoft\\Office";
constexpr const char* kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::string General(const std::string& version) {
  return std::string(kOffice) + "\\" + version + "\\Common\\General";
}

class OfficeItems : public testing::TestWithParam<test::WorldParam> {
 protected:
  void SetUp() override {
    world_ = GetParam().make();
    for (const char* version : {"9.0", "10.0", "11.0", "12.0"}) {
      world_->DeleteTree(RootKey::CurrentUser, std::string(kOffice) + "\\" + version);
    }
    mso_ = std::make_unique<TZelMso>(world_->platform());
    mso_->Versions.clear();
  }

  void UseVersions(std::initializer_list<const char*> versions, const char* main) {
    mso_->Versions.clear();
    for (const char* v : versions) mso_->Versions.push_back(TZelMsoVersion{v, "", "", "", ""});
    mso_->OfficeVersion = main;
  }

  bool HasAcbControl(const std::string& version) {
    TZelRegistry reg(world_->platform().Registry());
    reg.SetRoot(RootKey::CurrentUser);
    return reg.OpenKeyRead("\\" + General(version)) && reg.HasValue("AcbControl");
  }

  // Points the shell folders at fresh folders of the test root.
  void UseShellFolders() {
    world_->SetEnv("USERPROFILE", world_->Root());
    appData_ = world_->Root() + "\\AppData";
    localSettings_ = world_->Root() + "\\Local Settings";
    world_->SetString(RootKey::CurrentUser, kShellFolders, "AppData", appData_);
    world_->SetString(RootKey::CurrentUser, kShellFolders, "Local Settings", localSettings_);
  }

  std::unique_ptr<test::World> world_;
  std::unique_ptr<TZelMso> mso_;
  std::string appData_;
  std::string localSettings_;
};

TEST_P(OfficeItems, ClipboardStateIsTheStoredNumberOfTheMainVersion) {
  UseVersions({"11.0", "10.0"}, "11.0");
  const std::string key = "HKEY_CURRENT_USER\\" + General("11.0");
  EXPECT_EQ(mso_->GetItemState(51), -1);  // no key
  EXPECT_EQ(mso_->ItemStateReason(), "キー " + key + " がありません。");
  world_->CreateKey(RootKey::CurrentUser, General("11.0"));
  EXPECT_EQ(mso_->GetItemState(51), -1);  // no value
  EXPECT_EQ(mso_->ItemStateReason(), "キー " + key + " に値 AcbControl がありません。");
  world_->SetDword(RootKey::CurrentUser, General("10.0"), "AcbControl", 1);
  EXPECT_EQ(mso_->GetItemState(51), -1);  // only the main version counts
  world_->SetDword(RootKey::CurrentUser, General("11.0"), "AcbControl", 0);
  EXPECT_EQ(mso_->GetItemState(51), 0);
  EXPECT_EQ(mso_->ItemStateReason(), "");
  // Neither state: the number passes through for the window to show no button pressed.
  world_->SetDword(RootKey::CurrentUser, General("11.0"), "AcbControl", 2);
  EXPECT_EQ(mso_->GetItemState(51), 2);
  // Without a main version there is nothing to read, even where Office\Common\General exists.
  world_->SetDword(RootKey::CurrentUser, std::string(kOffice) + "\\Common\\General", "AcbControl",
                   1);
  mso_->OfficeVersion.clear();
  EXPECT_EQ(mso_->GetItemState(51), -1);
  world_->DeleteTree(RootKey::CurrentUser, std::string(kOffice) + "\\Common");
}

TEST_P(OfficeItems, ClipboardOfAnotherTypeCountsAsAbsentAndIsRewrittenAsNumber) {
  UseVersions({"11.0"}, "11.0");
  // A text short enough for a number, a longer one, and bytes.
  const std::vector<std::pair<std::uint32_t, std::vector<std::uint8_t>>> rows = {
      {win::kRegSz, {'1', 0, 0, 0}},
      {win::kRegSz, {'o', 0, 'f', 0, 'f', 0, 0, 0}},
      {win::kRegBinary, {0, 0, 0, 0, 0}},
  };
  for (const auto& [type, data] : rows) {
    world_->SetValue(RootKey::CurrentUser, General("11.0"), "AcbControl", type, data);
    EXPECT_EQ(mso_->GetItemState(51), -1) << type;
    EXPECT_TRUE(mso_->SetItemState(51, 1)) << type;
  }
  EXPECT_EQ(mso_->Warnings, std::vector<std::string>{test::WrongTypeWarning(
                                RootKey::CurrentUser, General("11.0"), "AcbControl")});
}

TEST_P(OfficeItems, ClipboardSetWritesEveryVersionWhoseKeyExistsAndCreatesNothing) {
  UseVersions({"11.0", "10.0"}, "11.0");
  world_->CreateKey(RootKey::CurrentUser, General("11.0"));
  EXPECT_TRUE(mso_->SetItemState(51, 1));
  EXPECT_TRUE(HasAcbControl("11.0"));
  EXPECT_FALSE(world_->KeyExists(RootKey::CurrentUser, General("10.0")));
  EXPECT_FALSE(world_->KeyExists(RootKey::CurrentUser, std::string(kOffice) + "\\10.0"));

  world_->CreateKey(RootKey::CurrentUser, General("10.0"));
  EXPECT_TRUE(mso_->SetItemState(51, 0));
  mso_->OfficeVersion = "10.0";
  EXPECT_EQ(mso_->GetItemState(51), 0);

  UseVersions({}, "11.0");
  EXPECT_FALSE(mso_->SetItemState(51, 1));  // no installed versions: nothing written
  EXPECT_NE(mso_->ItemStateReason(), "");
}

// A key the change may not open is named as such, before what the read back then misses.
// A key the change may not write refuses the whole change, named; nothing else is written.
TEST_P(OfficeItems, ClipboardSetRefusedByAKeyNamesIt) {
  if (!world_->Supports(test::Feature::KeyAccessLimits)) GTEST_SKIP();
  UseVersions({"11.0", "10.0"}, "11.0");
  world_->SetDword(RootKey::CurrentUser, General("11.0"), "AcbControl", 0);
  world_->SetDword(RootKey::CurrentUser, General("10.0"), "AcbControl", 0);
  world_->SetKeyAccess(RootKey::CurrentUser, General("11.0"), win::kKeyRead);
  try {
    mso_->SetItemState(51, 1);
    ADD_FAILURE() << "changed";
  } catch (const ERegistryRefusedException& e) {
    EXPECT_EQ(e.Refusal().key, "HKEY_CURRENT_USER\\" + General("11.0"));
    EXPECT_FALSE(e.NeedsAdministrator());
  }
  EXPECT_EQ(mso_->GetItemState(51), 0);
  EXPECT_EQ(mso_->ItemStateReason(), "");
}

TEST_P(OfficeItems, WordMenuBarRepairRemovesDataOfEveryVersion) {
  UseVersions({"11.0", "10.0", "9.0"}, "11.0");
  const std::string word11 = std::string(kOffice) + "\\11.0\\Word";
  const std::string word10 = std::string(kOffice) + "\\10.0\\Word";
  world_->SetDword(RootKey::CurrentUser, word11 + "\\Data\\Sub\\Deeper", "x", 1);
  world_->SetDword(RootKey::CurrentUser, word11 + "\\Data", "Toolbars", 1);
  world_->CreateKey(RootKey::CurrentUser, word11 + "\\Options");
  world_->CreateKey(RootKey::CurrentUser, word10 + "\\Data");
  world_->CreateKey(RootKey::CurrentUser, std::string(kOffice) + "\\11.0\\Excel\\Data");
  mso_->RunRepair(301);
  EXPECT_FALSE(world_->KeyExists(RootKey::CurrentUser, word11 + "\\Data"));
  EXPECT_FALSE(world_->KeyExists(RootKey::CurrentUser, word10 + "\\Data"));
  EXPECT_TRUE(world_->KeyExists(RootKey::CurrentUser, word11 + "\\Options"));
  EXPECT_TRUE(
      world_->KeyExists(RootKey::CurrentUser, std::string(kOffice) + "\\11.0\\Excel\\Data"));
  EXPECT_FALSE(world_->KeyExists(RootKey::CurrentUser, std::string(kOffice) + "\\9.0"));
}

TEST_P(OfficeItems, AccessMenuBarRepairRemovesOnlyCommandBars) {
  UseVersions({"11.0"}, "11.0");
  const std::string settings = std::string(kOffice) + "\\11.0\\Access\\Settings";
  world_->SetDword(RootKey::CurrentUser, settings + "\\CommandBars\\Menu", "x", 1);
  world_->SetDword(RootKey::CurrentUser, settings, "Keep", 1);
  mso_->RunRepair(401);
  EXPECT_FALSE(world_->KeyExists(RootKey::CurrentUser, settings + "\\CommandBars"));
  EXPECT_TRUE(world_->KeyExists(RootKey::CurrentUser, settings));
}

TEST_P(OfficeItems, ToolbarRepairDeletesTheApplicationsToolbarFilesOnly) {
  UseShellFolders();
  const std::string ppt = appData_ + "\\Microsoft\\Powerpoint";
  const std::string access = appData_ + "\\Microsoft\\Access";
  world_->AddFile(ppt + "\\PPT11.pcb");
  world_->AddFile(ppt + "\\hidden.PCB", {}, 0x22);
  world_->AddFile(ppt + "\\locked.pcb", {}, 0x21);  // read-only: stays
  world_->AddFile(ppt + "\\other.xlb");
  world_->AddFile(access + "\\Access.pcb");
  world_->AddFolder(ppt + "\\folder.pcb");
  const TZelMso::TRepairResult done = mso_->RunRepair(501);
  EXPECT_EQ(done.Removed, 2);
  EXPECT_EQ(done.Failed, 1);  // told, so the user knows one is left
  EXPECT_FALSE(done.Succeeded());
  EXPECT_FALSE(world_->FileExists(ppt + "\\PPT11.pcb"));
  EXPECT_FALSE(world_->FileExists(ppt + "\\hidden.PCB"));
  EXPECT_TRUE(world_->FileExists(ppt + "\\locked.pcb"));
  EXPECT_TRUE(world_->FileExists(ppt + "\\other.xlb"));
  EXPECT_TRUE(world_->FileExists(access + "\\Access.pcb"));
  EXPECT_TRUE(world_->FileExists(ppt + "\\folder.pcb"));

  const std::string excel = appData_ + "\\Microsoft\\Excel";
  world_->AddFile(excel + "\\Excel11.xlb");
  mso_->RunRepair(201);
  EXPECT_FALSE(world_->FileExists(excel + "\\Excel11.xlb"));
  EXPECT_TRUE(world_->FileExists(ppt + "\\other.xlb"));
}

TEST_P(OfficeItems, LockReleaseDeletesHiddenTempFilesButNotFoldersOrSystemFiles) {
  UseShellFolders();
  const std::string temp = localSettings_ + "\\Temp";
  world_->AddFile(temp + "\\~WRL0001.tmp");
  world_->AddFile(temp + "\\~DF1234.TMP", {}, 0x22);  // hidden
  world_->AddFile(temp + "\\~sys.tmp", {}, 0x24);     // system
  world_->AddFile(temp + "\\plain.tmp");
  world_->AddFile(temp + "\\~keep.txt");
  world_->AddFolder(temp + "\\~folder.tmp");
  for (int id : {202, 302, 402, 502}) {
    world_->AddFile(temp + "\\~again.tmp");
    EXPECT_TRUE(mso_->RunRepair(id).Succeeded()) << id;
    EXPECT_FALSE(world_->FileExists(temp + "\\~again.tmp")) << id;
  }
  EXPECT_FALSE(world_->FileExists(temp + "\\~WRL0001.tmp"));
  EXPECT_FALSE(world_->FileExists(temp + "\\~DF1234.TMP"));
  EXPECT_TRUE(world_->FileExists(temp + "\\~sys.tmp"));
  EXPECT_TRUE(world_->FileExists(temp + "\\plain.tmp"));
  EXPECT_TRUE(world_->FileExists(temp + "\\~keep.txt"));
  EXPECT_TRUE(world_->FileExists(temp + "\\~folder.tmp"));

  // A link stays, the file it shows too, and the user is told.
  if (!world_->Supports(test::Feature::FileLinks)) return;
  world_->AddFile(temp + "\\~$Thesis.docx.tmp", {'x'},
                  win::kFileAttributeArchive | win::kFileAttributeReparsePoint);
  const TZelMso::TRepairResult done = mso_->RunRepair(202);
  EXPECT_EQ(done.LinksKept, 1);
  EXPECT_FALSE(done.Succeeded());
  EXPECT_NE(done.Summary().find("1 個のファイルはリンクのため、削除していません"),
            std::string::npos)
      << done.Summary();
  EXPECT_TRUE(world_->FileExists(temp + "\\~$Thesis.docx.tmp"));
}

// Files are deleted only in the user's own folders: a shell folder that is missing, relative,
// climbs out or lies outside the profile is refused with the reason, and nothing goes. Without
// "Local Settings" (every system since Vista, and Wine) the lock files are looked for in TEMP.
TEST_P(OfficeItems, RepairsDeleteOnlyInsideTheUsersProfile) {
  const std::string root = world_->Root();
  struct Case {
    const char* name;
    std::optional<std::string> appData, localSettings, temp;
    const char* refusal;  // in the reason, or nullptr when the files go
  };
  const Case cases[] = {
      {"registered", root + "\\AppData", root + "\\Local Settings", {}, nullptr},
      {"unregistered", {}, {}, {}, "がありません"},
      {"empty", "", "", {}, "がありません"},
      {"relative", "AppData", "Local Settings", {}, "完全なパスではありません"},
      {"climbing out", root + "\\..\\AppData", root + "\\..\\LS", {}, "使えません"},
      {"outside the profile", "C:\\Elsewhere", "C:\\Windows", {}, "の外にあります"},
      {"TEMP inside", root + "\\AppData", {}, root + "\\Temp", nullptr},
      {"TEMP outside", root + "\\AppData", {}, "C:\\Temp", "の外にあります"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    world_->SetEnv("USERPROFILE", root);
    world_->SetEnv("TEMP", c.temp.value_or(root + "\\Temp"));
    world_->DeleteTree(RootKey::CurrentUser, kShellFolders);
    world_->CreateKey(RootKey::CurrentUser, kShellFolders);
    if (c.appData) world_->SetString(RootKey::CurrentUser, kShellFolders, "AppData", *c.appData);
    if (c.localSettings) {
      world_->SetString(RootKey::CurrentUser, kShellFolders, "Local Settings", *c.localSettings);
    }
    const std::string xlb = root + "\\AppData\\Microsoft\\Excel\\Excel11.xlb";
    const std::string lock =
        (c.localSettings ? root + "\\Local Settings" : root) + "\\Temp\\~WRL0001.tmp";
    world_->AddFile(xlb);
    world_->AddFile(lock);
    const TZelMso::TRepairResult toolbar = mso_->RunRepair(201);
    const TZelMso::TRepairResult locks = mso_->RunRepair(202);
    const TZelMso::TRepairResult& refused = c.temp ? locks : toolbar;
    if (c.refusal == nullptr) {
      EXPECT_TRUE(toolbar.Succeeded() && locks.Succeeded());
      EXPECT_EQ(toolbar.Removed + locks.Removed, 2);
      EXPECT_FALSE(world_->FileExists(xlb) || world_->FileExists(lock));
    } else {
      EXPECT_NE(refused.Skipped.find(c.refusal), std::string::npos) << refused.Skipped;
      EXPECT_NE(refused.Summary().find("削除していません"), std::string::npos);
      EXPECT_FALSE(refused.Succeeded());
      EXPECT_TRUE(world_->FileExists(c.temp ? lock : xlb));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(All, OfficeItems, testing::ValuesIn(test::AllWorlds()),
                         [](const auto& info) { return test::WorldName(info.param); });

}  // namespace
}  // namespace tovalin
