#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/Text.h"
#include "support/ZelRegistry.h"
#include "support/ZelSysUtils.h"
#include "support/platform/memory/MemoryPlatform.h"
#include "tests/World.h"

namespace tovalin {
namespace {

using Items = std::vector<std::string>;

// --- pure text functions ---

TEST(SplitQuoted, BlanksAlwaysSeparateAndDelimiterToo) {
  EXPECT_EQ(SplitQuoted("a,b c", ','), (Items{"a", "b", "c"}));
  EXPECT_EQ(SplitQuoted("  a ,  b  ", ','), (Items{"a", "b"}));
  // Empty items between delimiters and a trailing delimiter are dropped from the result.
  EXPECT_EQ(SplitQuoted("a,,b,", ','), (Items{"a", "b"}));
  EXPECT_EQ(SplitQuoted("", ' '), Items{});
  EXPECT_EQ(SplitQuoted(" \t ", ' '), Items{});
}

TEST(SplitQuoted, QuotedRuns) {
  EXPECT_EQ(SplitQuoted("\"C:\\Program Files\\x.exe\" /a", ' '),
            (Items{"C:\\Program Files\\x.exe", "/a"}));
  EXPECT_EQ(SplitQuoted("\"say \"\"hi\"\"\" x", ' '), (Items{"say \"hi\"", "x"}));
  // An unclosed run takes the rest less its last character.
  EXPECT_EQ(SplitQuoted("x \"abc def", ' '), (Items{"x", "abc de"}));
  // ... and that last character is a whole character, not half of one.
  EXPECT_EQ(SplitQuoted("\"日本語", ' '), (Items{"日本"}));
  EXPECT_EQ(SplitQuoted("\"\" a", ' '), (Items{"a"}));
  // Text right after a closing quote starts a new item.
  EXPECT_EQ(SplitQuoted("\"ab\"cd", ' '), (Items{"ab", "cd"}));
}

TEST(SplitQuoted, MultiByteCharactersAreNotSplit) {
  EXPECT_EQ(SplitQuoted("C:\\日本語\\表.exe,1", ','), (Items{"C:\\日本語\\表.exe", "1"}));
  // The first NUL ends the text.
  EXPECT_EQ(SplitQuoted(std::string_view("a b\0c d", 7), ' '), (Items{"a", "b"}));
}

TEST(SplitQuoted, QuoteGroups) {
  // A run beginning with a doubled quote still starts with a quote and opens a group.
  EXPECT_EQ(SplitQuoted("\"\"\"a b\"\" c\" d\" e", ' '), (Items{"\"a b\" c d", "e"}));
  // A group that never closes keeps its opening item and swallows the rest.
  EXPECT_EQ(SplitQuoted("x \"\"\"a\" b c", ' '), (Items{"x", "\"a"}));
}

TEST(ReplaceAllText, ReplacesEveryOccurrenceLeftToRight) {
  EXPECT_EQ(ReplaceAllText("Microsoft Excel アプリケーション", " アプリケーション", ""),
            "Microsoft Excel");
  EXPECT_EQ(ReplaceAllText("日本語版テキスト日本語", "日本語", ""), "版テキスト");
  EXPECT_EQ(ReplaceAllText("11.0.5614.0", ".", "\r\n"), "11\r\n0\r\n5614\r\n0");
  EXPECT_EQ(ReplaceAllText("aaa", "aa", "b"), "ba");
  // The replacement is never searched again.
  EXPECT_EQ(ReplaceAllText("ab", "a", "aa"), "aab");
  EXPECT_EQ(ReplaceAllText("x.SymantecDisabled", ".SymantecDisabled", ""), "x");
  EXPECT_EQ(ReplaceAllText("abc", "", "z"), "abc");
  EXPECT_EQ(ReplaceAllText("abc", "d", "z"), "abc");
  // Case matters.
  EXPECT_EQ(ReplaceAllText("ABC", "b", "z"), "ABC");
}

TEST(TrimWideSpaces, OnlyHalfAndFullWidthSpaces) {
  EXPECT_EQ(TrimWideSpaces(" 　 山田　太郎　 　"), "山田　太郎");
  EXPECT_EQ(TrimWideSpaces("\t山田 "), "\t山田");
  EXPECT_EQ(TrimWideSpaces("山田\r\n"), "山田\r\n");
  EXPECT_EQ(TrimWideSpaces(" 　　 "), "");
  EXPECT_EQ(TrimWideSpaces(""), "");
}

// --- functions over the machine ---

class SysUtils : public testing::TestWithParam<test::WorldParam> {
 protected:
  void SetUp() override {
    world_ = GetParam().make();
    root_ = world_->Root();
    windir_ = root_ + "\\win";
    world_->AddFolder(windir_);
    world_->AddFolder(windir_ + "\\system32");
    world_->AddFolder(windir_ + "\\system");
    world_->SetEnv("windir", windir_);
  }
  Platform& platform() { return world_->platform(); }
  std::string Find(std::string_view commandLine) {
    return GetCommandFileName(platform(), commandLine);
  }

  std::unique_ptr<test::World> world_;
  std::string root_;
  std::string windir_;
};

TEST_P(SysUtils, FileExistsMeansAFileNotAFolder) {
  world_->AddFile(root_ + "\\a.txt");
  EXPECT_TRUE(FileExists(platform(), root_ + "\\a.txt"));
  EXPECT_TRUE(FileExists(platform(), root_ + "\\A.TXT"));
  EXPECT_FALSE(FileExists(platform(), windir_));
  EXPECT_FALSE(FileExists(platform(), root_ + "\\missing.txt"));
  EXPECT_FALSE(FileExists(platform(), root_ + "\\*.txt"));
  EXPECT_FALSE(FileExists(platform(), root_ + "\\a.txt\\"));
  EXPECT_FALSE(FileExists(platform(), ""));
}

TEST_P(SysUtils, EnvironmentValue) {
  world_->SetEnv("TOVALIN_T1", "value");
  EXPECT_EQ(GetEnvironmentValue(platform(), "TOVALIN_T1"), "value");
  EXPECT_EQ(GetEnvironmentValue(platform(), "TOVALIN_UNSET_9"), "%TOVALIN_UNSET_9%");
  // A value longer than a path buffer comes back whole rather than empty or cut.
  const std::string longValue(300, 'x');
  world_->SetEnv("TOVALIN_LONG", longValue);
  EXPECT_EQ(GetEnvironmentValue(platform(), "TOVALIN_LONG"), longValue);
}

TEST_P(SysUtils, ExpandEnvironmentText) {
  world_->SetEnv("TOVALIN_A", "alpha");
  world_->SetEnv("TOVALIN_B", "beta");
  world_->SetEnv("TOVALIN_P", "%TOVALIN_A%");
  EXPECT_EQ(ExpandEnvironmentText(platform(), "%TOVALIN_A%\\x\\%TOVALIN_B%.txt"),
            "alpha\\x\\beta.txt");
  EXPECT_EQ(ExpandEnvironmentText(platform(), "%TOVALIN_NONE%\\%TOVALIN_B%"),
            "%TOVALIN_NONE%\\beta");
  EXPECT_EQ(ExpandEnvironmentText(platform(), "%TOVALIN_A%-%TOVALIN_A%"), "alpha-alpha");
  // The caller's own "%s" survives: it has no closing "%".
  EXPECT_EQ(ExpandEnvironmentText(platform(), "%windir%\\Installer\\%s\\misc.exe"),
            windir_ + "\\Installer\\%s\\misc.exe");
  // An inserted value is not expanded again.
  EXPECT_EQ(ExpandEnvironmentText(platform(), "%TOVALIN_P%!"), "%TOVALIN_A%!");
  EXPECT_EQ(ExpandEnvironmentText(platform(), "100% sure"), "100% sure");
}

TEST_P(SysUtils, ExpandPathVariables) {
  world_->SetEnv("TOVALIN_A", "C:\\alpha");
  EXPECT_EQ(ExpandPathVariables(platform(), "%TOVALIN_A%\\x.exe"), "C:\\alpha\\x.exe");
  EXPECT_EQ(ExpandPathVariables(platform(), "%TOVALIN_A%"), "%TOVALIN_A%");
  EXPECT_EQ(ExpandPathVariables(platform(), "C:\\100%\\x.exe"), "C:\\100%\\x.exe");
  EXPECT_EQ(ExpandPathVariables(platform(), "C:\\a%b\\c%d\\e"), "C:\\a%b\\c%d\\e");
  EXPECT_EQ(ExpandPathVariables(platform(), "%TOVALIN_NONE%\\x\\%TOVALIN_A%\\y"),
            "%TOVALIN_NONE%\\x\\C:\\alpha\\y");
  // What follows an expanded token up to the next separator is copied as it stands.
  EXPECT_EQ(ExpandPathVariables(platform(), "%TOVALIN_A%.%TOVALIN_A%\\y"),
            "C:\\alpha.%TOVALIN_A%\\y");
}

TEST_P(SysUtils, CommandLinesWithSwitches) {
  const std::string folder = root_ + "\\Program Files\\Microsoft Office\\OFFICE11";
  const std::string excel = folder + "\\EXCEL.EXE";
  world_->AddFile(excel);
  EXPECT_EQ(Find("\"" + excel + "\" /automation"), excel);
  EXPECT_EQ(Find(excel + " /automation"), excel);
  EXPECT_EQ(Find("  " + excel + " -Embedding\r\n"), excel);
  EXPECT_EQ(Find(excel), excel);
  // The text before " -" is tried even when a " /" comes later.
  const std::string spaced = root_ + "\\My App\\x.exe";
  world_->AddFile(spaced);
  EXPECT_EQ(Find(spaced + " -a /b"), spaced);
  EXPECT_EQ(Find(""), "");
}

TEST_P(SysUtils, CommandLinesNamingFilesIndirectly) {
  const std::string shell32 = windir_ + "\\system32\\shell32.dll";
  world_->AddFile(shell32);
  EXPECT_EQ(Find("rundll32.exe shell32.dll,Control_RunDLL desk.cpl"), shell32);
  EXPECT_EQ(Find("RUNDLL32 " + shell32 + ",Options_RunDLL 0"), shell32);
  EXPECT_EQ(Find(shell32 + ",-3"), shell32);

  const std::string image = root_ + "\\bin\\app.exe";
  world_->AddFile(image);
  EXPECT_EQ(Find("\\??\\" + image), image);

  world_->SetEnv("TovalinSysRoot", windir_);
  const std::string driver = windir_ + "\\system32\\drv.exe";
  world_->AddFile(driver);
  EXPECT_EQ(Find("\\TovalinSysRoot\\system32\\drv.exe"), driver);
}

TEST_P(SysUtils, BareNamesSearchExtensionsThenSystemFolders) {
  world_->AddFile(windir_ + "\\system32\\tool.com");
  world_->AddFile(windir_ + "\\system\\tool.exe");
  // Folder order wins over extension order.
  EXPECT_EQ(Find("tool"), windir_ + "\\system32\\tool.com");
  world_->AddFile(windir_ + "\\tool.bat");
  EXPECT_EQ(Find("tool /x"), windir_ + "\\tool.bat");
  world_->AddFile(windir_ + "\\system32\\lib.dll");
  world_->AddFile(windir_ + "\\system32\\lib.exe");
  EXPECT_EQ(Find("lib"), windir_ + "\\system32\\lib.exe");
  EXPECT_EQ(Find("nothing-here"), "");
  // A name with a dot in the last component already has an extension.
  world_->AddFile(windir_ + "\\system32\\v1.2.exe");
  EXPECT_EQ(Find("v1.2"), "");
}

TEST_P(SysUtils, DriveLetterPathsAreNotSearchedInSystemFolders) {
  world_->AddFile(windir_ + "\\system32\\notepad.exe");
  EXPECT_EQ(Find("Z:\\missing\\notepad.exe"), "");
  EXPECT_EQ(Find("Z:notepad.exe"), "");
  // Without the drive, the system folders are searched.
  EXPECT_EQ(Find("notepad.exe"), windir_ + "\\system32\\notepad.exe");
}

TEST_P(SysUtils, ShellFolderPath) {
  const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  world_->SetString(RootKey::CurrentUser, key, "TovalinTestFolder", "C:\\Users\\山田\\AppData");
  EXPECT_EQ(GetShellFolderPath(platform(), "TovalinTestFolder"), "C:\\Users\\山田\\AppData");
  EXPECT_EQ(GetShellFolderPath(platform(), "TovalinMissingFolder"), "");
  world_->SetDword(RootKey::CurrentUser, key, "TovalinDwordFolder", 1);
  EXPECT_THROW(GetShellFolderPath(platform(), "TovalinDwordFolder"), ERegistryException);
}

TEST_P(SysUtils, TokenPrivilegeNeedsTheAccountToHoldIt) {
  if (!world_->Supports(test::Feature::PrivilegeControl)) GTEST_SKIP() << "no privilege control";
  IProcesses& processes = platform().Processes();
  const TokenHandle token = processes.OpenProcessToken(0x28);  // ADJUST_PRIVILEGES | QUERY
  ASSERT_NE(token, 0u);
  world_->SetDebugPrivilegeAllowed(false);
  EXPECT_FALSE(SetTokenPrivilege(platform(), token, "SeDebugPrivilege", true));
  world_->SetDebugPrivilegeAllowed(true);
  EXPECT_TRUE(SetTokenPrivilege(platform(), token, "SeDebugPrivilege", true));
  EXPECT_TRUE(SetTokenPrivilege(platform(), token, "SeDebugPrivilege", false));
  EXPECT_FALSE(SetTokenPrivilege(platform(), token, "SeNoSuchPrivilegeAtAll", true));
  processes.CloseToken(token);
}

INSTANTIATE_TEST_SUITE_P(All, SysUtils, testing::ValuesIn(test::AllWorlds()),
                         [](const auto& info) { return test::WorldName(info.param); });

TEST(SysUtilsMemory, ShellFolderKeyMissing) {
  MemoryPlatform platform;
  EXPECT_EQ(GetShellFolderPath(platform, "AppData"), "");
}

}  // namespace
}  // namespace tovalin
