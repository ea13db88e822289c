// tovalin-cli's item and process subcommands, run as a user would: on a copy of the sample
// prefix, and on a prefix that Wine itself has booted, where Wine's own reg tool must see every
// change and the process search must find a running Wine program.
#if !defined(_WIN32)

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/regfile/WineRegFile.h"
#include "support/registry/TreeRegistry.h"
#include "tests/CliTestSupport.h"
#include "tests/RegistryDump.h"

namespace tovalin {
namespace {

namespace fs = std::filesystem;

using namespace clitest;
using Result = ShellResult;

// Standard error goes with the output when asked, else nowhere.
Result Shell(const std::string& command, bool withStderr = false) {
  return clitest::Shell(command + (withStderr ? " 2>&1" : " 2>/dev/null"));
}

class ItemsCli : public testing::Test {
 protected:
  void SetUp() override {
    cli_ = CliBinary();
    if (!fs::exists(cli_)) GTEST_SKIP() << "tovalin-cli is not built";
    folder_.emplace("tovalin-items-");
    dir_ = folder_->Path();
    prefix_ = dir_ / "prefix";
    fs::copy(fs::path(TOVALIN_SOURCE_DIR) / "examples" / "sample-prefix", prefix_,
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  }
  Result Cli(const std::vector<std::string>& args, bool withStderr = false) {
    const std::string command = CommandLine(cli_, args);
    return Shell(command + " --prefix " + Quote(prefix_.string()), withStderr);
  }

  // Starts every call at once and waits for all.
  std::vector<Result> CliTogether(const std::vector<std::vector<std::string>>& calls) {
    std::vector<Result> results(calls.size());
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k < calls.size(); ++k) {
      threads.emplace_back([&, k] { results[k] = Cli(calls[k]); });
    }
    for (std::thread& thread : threads) thread.join();
    return results;
  }

  fs::path cli_;
  std::optional<TestFolder> folder_;
  fs::path dir_;
  fs::path prefix_;
};

TEST_F(ItemsCli, SetPrintsTheReadBackAndExitsByIt) {
  // Preload is missing in the sample: undetermined until the first change.
  EXPECT_EQ(Cli({"get", "52"}).out, "-1\n");
  Result set = Cli({"set", "52", "1"});
  EXPECT_EQ(set.exitCode, 0);
  EXPECT_EQ(set.out, "1\n");
  EXPECT_EQ(Cli({"get", "52"}).out, "1\n");
  EXPECT_NE(ReadAll(prefix_ / "userdef.reg").find("00000411"), std::string::npos);

  // No Common\General key: the clipboard switch cannot take effect, and standard error says so.
  set = Cli({"set", "51", "1"});
  EXPECT_EQ(set.exitCode, 1);
  EXPECT_EQ(set.out, "-1\n");
  EXPECT_NE(
      Cli({"set", "51", "1"}, true)
          .out.find(
              "tovalin-cli: 「Officeクリップボードの使用可否」(項目 51) を"
              "「使用しない (1)」にできませんでした。読み戻した状態は「不明 (-1)」です。キー "),
      std::string::npos);
}

TEST_F(ItemsCli, SettingTheCurrentStateChangesNothing) {
  ASSERT_EQ(Cli({"set", "52", "1"}).exitCode, 0);
  const std::string before = ReadAll(prefix_ / "userdef.reg");
  // A second switch-off would have replaced the saved list by the one-entry list.
  const Result again = Cli({"set", "52", "1"});
  EXPECT_EQ(again.exitCode, 0);
  EXPECT_EQ(again.out, "1\n");
  EXPECT_EQ(ReadAll(prefix_ / "userdef.reg"), before);
}

TEST_F(ItemsCli, SetJsonTellsBeforeAndAfterAndACheckWritesNothing) {
  auto hives = [this] {
    return ReadAll(prefix_ / "system.reg") + ReadAll(prefix_ / "user.reg") +
           ReadAll(prefix_ / "userdef.reg");
  };
  const std::string before = hives();
  const std::string changes = R"({"itemId":52,"before":-1,"after":1,"changed":true})"
                              "\n";
  const Result check = Cli({"set", "52", "1", "--json", "--check"});
  EXPECT_EQ(check.exitCode, 0);
  EXPECT_EQ(check.out, changes);
  EXPECT_EQ(hives(), before);

  EXPECT_EQ(Cli({"set", "52", "1", "--json"}).out, changes);
  EXPECT_EQ(Cli({"set", "52", "1", "--json", "--check"}).out,
            R"({"itemId":52,"before":1,"after":1,"changed":false})"
            "\n");
  // What cannot take effect says so with an exit code, in JSON as in text.
  const Result undecidable = Cli({"set", "51", "1", "--json", "--check"});
  EXPECT_EQ(undecidable.exitCode, 1);
  EXPECT_EQ(undecidable.out, R"({"itemId":51,"before":-1,"after":-1,"changed":false})"
                             "\n");
  EXPECT_NE(Cli({"set", "51", "1", "--check"}, true).out.find("にできません。変更しても状態は"),
            std::string::npos);
}

TEST_F(ItemsCli, UserInfoChangesEveryPlaceAndPrintsWhatReadsBack) {
  const Result change = Cli({"user-info", "--company", "新会社", "--owner", "", "--json"});
  EXPECT_EQ(change.exitCode, 0);
  // The owner left blank reads back empty, as in the window; the initials stay.
  EXPECT_EQ(change.out,
            "{\n  \"company\": \"新会社\",\n  \"owner\": \"\",\n  \"initials\": \"YT\"\n}\n");
  EXPECT_EQ(Cli({"user-info"}).out,
            "会社名 (Company): 新会社\nユーザー名 (Owner): \n頭文字 (Initials): YT\n");
  // Both the machine's uninstall entry and the user's own key took it.
  EXPECT_NE(ReadAll(prefix_ / "system.reg").find("\\x65b0\\x4f1a\\x793e"), std::string::npos);
  EXPECT_NE(ReadAll(prefix_ / "user.reg").find("\\x65b0\\x4f1a\\x793e"), std::string::npos);
}

// A plan made for an elevated process is made as it was written or not at all: a file changed
// since its digest was taken, or a registry that no longer holds what the plan expects, is
// refused with the reason in the result file.
TEST_F(ItemsCli, ApplyMakesAPlanOnlyAsItWasWritten) {
  const std::string plan =
      R"({"registry":[{"root":"HKEY_CURRENT_USER","path":"Software\\Tovalin-plan",)"
      R"("existedBefore":false,"existsAfter":true,"values":[{"name":"V","before":null,)"
      R"("after":{"type":4,"data":"07000000"}}]}],"files":[]})";
  const fs::path file = dir_ / "plan.json";
  std::ofstream(file) << plan;
  const fs::path result = dir_ / "result.json";
  auto apply = [&](const std::string& digest) {
    return Cli({"apply", file.string(), "--sha256", digest, "--result", result.string()});
  };
  const std::string digest =
      Shell("sha256sum " + Quote(file.string()) + " | cut -c1-64").out.substr(0, 64);

  EXPECT_EQ(apply(std::string(64, '0')).exitCode, 1);
  EXPECT_NE(ReadAll(result).find("変わっている"), std::string::npos);
  EXPECT_EQ(ReadAll(prefix_ / "user.reg").find("Tovalin-plan"), std::string::npos);

  EXPECT_EQ(apply(digest).exitCode, 0);
  EXPECT_EQ(ReadAll(result), "{\n  \"exitCode\": 0,\n  \"message\": \"\"\n}\n");
  EXPECT_NE(ReadAll(prefix_ / "user.reg").find("[Software\\\\Tovalin-plan]"), std::string::npos);

  EXPECT_EQ(apply(digest).exitCode, 1);
  EXPECT_NE(ReadAll(result).find("キー HKEY_CURRENT_USER\\\\Software\\\\Tovalin-plan があります"),
            std::string::npos);
}

TEST_F(ItemsCli, RefusesItemsOfTheWrongKindUnknownIdsAndBadStates) {
  const std::string before = ReadAll(prefix_ / "userdef.reg");
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"get", "201"},
                                             {"set", "202", "0"},
                                             {"repair", "251"},
                                             {"get", "999"},
                                             {"set", "52", "2"},
                                             {"set", "52", "x"}}) {
    const Result result = Cli(args, true);
    EXPECT_NE(result.exitCode, 0) << args[0] << " " << args[1];
    EXPECT_FALSE(result.out.empty()) << args[0] << " " << args[1];
  }
  EXPECT_EQ(ReadAll(prefix_ / "userdef.reg"), before);
}

TEST_F(ItemsCli, ChangesAreRefusedOnRegeditExports) {
  const fs::path reg = dir_ / "x.reg";
  std::ofstream(reg) << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n";
  const Result result =
      Shell(Quote(cli_.string()) + " set 52 1 --reg " + Quote(reg.string()), true);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.out.find("--reg"), std::string::npos);
}

TEST_F(ItemsCli, RepairDeletesTheKeyAndProcessesPrintsNothingWhenNoneRun) {
  std::ofstream(prefix_ / "user.reg", std::ios::app)
      << "\n[Software\\\\Microsoft\\\\Office\\\\11.0\\\\Word\\\\Data] 1715590830\n"
         "\"Toolbars\"=hex:01,02\n";
  ASSERT_NE(ReadAll(prefix_ / "user.reg").find("Word\\\\Data"), std::string::npos);
  const Result repair = Cli({"repair", "301"});
  EXPECT_EQ(repair.exitCode, 0);
  EXPECT_NE(repair.out.find("再表示"), std::string::npos);
  EXPECT_EQ(ReadAll(prefix_ / "user.reg").find("Word\\\\Data"), std::string::npos);
  EXPECT_NE(ReadAll(prefix_ / "user.reg").find("UserInfo"), std::string::npos);
  // No AppData folder registered here: the toolbar repair says so and fails.
  const Result toolbar = Cli({"repair", "201"}, true);
  EXPECT_EQ(toolbar.exitCode, 1);
  EXPECT_NE(toolbar.out.find("「AppData」 がありません。ファイルは削除していません。"),
            std::string::npos)
      << toolbar.out;
  const Result processes = Cli({"processes", "EXCEL.EXE"});
  EXPECT_EQ(processes.exitCode, 0);
  EXPECT_EQ(processes.out, "");
}

// A setting that cannot take effect says why on standard error: the key it misses, named as
// regedit names it. Standard output stays the state read back.
TEST_F(ItemsCli, ASetThatCannotTakeEffectSaysWhy) {
  const struct {
    const char* item;
    const char* missing;
  } cases[] = {
      {"51", "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Office\\12.0\\Common\\General"},
      {"251", "HKEY_CLASSES_ROOT\\.xls"},
      {"351", "HKEY_CLASSES_ROOT\\.doc"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    const Result set =
        clitest::Shell(CommandLine(cli_, {"set", c.item, "1", "--prefix", prefix_.string()}) +
                       " 2>&1 >" + Quote((dir_ / "out").string()));
    EXPECT_EQ(set.exitCode, 1);
    EXPECT_NE(set.out.find(std::string("キー ") + c.missing + " がありません。"), std::string::npos)
        << set.out;
    EXPECT_EQ(ReadAll(dir_ / "out"), "-1\n");
  }
}

// The profile folder the registry names is trusted only where the prefix keeps its users'
// folders: one on the host is refused with the reason, and its files stay.
TEST_F(ItemsCli, RepairsRefuseAProfileOutsideThePrefixsUsers) {
  const fs::path host = dir_ / "x";
  fs::create_directories(host / "Temp");
  fs::create_directories(host / "AppData" / "Microsoft" / "Excel");
  std::ofstream(host / "Temp" / "~$Thesis.docx.tmp") << "thesis";
  std::ofstream(host / "AppData" / "Microsoft" / "Excel" / "Excel11.xlb") << "bars";
  fs::create_directory_symlink("/", prefix_ / "dosdevices" / "z:");
  std::string profile = "Z:" + host.string();
  std::replace(profile.begin(), profile.end(), '/', '\\');
  std::string escaped;
  for (char c : profile) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
  std::ofstream(prefix_ / "system.reg", std::ios::app)
      << "\n[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\ProfileList\\\\S-1-5-21-0-0-"
         "0-1000] 1700000000\n\"ProfileImagePath\"=\""
      << escaped << "\"\n";
  std::ofstream(prefix_ / "user.reg", std::ios::app)
      << "\n[Environment] 1700000000\n\"TEMP\"=\"" << escaped << "\\\\Temp\"\n"
      << "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders] "
         "1700000000\n\"AppData\"=\""
      << escaped << "\\\\AppData\"\n";
  for (const char* item : {"202", "201"}) {
    const Result repair = Cli({"repair", item}, true);
    EXPECT_EQ(repair.exitCode, 1) << item;
    EXPECT_NE(repair.out.find("ユーザーのプロファイル フォルダー " + profile + " "),
              std::string::npos)
        << repair.out;
  }
  EXPECT_EQ(ReadAll(host / "Temp" / "~$Thesis.docx.tmp"), "thesis");
  EXPECT_EQ(ReadAll(host / "AppData" / "Microsoft" / "Excel" / "Excel11.xlb"), "bars");
}

// A hive as data: its keys and values, whatever order a rewrite keeps and whatever time it
// stamps.
std::vector<std::string> HiveData(const fs::path& file) {
  // The hive keeps the text its keys read their values from.
  const WineHive hive = LoadWineRegistryFile(file.string());
  TreeRegistry tree;
  tree.SetRootNode(RootKey::LocalMachine, hive.root);
  return test::DumpRegistry(tree, RootKey::LocalMachine, "");
}

// Settings, repairs of each kind and the registered user, undone one by one: the hives hold
// what they held before, and the files the repairs took come back from the trash with their
// content.
TEST_F(ItemsCli, EveryChangeUndoneLeavesThePrefixAsBefore) {
  const fs::path profile = prefix_ / "drive_c" / "users" / "tester";
  fs::create_directories(profile / "Temp");
  fs::create_directories(profile / "AppData" / "Roaming" / "Microsoft" / "Excel");
  std::ofstream(profile / "Temp" / "~$Thesis.docx.tmp") << "thesis";
  std::ofstream(profile / "AppData" / "Roaming" / "Microsoft" / "Excel" / "Excel11.xlb")
      << "toolbars";
  std::ofstream(prefix_ / "system.reg", std::ios::app)
      << "\n[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\ProfileList\\\\S-1-5-21-0-0-"
         "0-1000] 1700000000\n\"ProfileImagePath\"=\"C:\\\\users\\\\tester\"\n"
      << "\n[Software\\\\Classes\\\\Wow6432Node\\\\.xls] 1700000000\n@=\"Excel.Sheet.8\"\n"
      << "\n[Software\\\\Classes\\\\Wow6432Node\\\\Excel.Sheet.8] 1700000000\n@=\"Sheet\"\n"
      << "\"BrowserFlags\"=dword:00000010\n"
      << "\n[Software\\\\Classes\\\\Wow6432Node\\\\VBSFile\\\\Shell\\\\Open\\\\Command] "
         "1700000000\n@=\"C:\\\\windows\\\\system32\\\\wscript.exe \\\"%1\\\"\"\n";
  std::ofstream(prefix_ / "user.reg", std::ios::app)
      << "\n[Environment] 1700000000\n\"TEMP\"=\"C:\\\\users\\\\tester\\\\Temp\"\n"
      << "\n[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Explorer\\\\Shell Folders] "
         "1700000000\n\"AppData\"=\"C:\\\\users\\\\tester\\\\AppData\\\\Roaming\"\n"
      << "\n[Software\\\\Microsoft\\\\Office\\\\11.0\\\\Word\\\\Data] 1700000000\n"
         "\"Toolbars\"=hex:01,02\n";
  const std::string env = "XDG_STATE_HOME=" + Quote((dir_ / "state").string()) +
                          " XDG_DATA_HOME=" + Quote((dir_ / "data").string()) + " ";
  auto cli = [&](std::vector<std::string> args) {
    args.push_back("--prefix");
    args.push_back(prefix_.string());
    return Shell(env + CommandLine(cli_, args), true);
  };
  std::vector<std::vector<std::string>> before;
  for (const char* hive : {"system.reg", "user.reg", "userdef.reg"}) {
    before.push_back(HiveData(prefix_ / hive));
  }

  const std::vector<std::vector<std::string>> actions = {{"set", "52", "1"},
                                                         {"set", "251", "1"},
                                                         {"set", "151", "1"},
                                                         {"repair", "301"},
                                                         {"repair", "202"},
                                                         {"repair", "201"},
                                                         {"user-info", "--company", "新会社"}};
  for (const std::vector<std::string>& action : actions) {
    const Result done = cli(action);
    EXPECT_EQ(done.exitCode, 0) << action[0] << " " << action[1] << ": " << done.out;
  }
  EXPECT_FALSE(fs::exists(profile / "Temp" / "~$Thesis.docx.tmp"));
  const Result history = cli({"history", "--json"});
  EXPECT_EQ(history.out.find("\"undone\": true"), std::string::npos);
  for (std::size_t i = 0; i < actions.size(); ++i) {
    const Result undone = cli({"undo"});
    EXPECT_EQ(undone.exitCode, 0) << undone.out;
  }
  EXPECT_NE(cli({"undo"}).exitCode, 0);  // nothing left

  int hive = 0;
  for (const char* name : {"system.reg", "user.reg", "userdef.reg"}) {
    EXPECT_EQ(HiveData(prefix_ / name), before[static_cast<std::size_t>(hive++)]) << name;
  }
  EXPECT_EQ(ReadAll(profile / "Temp" / "~$Thesis.docx.tmp"), "thesis");
  EXPECT_EQ(ReadAll(profile / "AppData" / "Roaming" / "Microsoft" / "Excel" / "Excel11.xlb"),
            "toolbars");
}

// --- against Wine itself ---

constexpr const char* kShowClsid = "{64818D10-4F9B-11CF-86EA-00AA00B929E8}";

class ItemsCliWine : public ItemsCli {
 protected:
  void SetUp() override {
    if (::access("/usr/bin/wine", X_OK) != 0 || ::access("/usr/bin/wineserver", X_OK) != 0) {
      GTEST_SKIP() << "Wine is not installed";
    }
    ItemsCli::SetUp();
    if (IsSkipped()) return;
    // Wine turns the sample into a full prefix and keeps the Office data in it.
    ASSERT_EQ(Wine("wineboot -u").exitCode, 0);
    StopServer();
  }
  void TearDown() override {
    if (!prefix_.empty() && fs::exists(prefix_)) StopServer();
    ItemsCli::TearDown();
  }

  std::string Env() const {
    const char* home = std::getenv("HOME");
    return "env -i PATH=/usr/bin:/bin HOME=" + Quote(home != nullptr ? home : "/root") +
           " WINEPREFIX=" + Quote(prefix_.string()) + " WINEDEBUG=-all LANG=C.UTF-8 DISPLAY= ";
  }
  Result Wine(const std::string& command) {
    Result result =
        Shell("cd " + Quote((prefix_ / "drive_c").string()) + " && " + Env() + "wine " + command);
    result.out.erase(std::remove(result.out.begin(), result.out.end(), '\r'), result.out.end());
    return result;
  }
  // Our writes go to the hive files, so Wine's server must be down while we change them.
  void StopServer() {
    Shell(Env() + "wineserver -k");
    Shell(Env() + "wineserver -w");
  }
  // Office-shaped classes and keys for every setting, imported by Wine itself.
  void ImportOfficeShapes() {
    std::ofstream(prefix_ / "drive_c" / "office.reg")
        << "REGEDIT4\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\.xls]\r\n@=\"Excel.Sheet.8\"\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\Excel.Sheet.8]\r\n\"BrowserFlags\"=dword:00000018\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\.doc]\r\n@=\"Word.Document.8\"\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\Word.Document.8]\r\n@=\"Microsoft Word Document\"\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\.ppt]\r\n@=\"PowerPoint.Show.8\"\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\PowerPoint.Show.8\\CLSID]\r\n@=\""
        << kShowClsid
        << "\"\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\CLSID\\"
        << kShowClsid
        << "\\LocalServer32]\r\n@=\"POWERPNT.EXE\"\r\n\r\n"
           "[HKEY_CLASSES_ROOT\\TovalinVBSFile.SymantecDisabled\\Shell\\Open\\Command]\r\n"
           "@=\"\\\"C:\\\\windows\\\\system32\\\\WScript.exe\\\" \\\"%1\\\"\"\r\n\r\n"
           "[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\11.0\\Common\\General]\r\n\r\n";
    ASSERT_EQ(Wine("reg import C:\\\\office.reg /reg:32").exitCode, 0);
    StopServer();
  }
  // Asks every quarter second for up to half a minute.
  static bool QueryUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 120; ++i) {
      if (done()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    return false;
  }
  // `wine reg query` as a 32-bit program sees the registry, as Office and Tovalin do.
  std::string Query(const std::string& key, const std::string& value = "") {
    return Wine("reg query " + Quote(key) + (value.empty() ? " /s" : " /v " + Quote(value)) +
                " /reg:32")
        .out;
  }
};

TEST_F(ItemsCliWine, EverySettingFlipsAndWineSeesIt) {
  ImportOfficeShapes();
  if (HasFatalFailure()) return;

  // Every switch set at once, as windows and scripts on one prefix might: each waits its turn
  // and none undoes another's change.
  struct Flip {
    std::string item, from, to;
  };
  std::vector<Flip> flips = {{"51", "-1", "1"}, {"52", "-1", "1"}, {"151", "1", "0"},
                             {"251", "0", "1"}, {"252", "1", "0"}, {"351", "0", "1"},
                             {"552", "0", "1"}};
  auto flipAll = [&](bool forward) {
    std::vector<std::vector<std::string>> calls;
    for (const Flip& flip : flips)
      calls.push_back({"set", flip.item, forward ? flip.to : flip.from});
    const std::vector<Result> results = CliTogether(calls);
    for (std::size_t k = 0; k < calls.size(); ++k) {
      SCOPED_TRACE(calls[k][1] + " " + calls[k][2]);
      EXPECT_EQ(results[k].exitCode, 0) << results[k].out;
      EXPECT_EQ(results[k].out, calls[k][2] + "\n");
      EXPECT_EQ(Cli({"get", calls[k][1]}).out, calls[k][2] + "\n");
    }
  };
  for (const Flip& flip : flips) EXPECT_EQ(Cli({"get", flip.item}).out, flip.from + "\n");
  flipAll(true);

  EXPECT_NE(Query("HKCU\\Software\\Microsoft\\Office\\11.0\\Common\\General", "AcbControl")
                .find("REG_DWORD    0x1"),
            std::string::npos);
  EXPECT_NE(Query("HKU\\.DEFAULT\\Keyboard Layout\\Preload", "1").find("REG_SZ    00000411"),
            std::string::npos);
  EXPECT_NE(Query("HKCR\\TovalinVBSFile\\Shell\\Open\\Command").find("WScript.exe"),
            std::string::npos);
  EXPECT_NE(Query("HKCR\\Excel.Sheet.8", "BrowserFlags").find("REG_DWORD    0x8"),
            std::string::npos);
  EXPECT_NE(Query("HKCR\\Word.Document.8", "BrowserFlags").find("REG_DWORD    0x8"),
            std::string::npos);
  EXPECT_NE(Query("HKCR\\Excel.Sheet.8\\shell\\ReadOnly\\Command")
                .find("\\OFFICE11\\EXCEL.EXE\" /r \"%1\""),
            std::string::npos);
  const std::string server = Query(std::string("HKCR\\CLSID\\") + kShowClsid);
  EXPECT_NE(server.find("_ZelDisabled_LocalServer32"), std::string::npos);
  EXPECT_EQ(server.find("\\LocalServer32"), std::string::npos);
  StopServer();

  // And back again, to and fro a few times.
  flips[0].from = flips[1].from = "0";
  flipAll(false);
  EXPECT_NE(
      Query("HKCR\\TovalinVBSFile.SymantecDisabled\\Shell\\Open\\Command").find("WScript.exe"),
      std::string::npos);
  EXPECT_EQ(Query("HKCR\\Excel.Sheet.8", "BrowserFlags").find("BrowserFlags"), std::string::npos);
  EXPECT_EQ(Query("HKCR\\Excel.Sheet.8\\shell\\ReadOnly").find("ReadOnly"), std::string::npos);
  EXPECT_NE(Query("HKU\\.DEFAULT\\Keyboard Layout\\Preload", "1").find("e0010411"),
            std::string::npos);
  EXPECT_NE(
      Query(std::string("HKCR\\CLSID\\") + kShowClsid + "\\LocalServer32").find("POWERPNT.EXE"),
      std::string::npos);
  StopServer();
  for (int round = 0; round < 4; ++round) flipAll(round % 2 == 0);
}

// Each action is one save per hive, put in place by one rename: killed at any of its system
// calls, it leaves every hive as it was before or after, and doing it again completes it.
// Changes and their undo, killed at every system call from taking the lock through the save and
// the history's records: each hive is whole, the state is the one before or after, and a retry
// completes what was cut off.
#if defined(__SANITIZE_ADDRESS__)
// Every program start under the sanitizers takes a second or so: the sanitized run kills at every
// fifth point (its job there is what the sanitizers see), the plain run at every one.
constexpr std::size_t kKillStride = 5;
#else
constexpr std::size_t kKillStride = 1;
#endif

TEST_F(ItemsCliWine, AnActionOrUndoKilledAnywhereLeavesWholeHivesAndARetryCompletesIt) {
  if (::access("/usr/bin/strace", X_OK) != 0) GTEST_SKIP() << "strace is not installed";
  ImportOfficeShapes();
  if (HasFatalFailure()) return;
  const std::vector<std::string> hives = {"system.reg", "user.reg", "userdef.reg"};
  std::vector<std::string> pristine;
  for (const std::string& hive : hives) pristine.push_back(ReadAll(prefix_ / hive));
  auto restore = [&] {
    for (std::size_t k = 0; k < hives.size(); ++k) std::ofstream(prefix_ / hives[k]) << pristine[k];
  };
  const std::string cli = Quote(cli_.string()) + " ";
  // LeakSanitizer cannot run under a tracer: a sanitized build would fail every traced run.
  const std::string strace =
      "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0\" strace -f ";
  const std::string where = " --prefix " + Quote(prefix_.string());
  // The points to kill a command at: taking the lock, and every system call from the first
  // temporary file on (the history's record, the save), each named by its syscall and how many
  // of that syscall the program had made, as strace counts them.
  auto killPoints = [&](const std::string& command) {
    const fs::path log = dir_ / "trace.log";
    EXPECT_EQ(Shell(strace + "-o " + Quote(log.string()) + " " + cli + command + where).exitCode,
              0);
    std::vector<std::pair<std::string, int>> calls;
    std::map<std::string, int> seen;
    std::istringstream lines(ReadAll(log));
    int renames = 0;
    bool saving = false;
    for (std::string line; std::getline(lines, line);) {
      const std::size_t name = line.find_first_not_of("0123456789 ");
      const std::size_t paren = line.find('(', name);
      if (name == std::string::npos || paren == std::string::npos) continue;
      const std::string call = line.substr(name, paren - name);
      if (call.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") != std::string::npos) {
        continue;
      }
      const int count = ++seen[call];
      saving = saving || line.find("tovalin-tmp-") != std::string::npos;
      // Only what changes the files or makes them durable can leave them torn.
      static const std::set<std::string> kWrites = {
          "flock",     "write",  "writev",   "pwrite64",  "fsync",
          "fdatasync", "rename", "renameat", "renameat2", "unlink",
          "unlinkat",  "mkdir",  "fchmod",   "fchown",    "ftruncate"};
      const bool writes =
          kWrites.contains(call) || (call == "openat" && line.find("O_CREAT") != std::string::npos);
      if ((saving || call == "flock") && writes) calls.emplace_back(call, count);
      if (call.starts_with("rename") && line.find(prefix_.string()) != std::string::npos &&
          line.find(".reg\"") != std::string::npos) {
        ++renames;
      }
    }
    EXPECT_EQ(renames, 1) << "one save of one hive";
    EXPECT_GT(calls.size(), 5u);
    return calls;
  };

  for (const auto& [item, to] :
       std::vector<std::pair<std::string, std::string>>{{"151", "0"}, {"552", "1"}, {"52", "1"}}) {
    SCOPED_TRACE(item + " " + to);
    restore();
    const std::string from = Cli({"get", item}).out;
    // An undo goes the same way for every item: one is enough.
    for (const bool undo :
         item == "52" ? std::vector<bool>{false, true} : std::vector<bool>{false}) {
      SCOPED_TRACE(undo ? "undo" : "set");
      const std::string command = undo ? std::string("undo") : "set " + item + " " + to;
      const std::string before = undo ? to + "\n" : from;
      const std::string after = undo ? from : to + "\n";
      if (undo) {
        ASSERT_EQ(Cli({"set", item, to}).exitCode, 0);
      }
      const std::vector<std::pair<std::string, int>> points = killPoints(command);
      for (std::size_t point = 0; point < points.size(); point += kKillStride) {
        const auto& [call, count] = points[point];
        SCOPED_TRACE(call + " #" + std::to_string(count));
        restore();
        if (undo) {
          ASSERT_EQ(Cli({"set", item, to}).exitCode, 0);
        }
        Shell(strace + "-o /dev/null -e inject=" + call +
              ":signal=SIGKILL:when=" + std::to_string(count) + " " + cli + command + where);
        const Result state = Cli({"get", item});
        EXPECT_EQ(state.exitCode, 0);
        EXPECT_TRUE(state.out == before || state.out == after) << state.out;
        if (state.out != after) {
          const Result retry = Shell(cli + command + where);
          EXPECT_EQ(retry.exitCode, 0) << retry.out;
          EXPECT_EQ(Cli({"get", item}).out, after);
        }
        for (const fs::directory_entry& entry : fs::directory_iterator(prefix_)) {
          EXPECT_EQ(entry.path().filename().string().find("tovalin-tmp"), std::string::npos);
        }
      }
    }
  }
}

TEST_F(ItemsCliWine, ProcessesFindsARunningWineProgramAndAChangeWaitsForIt) {
  Shell("cd " + Quote((prefix_ / "drive_c").string()) + " && " + Env() +
        "wine cmd /c ping -n 60 127.0.0.1 >/dev/null 2>&1 &");
  std::string found;
  ASSERT_TRUE(QueryUntil([&] { return !(found = Cli({"processes", "ping.exe"}).out).empty(); }));
  std::istringstream lines(found);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    EXPECT_EQ(line.find_first_not_of("0123456789"), std::string::npos) << line;
    ++count;
  }
  EXPECT_EQ(count, 1);
  // A running Excel would stop a repair; ping does not.
  EXPECT_EQ(Cli({"repair", "202"}).exitCode, 0);

  // A change waits for the prefix's Wine, up to the time given.
  const Result refused = Cli({"set", "52", "1", "--wait=1"}, true);
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.out.find("終了しない"), std::string::npos) << refused.out;
  StopServer();
  // Wine changes the registry and runs on a little: the change made after waiting keeps both.
  Shell("cd " + Quote((prefix_ / "drive_c").string()) + " && " + Env() +
        "wine cmd /c \"reg add HKCU\\Software\\TovalinWait /v By /d wine /f & ping -n 3 "
        "127.0.0.1\" >/dev/null 2>&1 &");
  ASSERT_TRUE(QueryUntil([&] { return !Cli({"processes", "ping.exe"}).out.empty(); }));
  const Result waited = Cli({"set", "52", "1", "--wait"});
  EXPECT_EQ(waited.exitCode, 0);
  EXPECT_EQ(waited.out, "1\n");
  EXPECT_NE(Query("HKCU\\Software\\TovalinWait", "By").find("wine"), std::string::npos);
  EXPECT_NE(Query("HKU\\.DEFAULT\\Keyboard Layout\\Preload", "1").find("00000411"),
            std::string::npos);
}

}  // namespace
}  // namespace tovalin

#endif
