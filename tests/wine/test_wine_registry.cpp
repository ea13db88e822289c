// The prefix's registry on temporary prefixes made of small hive files: the view a 32-bit
// program has, where changes land in the files, and that saving loses nothing.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "support/ZelRegistry.h"
#include "support/platform/wine/WinePlatform.h"
#include "support/platform/wine/WinePrefix.h"
#include "support/platform/wine/WineRegistry.h"
#include "support/regfile/RegFileInput.h"
#include "support/regfile/WineRegFile.h"
#include "tests/wine/WineTestSupport.h"

namespace tovalin {
namespace {

using winetest::ReadText;
using winetest::TemplatePrefix;
using winetest::WriteText;

constexpr std::uint64_t kFixedTime = 0x01DB000000000000ull;
constexpr const char* kSid = "S-1-5-21-0-0-0-1000";

std::unique_ptr<Platform> Open(const TemplatePrefix& prefix, bool writable = true) {
  WineOpenOptions options;
  options.writable = writable;
  options.fileTimeClock = [] { return kFixedTime; };
  return OpenWinePrefix(prefix.path(), options);
}

std::string Read(Platform& platform, RootKey root, const std::string& path,
                 const std::string& name) {
  TZelRegistry reg(platform.Registry());
  reg.SetRoot(root);
  if (!reg.OpenKeyRead("\\" + path)) return "<no key>";
  if (!reg.HasValue(name)) return "<no value>";
  return reg.ReadText(name);
}

bool HasKey(Platform& platform, RootKey root, const std::string& path) {
  TZelRegistry reg(platform.Registry());
  reg.SetRoot(root);
  return reg.HasKey("\\" + path);
}

void Write(Platform& platform, RootKey root, const std::string& path, const std::string& name,
           const std::string& text) {
  TZelRegistry reg(platform.Registry());
  reg.SetRoot(root);
  ASSERT_TRUE(reg.OpenKeyWrite("\\" + path, true));
  reg.WriteText(name, text);
}

// The file's text without the block of one key ("[path] …" up to the next blank line).
std::string WithoutKey(const std::string& text, const std::string& header) {
  const std::size_t start = text.find("\n[" + header + "]");
  if (start == std::string::npos) return text;
  std::size_t end = text.find("\n\n", start + 1);
  end = end == std::string::npos ? text.size() : end + 1;
  return text.substr(0, start) + text.substr(end);
}

// --- opening ---

TEST(WinePrefixOpen, MissingOrBrokenPrefixesAreClearErrors) {
  EXPECT_THROW(OpenWinePrefix("/nonexistent/tovalin-prefix"), WinePrefixError);
  EXPECT_THROW(OpenWinePrefix(""), WinePrefixError);

  winetest::TempDir empty;
  try {
    OpenWinePrefix(empty.path());
    FAIL() << "a folder without hive files opened";
  } catch (const WinePrefixError& error) {
    EXPECT_NE(std::string(error.what()).find("system.reg"), std::string::npos) << error.what();
  }

  TemplatePrefix prefix;
  EXPECT_THROW(OpenWinePrefix(prefix.File("system.reg")), WinePrefixError);
  WriteText(prefix.File("user.reg"), "WINE REGISTRY Version 2\n[Unclosed\n");
  EXPECT_THROW(OpenWinePrefix(prefix.path()), RegFileError);

  // What is wrong with a hive file is said as it is; only one that is not there at all means
  // Wine has not made the prefix yet. A FIFO must not block the reader.
  const struct {
    int (*make)(const char* userReg);
    const char* says;
  } files[] = {
      {[](const char* f) { return mkfifo(f, 0644); },
       "は通常のファイルではありません（名前付きパイプ）"},
      {[](const char* f) { return symlink("/dev/zero", f); },
       "は通常のファイルではありません（デバイス）"},
      {[](const char* f) { return symlink("nowhere", f); }, "はシンボリックリンクの先がありません"},
      {[](const char* f) { return symlink(f, f); }, "はシンボリックリンクが循環しています"},
      {[](const char* f) { return mkdir(f, 0755); }, "はディレクトリです"},
      {[](const char* f) { return close(creat(f, 0644)) | truncate(f, (off_t{2} << 30) + 1); },
       "は大きすぎます"},
      {[](const char*) { return 0; }, "user.reg がありません。一度 Wine のプログラムを起動して"},
  };
  for (const auto& file : files) {
    TemplatePrefix broken;
    const std::string userReg = broken.File("user.reg");
    ASSERT_EQ(unlink(userReg.c_str()), 0);
    ASSERT_EQ(file.make(userReg.c_str()), 0);
    try {
      OpenWinePrefix(broken.path());
      ADD_FAILURE() << "opened with " << file.says;
    } catch (const WinePrefixError& error) {
      EXPECT_NE(std::string(error.what()).find(file.says), std::string::npos) << error.what();
    }
  }
  // Tests run as root, who may read anything.
  EXPECT_EQ(FileProblemMessage("/p/user.reg", EACCES),
            "/p/user.reg を読む権限がありません（Permission denied）。");
}

TEST(WinePrefixOpen, DefaultPrefixFollowsWinePrefixVariable) {
  const char* saved = std::getenv("WINEPREFIX");
  const std::string restore = saved != nullptr ? saved : "";
  setenv("WINEPREFIX", "/some/prefix", 1);
  EXPECT_EQ(DefaultWinePrefix(), "/some/prefix");
  unsetenv("WINEPREFIX");
  setenv("HOME", std::getenv("HOME") != nullptr ? std::getenv("HOME") : "/root", 1);
  EXPECT_EQ(DefaultWinePrefix(), std::string(std::getenv("HOME")) + "/.wine");
  if (saved != nullptr) setenv("WINEPREFIX", restore.c_str(), 1);
}

// --- the view a 32-bit program has ---

TEST(WineRegistryView, SixtyFourBitPrefixShowsThe32BitBranches) {
  TemplatePrefix prefix(true);
  auto platform = Open(prefix, false);
  Platform& p = *platform;
  EXPECT_EQ(Read(p, RootKey::LocalMachine, "Software\\Wine\\Native", "Where"), "32-bit");
  EXPECT_EQ(Read(p, RootKey::LocalMachine, "SOFTWARE\\Wow6432Node\\Wine\\Native", "Where"),
            "32-bit");
  // Classes: the 32-bit branch only, and a shared key through its link.
  EXPECT_EQ(Read(p, RootKey::ClassesRoot, ".xls", ""), "Excel.Sheet.8");
  EXPECT_FALSE(HasKey(p, RootKey::ClassesRoot, ".txt"));
  EXPECT_EQ(Read(p, RootKey::ClassesRoot, "Interface\\{00000000-0000-0000-C000-000000000046}", ""),
            "IUnknown");
  EXPECT_EQ(Read(p, RootKey::LocalMachine, "Software\\Classes\\.xls", ""), "Excel.Sheet.8");
  EXPECT_EQ(Read(p, RootKey::LocalMachine,
                 "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", "ProgramData"),
            "C:\\ProgramData");
  // Outside Software nothing is redirected.
  EXPECT_EQ(Read(p, RootKey::LocalMachine,
                 "System\\CurrentControlSet\\Control\\ComputerName\\ComputerName", "ComputerName"),
            "TESTBOX");

  // Enumerating the redirected key lists the 32-bit branch.
  TZelRegistry reg(p.Registry());
  reg.SetRoot(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenKeyRead("\\Software"));
  const std::vector<std::string> names = reg.ListSubKeys();
  EXPECT_EQ(names, (std::vector<std::string>{"Classes", "Microsoft", "Wine"}));
}

TEST(WineRegistryView, UsersHoldTheDefaultAndTheCurrentUser) {
  TemplatePrefix prefix;
  auto platform = Open(prefix, false);
  Platform& p = *platform;
  EXPECT_EQ(Read(p, RootKey::Users, ".DEFAULT\\Keyboard Layout\\Preload", "1"), "00000411");
  EXPECT_EQ(Read(p, RootKey::Users, std::string(kSid) + "\\Environment", "TEMP"),
            "C:\\users\\tester\\Temp");
  EXPECT_EQ(Read(p, RootKey::CurrentUser, "Environment", "TEMP"), "C:\\users\\tester\\Temp");
  TZelRegistry reg(p.Registry());
  reg.SetRoot(RootKey::Users);
  ASSERT_TRUE(reg.OpenKeyRead(""));
  EXPECT_EQ(reg.ListSubKeys(), (std::vector<std::string>{".Default", kSid}));
}

TEST(WineRegistryView, ThirtyTwoBitPrefixHasNoRedirection) {
  TemplatePrefix prefix(false);
  auto platform = Open(prefix, false);
  EXPECT_EQ(Read(*platform, RootKey::LocalMachine, "Software\\Wine\\Native", "Where"), "64-bit");
  EXPECT_EQ(Read(*platform, RootKey::ClassesRoot, ".txt", ""), "txtfile");
}

// As regedit run in the prefix names them: through the 32-bit branches and the link keys, a
// missing key on from the nearest one there, the user's hive as HKEY_CURRENT_USER.
TEST(WineRegistryView, NativeNamesResolveBranchesAndLinks) {
  const std::string lm = "HKEY_LOCAL_MACHINE\\Software\\";
  const std::string wow = lm + "Wow6432Node\\";
  const std::string classes = lm + "Classes\\";
  const struct {
    bool win64;
    RootKey root;
    std::string path;
    std::string name;
  } cases[] = {
      {true, RootKey::LocalMachine, "software\\wine\\native", wow + "Wine\\Native"},
      {true, RootKey::LocalMachine, "Software\\Wine\\Missing\\Deeper",
       wow + "Wine\\Missing\\Deeper"},
      {true, RootKey::LocalMachine, "Software\\Tovalin", wow + "Tovalin"},
      {true, RootKey::LocalMachine, "Software", lm + "Wow6432Node"},
      {true, RootKey::LocalMachine, "Software\\Wow6432Node\\Wine", wow + "Wine"},
      {true, RootKey::LocalMachine, "Software\\Classes\\.xls", classes + "Wow6432Node\\.xls"},
      {true, RootKey::ClassesRoot, ".xls", classes + "Wow6432Node\\.xls"},
      {true, RootKey::ClassesRoot, "Tovalin.New\\shell",
       classes + "Wow6432Node\\Tovalin.New\\shell"},
      {true, RootKey::ClassesRoot, "Interface\\{00000000-0000-0000-C000-000000000046}",
       classes + "Interface\\{00000000-0000-0000-C000-000000000046}"},
      {true, RootKey::LocalMachine,
       "Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + std::string(kSid),
       lm + "Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + kSid},
      {true, RootKey::LocalMachine, "System\\CurrentControlSet\\Control",
       "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control"},
      {true, RootKey::CurrentUser, "Software\\Tovalin", "HKEY_CURRENT_USER\\Software\\Tovalin"},
      {true, RootKey::Users, std::string(kSid) + "\\Environment", "HKEY_CURRENT_USER\\Environment"},
      {true, RootKey::Users, ".DEFAULT\\Keyboard Layout\\New",
       "HKEY_USERS\\.Default\\Keyboard Layout\\New"},
      {true, RootKey::Users, "", "HKEY_USERS"},
      {false, RootKey::LocalMachine, "Software\\Wine\\Native", lm + "Wine\\Native"},
      {false, RootKey::ClassesRoot, ".txt", classes + ".txt"},
  };
  TemplatePrefix win64(true);
  TemplatePrefix win32(false);
  auto p64 = Open(win64, false);
  auto p32 = Open(win32, false);
  for (const auto& c : cases) {
    IRegistry& registry = (c.win64 ? p64 : p32)->Registry();
    EXPECT_EQ(registry.NativeKeyName(c.root, c.path), c.name) << c.path;
  }
}

// --- changes and the files ---

TEST(WineRegistrySave, ChangesLandWhereWineKeepsThem) {
  TemplatePrefix prefix;
  {
    auto platform = Open(prefix);
    Write(*platform, RootKey::LocalMachine, "Software\\Tovalin", "Name", "山田 太郎");
    Write(*platform, RootKey::ClassesRoot, "Tovalin.Test\\shell", "", "open");
    Write(*platform, RootKey::CurrentUser, "Software\\Tovalin", "Company", "株式会社");
    Write(*platform, RootKey::Users, ".DEFAULT\\Keyboard Layout\\Preload", "2", "00000409");
    TZelRegistry reg(platform->Registry());
    reg.SetRoot(RootKey::CurrentUser);
    ASSERT_TRUE(reg.OpenKeyWrite("\\Software\\Tovalin", false));
    reg.WriteDword("Count", 7);
    reg.WriteBytes("Raw", {0x54, 0x00, 0x61, 0x00, 0x00, 0x00});
  }
  const std::string system = ReadText(prefix.File("system.reg"));
  EXPECT_NE(system.find("[Software\\\\Wow6432Node\\\\Tovalin] "), std::string::npos);
  EXPECT_NE(system.find("\"Name\"=\"\\x5c71\\x7530 \\x592a\\x90ce\""), std::string::npos);
  EXPECT_NE(system.find("[Software\\\\Classes\\\\Wow6432Node\\\\Tovalin.Test\\\\shell] "),
            std::string::npos);
  const std::string user = ReadText(prefix.File("user.reg"));
  EXPECT_NE(user.find("[Software\\\\Tovalin] "), std::string::npos);
  EXPECT_NE(user.find("\"Count\"=dword:00000007"), std::string::npos);
  EXPECT_NE(user.find("\"Raw\"=hex:54,00,61,00,00,00"), std::string::npos);
  EXPECT_NE(ReadText(prefix.File("userdef.reg")).find("\"2\"=\"00000409\""), std::string::npos);

  // A fresh look at the files finds everything again.
  auto again = Open(prefix, false);
  EXPECT_EQ(Read(*again, RootKey::LocalMachine, "Software\\Tovalin", "Name"), "山田 太郎");
  EXPECT_EQ(Read(*again, RootKey::ClassesRoot, "Tovalin.Test\\shell", ""), "open");
  EXPECT_EQ(Read(*again, RootKey::CurrentUser, "Software\\Tovalin", "Company"), "株式会社");
  EXPECT_EQ(Read(*again, RootKey::CurrentUser, "Software\\Tovalin", "Raw"), "Ta");
  EXPECT_EQ(Read(*again, RootKey::Users, std::string(kSid) + "\\Software\\Tovalin", "Company"),
            "株式会社");
}

TEST(WineRegistrySave, UntouchedKeysStayByteForByte) {
  TemplatePrefix prefix;
  const std::string before = ReadText(prefix.File("system.reg"));
  auto platform = Open(prefix);
  Write(*platform, RootKey::LocalMachine, "Software\\Wine\\Native", "Where", "changed");
  const std::string after = ReadText(prefix.File("system.reg"));
  const std::string key = "Software\\\\Wow6432Node\\\\Wine\\\\Native";
  EXPECT_EQ(WithoutKey(after, key), WithoutKey(before, key));
  // The changed key carries the time of the change, as wineserver writes it.
  const std::uint64_t unixTime = (kFixedTime - 116444736000000000ull) / 10000000ull;
  EXPECT_NE(after.find("[" + key + "] " + std::to_string(unixTime) +
                       "\n#time=1db000000000000\n\"Where\"=\"changed\"\n"),
            std::string::npos)
      << after;

  // A second change elsewhere leaves the first key as it was written.
  const std::string first = ReadText(prefix.File("system.reg"));
  Write(*platform, RootKey::LocalMachine, "Software\\Other", "A", "1");
  const std::string second = ReadText(prefix.File("system.reg"));
  const std::string other = "Software\\\\Wow6432Node\\\\Other";
  EXPECT_EQ(WithoutKey(second, other), first);
}

TEST(WineRegistrySave, RenameAndEraseWholeTrees) {
  TemplatePrefix prefix;
  {
    auto platform = Open(prefix);
    Write(*platform, RootKey::CurrentUser, "Software\\Old\\Sub\\Deep", "v", "deep");
    Write(*platform, RootKey::CurrentUser, "Software\\Old", "top", "top");
    TZelRegistry reg(platform->Registry());
    reg.SetRoot(RootKey::CurrentUser);
    reg.RenameKey("\\Software\\Old", "\\Software\\New");
    Write(*platform, RootKey::CurrentUser, "Software\\Gone\\A\\B", "x", "y");
    TZelRegistry eraser(platform->Registry());
    eraser.SetRoot(RootKey::CurrentUser);
    EXPECT_TRUE(eraser.EraseKey("\\Software\\Gone"));
  }
  auto again = Open(prefix, false);
  EXPECT_FALSE(HasKey(*again, RootKey::CurrentUser, "Software\\Old"));
  EXPECT_FALSE(HasKey(*again, RootKey::CurrentUser, "Software\\Gone"));
  EXPECT_EQ(Read(*again, RootKey::CurrentUser, "Software\\New", "top"), "top");
  EXPECT_EQ(Read(*again, RootKey::CurrentUser, "Software\\New\\Sub\\Deep", "v"), "deep");
  EXPECT_EQ(ReadText(prefix.File("user.reg")).find("Gone"), std::string::npos);
}

TEST(WineRegistrySave, ReadOnlyOpenRefusesEveryChange) {
  TemplatePrefix prefix;
  const std::string before = ReadText(prefix.File("user.reg"));
  auto platform = Open(prefix, false);
  TZelRegistry reg(platform->Registry());
  reg.SetRoot(RootKey::CurrentUser);
  try {
    reg.MakeKey("\\Software\\New");
    FAIL() << "a read-only prefix took a new key";
  } catch (const ERegistryException& error) {
    EXPECT_EQ(error.what(), WineReadOnlyMessage());
  }
  ASSERT_TRUE(reg.OpenKeyWrite("\\Environment", false));
  EXPECT_THROW(reg.WriteText("TEMP", "x"), ERegistryException);
  EXPECT_THROW(reg.EraseValue("TMP"), ERegistryException);
  EXPECT_EQ(reg.ReadText("TEMP"), "C:\\users\\tester\\Temp");
  EXPECT_EQ(ReadText(prefix.File("user.reg")), before);

  // The backend itself answers with a code and explains it until the next change.
  IRegistry& registry = platform->Registry();
  const RegHandle user = registry.Root(RootKey::CurrentUser);
  RegHandle key = 0;
  EXPECT_EQ(registry.CreateKey(user, "Software\\New", win::kKeyAllAccess, key), win::kAccessDenied);
  EXPECT_EQ(registry.LastErrorDetail(), WineReadOnlyMessage());
  ASSERT_EQ(registry.OpenKey(user, "Environment", win::kKeyAllAccess, key), win::kSuccess);
  EXPECT_EQ(registry.DeleteValue(key, "no such value"), win::kFileNotFound);
  EXPECT_EQ(registry.LastErrorDetail(), "");
  registry.CloseKey(key);
}

// Another program (Wine itself, once its server has ended) wrote the file after it was read.
TEST(WineRegistrySave, ChangesOnDiskAreReadBeforeWriting) {
  TemplatePrefix prefix;
  auto platform = Open(prefix);
  TZelRegistry held(platform->Registry());
  held.SetRoot(RootKey::CurrentUser);
  ASSERT_TRUE(held.OpenKeyWrite("\\Environment", false));

  std::string text = ReadText(prefix.File("user.reg"));
  text += "\n[Software\\\\External] 1700000001\n#time=1da0b5d0e3c8a01\n\"From\"=\"wine\"\n";
  WriteText(prefix.File("user.reg") + ".new", text);
  ASSERT_EQ(rename((prefix.File("user.reg") + ".new").c_str(), prefix.File("user.reg").c_str()), 0);

  // The handle opened before still leads to its key.
  held.WriteText("TEMP", "D:\\temp");
  const std::string saved = ReadText(prefix.File("user.reg"));
  EXPECT_NE(saved.find("\"From\"=\"wine\""), std::string::npos);
  EXPECT_NE(saved.find("\"TEMP\"=\"D:\\\\temp\""), std::string::npos);
  EXPECT_EQ(Read(*platform, RootKey::CurrentUser, "Software\\External", "From"), "wine");

  // A key that went from the file meanwhile is a deleted key for its open handle.
  WriteText(prefix.File("user.reg") + ".new", WithoutKey(saved, "Environment"));
  ASSERT_EQ(rename((prefix.File("user.reg") + ".new").c_str(), prefix.File("user.reg").c_str()), 0);
  RegHandle key = 0;
  IRegistry& registry = platform->Registry();
  ASSERT_EQ(registry.OpenKey(registry.Root(RootKey::CurrentUser), "Software\\External",
                             win::kKeyAllAccess, key),
            win::kSuccess);
  WriteText(prefix.File("user.reg") + ".new", WithoutKey(saved, "Software\\\\External"));
  ASSERT_EQ(rename((prefix.File("user.reg") + ".new").c_str(), prefix.File("user.reg").c_str()), 0);
  EXPECT_EQ(registry.SetValue(key, "From", win::kRegSz, {0, 0}), win::kKeyDeleted);
  registry.CloseKey(key);
}

TEST(WineRegistrySave, FailedSaveIsUndoneAndReported) {
  TemplatePrefix prefix;
  const std::string machineBefore = ReadText(prefix.File("system.reg"));
  const std::string userBefore = ReadText(prefix.File("user.reg"));
  auto platform = Open(prefix);
  TZelRegistry reg(platform->Registry());
  reg.SetRoot(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenKeyWrite("\\Software\\Wine\\Native", false));

  // A file size limit makes the write of the larger new file fail half-way, as a full disk
  // would; the action's other hive, written completely, must not be put in place either.
  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  struct sigaction ignore {
  }, old{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGXFSZ, &ignore, &old);
  struct rlimit limit = saved;
  limit.rlim_cur = std::max(machineBefore.size(), userBefore.size()) - 1;
  bool raised = false;
  const std::string lost(200, 'L');
  try {
    TZelChanges action(platform->Registry());
    reg.WriteText("Where", lost);
    Write(*platform, RootKey::CurrentUser, "Environment", "TEMP", lost);
    setrlimit(RLIMIT_FSIZE, &limit);
    action.Commit();
  } catch (const ERegistryException& error) {
    raised = true;
    EXPECT_NE(std::string(error.what()).find("変更は取り消されました"), std::string::npos);
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  sigaction(SIGXFSZ, &old, nullptr);

  EXPECT_TRUE(raised);
  EXPECT_EQ(ReadText(prefix.File("system.reg")), machineBefore);
  EXPECT_EQ(ReadText(prefix.File("user.reg")), userBefore);
  EXPECT_EQ(reg.ReadText("Where"), "32-bit");  // the handle still works, on the old data
  EXPECT_NE(Read(*platform, RootKey::CurrentUser, "Environment", "TEMP"), lost);
  std::string listing;
  winetest::Run({"ls", "-a", prefix.path()}, {"PATH=/usr/bin:/bin"}, &listing);
  EXPECT_EQ(listing.find("tovalin-tmp"), std::string::npos) << listing;

  // Once space is back the same change goes through.
  reg.WriteText("Where", "kept");
  EXPECT_NE(ReadText(prefix.File("system.reg")).find("\"Where\"=\"kept\""), std::string::npos);
}

TEST(WineRegistrySave, AnActionWaitsForAnotherHolderOfThePrefix) {
  TemplatePrefix prefix;
  // What a save killed before its rename left; it goes once the prefix is ours.
  WriteText(prefix.File("user.reg") + ".tovalin-tmp-AbC123", "half");
  const std::string before = ReadText(prefix.File("system.reg"));
  WineOpenOptions options;
  options.writable = true;
  options.lockTimeout = std::chrono::milliseconds(300);
  const int other = open(WineRegistry::LockPath(prefix.path()).c_str(), O_RDONLY | O_CREAT, 0644);
  ASSERT_EQ(flock(other, LOCK_EX), 0);
  auto platform = OpenWinePrefix(prefix.path(), options);
  EXPECT_TRUE(std::ifstream(prefix.File("user.reg") + ".tovalin-tmp-AbC123").good())
      << "kept while another Tovalin may be saving";

  try {
    Write(*platform, RootKey::LocalMachine, "Software\\Wine", "Late", "x");
    ADD_FAILURE() << "changed a prefix another Tovalin holds";
  } catch (const ERegistryException& error) {
    EXPECT_NE(std::string(error.what()).find("別の Tovalin"), std::string::npos) << error.what();
  }
  EXPECT_EQ(platform->Registry().BeginChanges(), win::kTimeout);
  EXPECT_NE(platform->Registry().LastErrorDetail().find("別の Tovalin"), std::string::npos);
  EXPECT_EQ(ReadText(prefix.File("system.reg")), before);

  // Released while we wait: the change goes through on what the other one saved.
  std::string theirs = before + "\n[Software\\\\Theirs] 1700000001\n\"By\"=\"other\"\n";
  std::thread holder([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    WriteText(prefix.File("system.reg") + ".new", theirs);
    rename((prefix.File("system.reg") + ".new").c_str(), prefix.File("system.reg").c_str());
    close(other);
  });
  Write(*platform, RootKey::LocalMachine, "Software\\Wine", "Late", "x");
  holder.join();
  const std::string after = ReadText(prefix.File("system.reg"));
  EXPECT_NE(after.find("\"By\"=\"other\""), std::string::npos);
  EXPECT_NE(after.find("\"Late\"=\"x\""), std::string::npos);
  EXPECT_FALSE(std::ifstream(prefix.File("user.reg") + ".tovalin-tmp-AbC123").good());
}

// Only a plain file serves as the lock: a FIFO would block every change for ever, and a link
// would have the lock made wherever it points (by root, anywhere). Each is named and nothing
// changes.
TEST(WineRegistrySave, ALockFileThatIsNoPlainFileIsRefusedByName) {
  TemplatePrefix prefix;
  const std::string lock = WineRegistry::LockPath(prefix.path());
  const std::string target = prefix.path() + "/made-through-the-link";
  const std::string before = ReadText(prefix.File("system.reg"));
  const struct {
    const char* kind;
    std::function<int()> make;
  } cases[] = {
      {"名前付きパイプ", [&] { return mkfifo(lock.c_str(), 0644); }},
      {"シンボリックリンク", [&] { return symlink(target.c_str(), lock.c_str()); }},
      {"フォルダー", [&] { return mkdir(lock.c_str(), 0755); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    ASSERT_EQ(c.make(), 0);
    auto platform = Open(prefix);
    try {
      Write(*platform, RootKey::LocalMachine, "Software\\Wine", "Locked", "x");
      ADD_FAILURE() << "changed the prefix without its lock";
    } catch (const ERegistryException& error) {
      const std::string message = error.what();
      EXPECT_NE(message.find(lock), std::string::npos) << message;
      EXPECT_NE(message.find(c.kind), std::string::npos) << message;
    }
    EXPECT_EQ(ReadText(prefix.File("system.reg")), before);
    EXPECT_NE(access(target.c_str(), F_OK), 0);
    ASSERT_EQ(remove(lock.c_str()), 0);
  }
}

// A prefix given to its user with the group left as root: the user may not hand files to root's
// group, but may replace the hives by rename as Wine does. The save keeps what it may.
TEST(WineRegistrySave, AUserSavesAPrefixWhoseGroupIsNotTheirs) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to hand the prefix to another user";
  constexpr uid_t kUser = 65534;
  TemplatePrefix prefix;
  ASSERT_EQ(winetest::Run({"chown", "-R", std::to_string(kUser) + ":0", prefix.path()},
                          {"PATH=/usr/bin:/bin"}),
            0);
  chmod(prefix.File("system.reg").c_str(), 0664);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    int code = 2;
    if (setgroups(0, nullptr) == 0 && setresgid(kUser, kUser, kUser) == 0 &&
        setresuid(kUser, kUser, kUser) == 0) {
      try {
        auto platform = Open(prefix);
        TZelRegistry reg(platform->Registry());
        reg.SetRoot(RootKey::LocalMachine);
        if (reg.OpenKeyWrite("\\Software\\Wine", false)) {
          reg.WriteText("ByUser", "saved");
          code = 0;
        }
      } catch (...) {
        code = 3;
      }
    }
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_NE(ReadText(prefix.File("system.reg")).find("\"ByUser\"=\"saved\""), std::string::npos);
  struct stat st {};
  ASSERT_EQ(stat(prefix.File("system.reg").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, kUser);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
}

// --- the prefix's wineserver ---

std::string ServerDirName(const std::string& prefix) {
  struct stat st {};
  EXPECT_EQ(stat(prefix.c_str(), &st), 0);
  char name[64];
  std::snprintf(name, sizeof(name), "server-%llx-%llx", static_cast<unsigned long long>(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  return name;
}

TEST(WineServerProbe, AListeningSocketOrAHeldLockMeansRunning) {
  TemplatePrefix prefix;
  winetest::TempDir sockets("tovalin-sock");
  // Debian's convention: the prefix names the socket folder below /tmp.
  WriteText(prefix.File("wineserver"), sockets.path().substr(5) + "\n");
  const std::string serverDir = sockets.path() + "/" + ServerDirName(prefix.path());
  winetest::MakeDirs(serverDir);
  WineServerProbe probe(prefix.path());
  EXPECT_FALSE(probe.Running());

  // A stale socket that nobody listens on does not count.
  const int stale = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = serverDir + "/socket";
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(bind(stale, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  close(stale);
  EXPECT_FALSE(probe.Running());
  unlink(socketPath.c_str());

  const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(listen(listening, 4), 0);
  EXPECT_TRUE(probe.Running());
  close(listening);
  unlink(socketPath.c_str());
  EXPECT_FALSE(probe.Running());

  // The lock a server holds: only another process's lock is visible, so a child holds it.
  const std::string lockPath = serverDir + "/lock";
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  if (child == 0) {
    const int fd = open(lockPath.c_str(), O_CREAT | O_WRONLY, 0600);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    fcntl(fd, F_SETLK, &lock);
    (void)!write(ready[1], "x", 1);
    pause();
    _exit(0);
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  EXPECT_TRUE(probe.Running());
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_FALSE(probe.Running());
  close(ready[0]);
  close(ready[1]);
}

TEST(WineServerProbe, ChangesAreRefusedWhileTheServerRuns) {
  TemplatePrefix prefix;
  winetest::TempDir sockets("tovalin-sock");
  WriteText(prefix.File("wineserver"), sockets.path().substr(5) + "\n");
  const std::string serverDir = sockets.path() + "/" + ServerDirName(prefix.path());
  winetest::MakeDirs(serverDir);
  const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = serverDir + "/socket";
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ASSERT_EQ(listen(listening, 4), 0);

  const std::string before = ReadText(prefix.File("user.reg"));
  auto platform = Open(prefix);
  TZelRegistry reg(platform->Registry());
  reg.SetRoot(RootKey::CurrentUser);
  try {
    reg.MakeKey("\\Software\\Refused\\Deeper");
    FAIL() << "a change went through while the server ran";
  } catch (const ERegistryException& error) {
    EXPECT_EQ(error.what(), WineServerRunningMessage());
  }
  ASSERT_TRUE(reg.OpenKeyWrite("\\Environment", false));
  EXPECT_THROW(reg.WriteText("TEMP", "x"), ERegistryException);
  RegHandle key = 0;
  IRegistry& registry = platform->Registry();
  EXPECT_EQ(registry.CreateKey(registry.Root(RootKey::CurrentUser), "Software\\Refused",
                               win::kKeyAllAccess, key),
            win::kBusy);
  EXPECT_EQ(registry.LastErrorDetail(), WineServerRunningMessage());
  EXPECT_EQ(reg.ReadText("TEMP"), "C:\\users\\tester\\Temp");
  EXPECT_FALSE(HasKey(*platform, RootKey::CurrentUser, "Software\\Refused"));
  EXPECT_EQ(ReadText(prefix.File("user.reg")), before);

  close(listening);
  unlink(socketPath.c_str());
  reg.WriteText("TEMP", "C:\\after");
  EXPECT_NE(ReadText(prefix.File("user.reg")).find("C:\\\\after"), std::string::npos);
}

}  // namespace
}  // namespace tovalin
