// Against Wine itself: a prefix made by wineboot, read and changed by us and by Wine's own
// tools, a Wine program found and ended, and saves killed half-way. Skipped without Wine.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "office/ZelMso.h"
#include "support/LittleEndian.h"
#include "support/Text.h"
#include "support/ZelRegistry.h"
#include "support/action/PlanningRegistry.h"
#include "support/action/UndoRegFile.h"
#include "support/platform/wine/WinePlatform.h"
#include "support/platform/wine/WinePrefix.h"
#include "support/platform/wine/WineServer.h"
#include "support/regfile/RegeditFile.h"
#include "support/regfile/WineRegFile.h"
#include "support/registry/TreeRegistry.h"
#include "tests/RegistryDump.h"
#include "tests/wine/WineTestSupport.h"

namespace tovalin {
namespace {

using winetest::ReadText;

constexpr std::uint64_t kFixedTime = 0x01DB111122223333ull;

class RealWine : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!winetest::WineAvailable()) return;
    dir_ = new winetest::TempDir("tovalin-wineboot");
    prefix_ = dir_->path() + "/prefix";
    std::string output;
    const int status = winetest::Run({"wineboot", "-i"}, winetest::WineEnv(prefix_), &output);
    StopServer();
    if (status != 0 || access((prefix_ + "/system.reg").c_str(), F_OK) != 0) {
      bootError_ = "wineboot failed: " + output;
    }
  }
  static void TearDownTestSuite() {
    if (dir_ == nullptr) return;
    StopServer();
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!winetest::WineAvailable()) GTEST_SKIP() << "Wine is not installed";
    ASSERT_TRUE(bootError_.empty()) << bootError_;
  }
  void TearDown() override {
    if (dir_ != nullptr) StopServer();
  }

  // Stops the prefix's wineserver and waits until it has saved and ended.
  static void StopServer() {
    winetest::Run({"wineserver", "-k"}, winetest::WineEnv(prefix_));
    winetest::Run({"wineserver", "-w"}, winetest::WineEnv(prefix_));
  }
  static int Wine(const std::vector<std::string>& args, std::string* output = nullptr) {
    std::vector<std::string> argv = {"wine"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string text;
    const int status = winetest::Run(argv, winetest::WineEnv(prefix_), &text);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    if (output != nullptr) *output = text;
    return status;
  }
  static std::unique_ptr<Platform> Open(bool writable) {
    WineOpenOptions options;
    options.writable = writable;
    options.fileTimeClock = [] { return kFixedTime; };
    return OpenWinePrefix(prefix_, options);
  }
  static std::string Hive(const std::string& name) { return ReadText(prefix_ + "/" + name); }

  static winetest::TempDir* dir_;
  static std::string prefix_;
  static std::string bootError_;
};

winetest::TempDir* RealWine::dir_ = nullptr;
std::string RealWine::prefix_;
std::string RealWine::bootError_;

std::string ReadValue(Platform& platform, RootKey root, const std::string& path,
                      const std::string& name) {
  TZelRegistry reg(platform.Registry());
  reg.SetRoot(root);
  if (!reg.OpenKeyRead("\\" + path)) return "<no key>";
  if (!reg.HasValue(name)) return "<no value>";
  return reg.ReadText(name);
}

TEST_F(RealWine, HivesWrittenBackUnchangedByteForByte) {
  for (const char* name : {"system.reg", "user.reg", "userdef.reg"}) {
    const std::string text = Hive(name);
    ASSERT_GT(text.size(), 1000u) << name;
    EXPECT_TRUE(FormatWineRegistry(ParseWineRegistry(text, name)) == text) << name;
  }
  // A change to one hive leaves the others' files alone.
  const std::string system = Hive("system.reg");
  const std::string userdef = Hive("userdef.reg");
  auto platform = Open(true);
  TZelRegistry reg(platform->Registry());
  reg.SetRoot(RootKey::CurrentUser);
  ASSERT_TRUE(reg.OpenKeyWrite("\\Software\\TovalinUntouched", true));
  reg.WriteDword("x", 1);
  EXPECT_TRUE(Hive("system.reg") == system);
  EXPECT_TRUE(Hive("userdef.reg") == userdef);
}

TEST_F(RealWine, WineReadsWhatWeWrite) {
  {
    auto platform = Open(true);
    TZelRegistry reg(platform->Registry());
    reg.SetRoot(RootKey::CurrentUser);
    ASSERT_TRUE(reg.OpenKeyWrite("\\Software\\Tovalin", true));
    reg.WriteText("Name", "山田 太郎");
    reg.WriteDword("Count", 42);
    reg.WriteBytes("Company", {0x41, 0x00, 0x00, 0x00});
    reg.WriteText("Company", "株式会社テスト");  // stays binary: UTF-16LE text
    reg.CloseCurrent();
    ASSERT_TRUE(reg.OpenKeyWrite("\\Software\\TovalinOld\\Sub\\Deep", true));
    reg.WriteText("v", "deep");
    reg.CloseCurrent();
    reg.RenameKey("\\Software\\TovalinOld", "\\Software\\TovalinNew");
    ASSERT_TRUE(reg.OpenKeyWrite("\\Software\\TovalinGone\\A\\B", true));
    reg.WriteText("x", "y");
    reg.CloseCurrent();
    EXPECT_TRUE(reg.EraseKey("\\Software\\TovalinGone"));

    TZelRegistry machine(platform->Registry());
    machine.SetRoot(RootKey::LocalMachine);
    ASSERT_TRUE(machine.OpenKeyWrite("\\SOFTWARE\\Tovalin32", true));
    machine.WriteText("Where", "32");
    TZelRegistry classes(platform->Registry());
    classes.SetRoot(RootKey::ClassesRoot);
    ASSERT_TRUE(classes.OpenKeyWrite("\\Tovalin.Document\\shell\\open\\command", true));
    classes.WriteText("", "tovalin.exe \"%1\"");
  }

  std::string out;
  ASSERT_EQ(Wine({"reg", "query", "HKCU\\Software\\Tovalin"}, &out), 0) << out;
  EXPECT_NE(out.find("Count    REG_DWORD    0x2a"), std::string::npos) << out;
  EXPECT_NE(out.find("Company    REG_BINARY    2A680F5F1A4F3E79C630B930C8300000"),
            std::string::npos)
      << out;
  // Japanese text comes back through an export, which Wine writes in UTF-16.
  ASSERT_EQ(
      Wine({"reg", "export", "HKCU\\Software\\Tovalin", "C:\\tovalin-export.reg", "/y"}, &out), 0)
      << out;
  TreeRegistry exported;
  LoadRegeditFile(prefix_ + "/drive_c/tovalin-export.reg", exported);
  EXPECT_EQ(exported.GetString(RootKey::CurrentUser, "Software\\Tovalin", "Name"), "山田 太郎");

  EXPECT_EQ(Wine({"reg", "query", "HKCU\\Software\\TovalinNew\\Sub\\Deep", "/v", "v"}, &out), 0)
      << out;
  EXPECT_NE(Wine({"reg", "query", "HKCU\\Software\\TovalinOld"}, &out), 0);
  EXPECT_NE(Wine({"reg", "query", "HKCU\\Software\\TovalinGone"}, &out), 0);

  // What we wrote through HKEY_LOCAL_MACHINE and HKEY_CLASSES_ROOT is in the 32-bit view only.
  ASSERT_EQ(Wine({"reg", "query", "HKLM\\Software\\Tovalin32", "/reg:32"}, &out), 0) << out;
  EXPECT_NE(out.find("Where    REG_SZ    32"), std::string::npos) << out;
  EXPECT_NE(Wine({"reg", "query", "HKLM\\Software\\Tovalin32", "/reg:64"}, &out), 0);
  ASSERT_EQ(Wine({"reg", "query", "HKCR\\Tovalin.Document\\shell\\open\\command", "/reg:32"}, &out),
            0);
  EXPECT_NE(out.find("tovalin.exe \"%1\""), std::string::npos) << out;
}

TEST_F(RealWine, WeReadWhatWineWrites) {
  std::string out;
  ASSERT_EQ(Wine({"reg", "add", "HKLM\\Software\\FromWine", "/v", "v", "/d", "32", "/reg:32", "/f"},
                 &out),
            0)
      << out;
  ASSERT_EQ(Wine({"reg", "add", "HKLM\\Software\\FromWine64", "/v", "v", "/d", "64", "/f"}, &out),
            0);
  ASSERT_EQ(Wine({"reg", "add", "HKCR\\.tovalin", "/ve", "/d", "Tovalin.Document", "/reg:32", "/f"},
                 &out),
            0);
  ASSERT_EQ(
      Wine({"reg", "add", "HKCU\\Software\\FromWine", "/v", "Name", "/d", "日本語の名前", "/f"},
           &out),
      0);
  ASSERT_EQ(Wine({"reg", "add", "HKCU\\Software\\FromWine", "/v", "Flags", "/t", "REG_DWORD", "/d",
                  "8", "/f"},
                 &out),
            0);
  StopServer();

  auto platform = Open(false);
  Platform& p = *platform;
  EXPECT_EQ(ReadValue(p, RootKey::LocalMachine, "SOFTWARE\\FromWine", "v"), "32");
  EXPECT_EQ(ReadValue(p, RootKey::LocalMachine, "SOFTWARE\\FromWine64", "v"), "<no key>");
  auto& wine = dynamic_cast<WinePrefixPlatform&>(p);
  EXPECT_NE(wine.WineRegistryStore().RawFind(WineHiveId::Machine, "Software\\FromWine64"), nullptr);
  EXPECT_EQ(ReadValue(p, RootKey::ClassesRoot, ".tovalin", ""), "Tovalin.Document");
  EXPECT_EQ(ReadValue(p, RootKey::CurrentUser, "Software\\FromWine", "Name"), "日本語の名前");
  TZelRegistry reg(p.Registry());
  reg.SetRoot(RootKey::CurrentUser);
  ASSERT_TRUE(reg.OpenKeyRead("\\Software\\FromWine"));
  EXPECT_EQ(reg.ReadDword("Flags"), 8);
}

TEST_F(RealWine, EnvironmentIsWhatWineGivesAProgram) {
  std::string out;
  ASSERT_EQ(Wine({"cmd", "/c", "set"}, &out), 0) << out;
  StopServer();
  std::map<std::string, std::string> wine;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) wine[AsciiUpperCase(line.substr(0, eq))] = line.substr(eq + 1);
  }
  auto platform = Open(false);
  IEnvironment& env = platform->Environment();
  for (const char* name : {"ALLUSERSPROFILE",
                           "APPDATA",
                           "COMMONPROGRAMFILES(X86)",
                           "COMMONPROGRAMW6432",
                           "COMPUTERNAME",
                           "COMSPEC",
                           "HOMEDRIVE",
                           "HOMEPATH",
                           "LOCALAPPDATA",
                           "OS",
                           "PATH",
                           "PATHEXT",
                           "PROGRAMDATA",
                           "PROGRAMFILES(X86)",
                           "PROGRAMW6432",
                           "PUBLIC",
                           "SYSTEMDRIVE",
                           "SYSTEMROOT",
                           "TEMP",
                           "TMP",
                           "USERNAME",
                           "USERPROFILE",
                           "WINDIR"}) {
    ASSERT_TRUE(wine.count(name)) << name << " missing from:\n" << out;
    EXPECT_EQ(env.GetVariable(name).value_or("<unset>"), wine[name]) << name;
  }
  // cmd is a 64-bit program; a 32-bit one gets the (x86) folders.
  EXPECT_EQ(env.GetVariable("ProgramFiles").value_or(""), wine["PROGRAMFILES(X86)"]);
  EXPECT_EQ(env.GetVariable("CommonProgramFiles").value_or(""), wine["COMMONPROGRAMFILES(X86)"]);
}

TEST_F(RealWine, FindsAndEndsARunningProgramAndRefusesChangesMeanwhile) {
  const pid_t wine = winetest::Spawn("wine", {"wine", "cmd", "/c", "ping", "-n", "60", "127.0.0.1"},
                                     winetest::WineEnv(prefix_));
  auto platform = Open(true);
  TZelMso mso(*platform);
  TArrayDword pings;
  TArrayDword cmds;
  for (int i = 0; i < 300 && (pings.empty() || cmds.empty()); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    mso.FindRunningProcesses("PING.EXE", pings);
    mso.FindRunningProcesses("cmd.exe", cmds);
  }
  ASSERT_EQ(pings.size(), 1u);
  ASSERT_EQ(cmds.size(), 1u);

  // Its wineserver runs: a change would be overwritten, so it is refused and nothing written.
  EXPECT_TRUE(WineServerProbe(prefix_).Running());
  const std::string before = Hive("user.reg");
  TZelRegistry reg(platform->Registry());
  reg.SetRoot(RootKey::CurrentUser);
  try {
    reg.MakeKey("\\Software\\WhileRunning");
    ADD_FAILURE() << "a change went through while the prefix's server ran";
  } catch (const ERegistryException& error) {
    EXPECT_EQ(error.what(), WineServerRunningMessage());
  }
  EXPECT_EQ(Hive("user.reg"), before);

  mso.TerminateRunningProcess(pings[0]);
  mso.TerminateRunningProcess(cmds[0]);
  for (int i = 0; i < 100 && !(pings.empty() && cmds.empty()); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    mso.FindRunningProcesses("PING.EXE", pings);
    mso.FindRunningProcesses("cmd.exe", cmds);
  }
  EXPECT_TRUE(pings.empty());
  EXPECT_TRUE(cmds.empty());
  EXPECT_TRUE(winetest::WaitChild(wine, 10000));
  StopServer();
  EXPECT_FALSE(WineServerProbe(prefix_).Running());
  reg.MakeKey("\\Software\\AfterwardsFine");
  EXPECT_NE(Hive("user.reg").find("[Software\\\\AfterwardsFine]"), std::string::npos);
}

// The undo file of an action in the 32-bit branch, imported by Wine's own regedit, gives back
// what was there before: a key made is gone, a tree erased is back, values have their old types
// and data again and a value added is removed.
TEST_F(RealWine, RegeditImportsTheUndoFileAndTheStartIsBack) {
  const std::string base = "Software\\TovalinUndo";
  const auto write = [](IRegistry& registry, const std::string& path,
                        const std::vector<std::pair<std::string, RegData>>& values) {
    RegHandle key = 0;
    ASSERT_EQ(
        registry.CreateKey(registry.Root(RootKey::LocalMachine), path, win::kKeyAllAccess, key),
        win::kSuccess);
    for (const auto& [name, value] : values) {
      EXPECT_EQ(registry.SetValue(key, name, value.type, value.data), win::kSuccess) << name;
    }
    registry.CloseKey(key);
  };
  const auto text = [](std::string_view utf8, std::uint32_t type = win::kRegSz) {
    std::vector<std::uint8_t> data = Utf8ToUtf16Bytes(utf8);
    data.insert(data.end(), {0, 0});
    return RegData{type, data};
  };
  {
    auto platform = Open(true);
    IRegistry& registry = platform->Registry();
    ASSERT_EQ(registry.BeginChanges(), win::kSuccess);
    write(registry, base,
          {{"", text("既定の値")},
           {"Name", text("山田 \"太郎\" C:\\x")},
           {"Count", {win::kRegDword, Le32Bytes(7)}},
           {"Long", {win::kRegBinary, std::vector<std::uint8_t>(200, 0x5A)}}});
    write(registry, base + "\\Tree", {{"Path", text("%ProgramFiles%\\日本", win::kRegExpandSz)}});
    write(registry, base + "\\Tree\\Sub",
          {{"Leaf", text("葉")}, {"List", {win::kRegMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}}}});
    write(registry, base + "\\Tree\\Empty", {});
    ASSERT_EQ(registry.CommitChanges(), win::kSuccess);
  }
  auto platform = Open(true);
  IRegistry& registry = platform->Registry();
  std::vector<std::string> start;
  test::DumpRegistry(registry, RootKey::LocalMachine, base, start);

  PlanningRegistry planning(registry);
  {
    TZelRegistry reg(planning);
    reg.SetRoot(RootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKeyWrite("\\" + base, false));
    reg.WriteText("Name", "佐藤 花子");
    reg.WriteDword("Count", 8);
    reg.WriteText("Added", "新しい値");
    reg.WriteDword("", 1);
    reg.CloseCurrent();
    EXPECT_TRUE(reg.EraseKey("\\" + base + "\\Tree"));
    ASSERT_TRUE(reg.OpenKeyWrite("\\" + base + "\\Made\\Deeper", true));
    reg.WriteText("New", "x");
  }
  const RegChangeSet changes = planning.Changes();
  ASSERT_EQ(registry.BeginChanges(), win::kSuccess);
  ASSERT_FALSE(ApplyChanges(registry, changes));
  ASSERT_EQ(registry.CommitChanges(), win::kSuccess);
  const NativeKeyNames names = [&registry](RootKey root, std::string_view path) {
    return registry.NativeKeyName(root, path);
  };
  const std::vector<std::uint8_t> undo = UndoRegFile(changes, names, "Tovalin のテスト");
  winetest::WriteText(prefix_ + "/drive_c/元に戻す.reg", std::string(undo.begin(), undo.end()));
  std::vector<std::string> changed;
  test::DumpRegistry(registry, RootKey::LocalMachine, base, changed);
  ASSERT_NE(changed, start);
  platform.reset();

  std::string out;
  ASSERT_EQ(Wine({"regedit", "/s", "C:\\元に戻す.reg"}, &out), 0) << out;
  StopServer();
  auto after = Open(false);
  std::vector<std::string> back;
  test::DumpRegistry(after->Registry(), RootKey::LocalMachine, base, back);
  EXPECT_EQ(back, start);
  // In the 32-bit branch only, where the action made its changes.
  const auto& wine = dynamic_cast<WinePrefixPlatform&>(*after).WineRegistryStore();
  EXPECT_NE(wine.RawFind(WineHiveId::Machine, "Software\\Wow6432Node\\TovalinUndo\\Tree\\Sub"),
            nullptr);
  EXPECT_EQ(wine.RawFind(WineHiveId::Machine, base), nullptr);
}

// A save killed at any moment leaves the old file or the new one, whole.
TEST_F(RealWine, SavesKilledAtRandomLeaveAWholeFile) {
  {
    auto platform = Open(true);
    TZelRegistry reg(platform->Registry());
    reg.SetRoot(RootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKeyWrite("\\Software\\TovalinCrash", true));
    reg.WriteText("V", "start");
  }
  const std::string start = Hive("system.reg");
  // The two contents a save can produce, made in a copy of the hives.
  winetest::TempDir scratch;
  for (const char* name : {"system.reg", "user.reg", "userdef.reg"}) {
    winetest::WriteText(scratch.path() + "/" + name, Hive(name));
  }
  std::string contentA, contentB;
  // How long opening and saving take here sets the range of the kill times.
  const auto t0 = std::chrono::steady_clock::now();
  auto t1 = t0;
  auto t2 = t0;
  {
    WineOpenOptions options;
    options.writable = true;
    options.fileTimeClock = [] { return kFixedTime; };
    auto copy = OpenWinePrefix(scratch.path(), options);
    TZelRegistry reg(copy->Registry());
    reg.SetRoot(RootKey::LocalMachine);
    ASSERT_TRUE(reg.OpenKeyWrite("\\Software\\TovalinCrash", false));
    t1 = std::chrono::steady_clock::now();
    reg.WriteText("V", "A");
    contentA = ReadText(scratch.path() + "/system.reg");
    reg.WriteText("V", "B");
    contentB = ReadText(scratch.path() + "/system.reg");
    t2 = std::chrono::steady_clock::now();
  }
  ASSERT_NE(contentA, contentB);
  const auto ms = [](auto d) {
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
  };
  const int saveMs = std::max(1, ms(t2 - t1) / 2);

  // The kill comes at a random moment of the saving loop, counted from its first save, so that
  // a slow start on a busy machine does not move every kill before the first save.
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> delay(0, 3 * saveMs);
  std::set<int> seen;
  for (int round = 0; round < 25; ++round) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(ready[0]);
      try {
        auto platform = Open(true);
        TZelRegistry reg(platform->Registry());
        reg.SetRoot(RootKey::LocalMachine);
        if (!reg.OpenKeyWrite("\\Software\\TovalinCrash", false)) _exit(2);
        reg.WriteText("V", "B");
        if (write(ready[1], "r", 1) != 1) _exit(4);
        for (int i = 0;; ++i) reg.WriteText("V", i % 2 == 0 ? "A" : "B");
      } catch (...) {
        _exit(3);
      }
    }
    close(ready[1]);
    char signal = 0;
    const bool started = read(ready[0], &signal, 1) == 1;
    close(ready[0]);
    if (!started) {
      int status = 0;
      waitpid(child, &status, 0);
      FAIL() << "the saving process ended before its first save: " << status;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(delay(random)));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the saving process ended on its own: " << status;
    const std::string now = Hive("system.reg");
    const int which = now == start ? 0 : now == contentA ? 1 : now == contentB ? 2 : -1;
    ASSERT_NE(which, -1) << "round " << round << ": system.reg is neither old nor new ("
                         << now.size() << " bytes)";
    seen.insert(which);
    EXPECT_NO_THROW(ParseWineRegistry(now, "system.reg"));
  }
  // Kills at random moments caught it with both values at least once.
  EXPECT_TRUE(seen.count(1) && seen.count(2));

  // Wine itself still reads the file.
  std::string out;
  ASSERT_EQ(Wine({"reg", "query", "HKLM\\Software\\TovalinCrash", "/reg:32"}, &out), 0) << out;
  EXPECT_NE(out.find("V    REG_SZ"), std::string::npos);
}

}  // namespace
}  // namespace tovalin
