// What only the native backend does: the registry view 32-bit Office sees, text data kept as
// given, the API's name buffers, and the conversions of files, version resources, icons and
// processes at the Win32 boundary; and the manifests of the programs built for Windows.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "support/PeReader.h"
#include "support/Sha256.h"
#include "support/Text.h"
#include "support/VersionBlock.h"
#include "support/platform/windows/Win32.h"
#include "support/platform/windows/WindowsPlatform.h"
#include "tests/World.h"
#include "tests/test_pe_fixtures.h"

namespace tovalin {
namespace {

std::unique_ptr<test::World> NativeWorld() {
  for (const test::WorldParam& world : test::AllWorlds()) {
    if (world.name == "Windows") return world.make();
  }
  return nullptr;
}

class WindowsRegistryView : public testing::Test {
 protected:
  void SetUp() override {
    world_ = NativeWorld();
    ASSERT_NE(world_, nullptr);
  }
  IRegistry& registry() { return world_->platform().Registry(); }

  // Looks in the 64-bit view, which the backend itself never opens.
  static bool In64BitView(HKEY root, const wchar_t* path) {
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
      return false;
    }
    ::RegCloseKey(key);
    return true;
  }

  std::unique_ptr<test::World> world_;
};

TEST_F(WindowsRegistryView, MachineKeysLiveWhere32BitProgramsPutThem) {
  const auto lm = RootKey::LocalMachine;
  world_->SetString(lm, "SOFTWARE\\TovalinView", "Where", "32");
  EXPECT_TRUE(In64BitView(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node\\TovalinView"));
  EXPECT_FALSE(In64BitView(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TovalinView"));

  // A twin in the 64-bit view is neither seen nor deleted.
  HKEY twin = nullptr;
  ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TovalinView", 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &twin, nullptr),
            ERROR_SUCCESS);
  ::RegCloseKey(twin);
  RegHandle key = 0;
  ASSERT_EQ(registry().OpenKey(registry().Root(lm), "SOFTWARE\\TovalinView", win::kKeyRead, key),
            win::kSuccess);
  std::uint32_t type = 0;
  EXPECT_EQ(registry().QueryValue(key, "Where", type, nullptr), win::kSuccess);
  registry().CloseKey(key);
  EXPECT_EQ(registry().DeleteKey(registry().Root(lm), "SOFTWARE\\TovalinView"), win::kSuccess);
  EXPECT_FALSE(In64BitView(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node\\TovalinView"));
  EXPECT_TRUE(In64BitView(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TovalinView"));
  ::RegDeleteKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\TovalinView", KEY_WOW64_64KEY, 0);
}

// The system's own reg.exe decides what the 32-bit view is.
TEST_F(WindowsRegistryView, SeesWhatRegAddsForThe32BitView) {
  const auto reg = [](const std::wstring& arguments) {
    std::wstring commandLine = L"reg.exe " + arguments + L" /f";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                          nullptr, nullptr, &startup, &info)) {
      return false;
    }
    ::WaitForSingleObject(info.hProcess, 60000);
    DWORD code = 1;
    ::GetExitCodeProcess(info.hProcess, &code);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
    return code == 0;
  };
  const std::wstring key = L"HKLM\\SOFTWARE\\TovalinRegView";
  ASSERT_TRUE(reg(L"add " + key + L"\\Office32 /v Bits /d 32 /reg:32"));
  ASSERT_TRUE(reg(L"add " + key + L"\\Office64 /v Bits /d 64 /reg:64"));

  RegHandle found = 0;
  const RegHandle lm = registry().Root(RootKey::LocalMachine);
  EXPECT_EQ(registry().OpenKey(lm, "SOFTWARE\\TovalinRegView\\Office32", win::kKeyRead, found),
            win::kSuccess);
  registry().CloseKey(found);
  EXPECT_EQ(registry().OpenKey(lm, "SOFTWARE\\TovalinRegView\\Office64", win::kKeyRead, found),
            win::kFileNotFound);

  reg(L"delete " + key + L" /reg:32");
  reg(L"delete " + key + L" /reg:64");
}

TEST_F(WindowsRegistryView, ClassesAreListedWhereTheyAreLookedUp) {
  world_->CreateKey(RootKey::ClassesRoot, "TovalinListedClass\\CLSID");
  RegHandle root = 0;
  ASSERT_EQ(registry().OpenKey(registry().Root(RootKey::ClassesRoot), "", win::kKeyRead, root),
            win::kSuccess);
  bool listed = false;
  std::string name;
  for (std::uint32_t i = 0; registry().EnumKey(root, i, 260, name) == win::kSuccess; ++i) {
    listed = listed || name == "TovalinListedClass";
  }
  EXPECT_TRUE(listed);
  RegHandle clsid = 0;
  EXPECT_EQ(registry().OpenKey(root, "TovalinListedClass\\CLSID", win::kKeyRead, clsid),
            win::kSuccess);
  registry().CloseKey(clsid);
  registry().CloseKey(root);
}

// Named after the key the kernel opened, as regedit names it: the 32-bit branches, the link keys
// followed, the user's hive as HKEY_CURRENT_USER; a missing key on from the nearest one there.
TEST_F(WindowsRegistryView, NativeNamesAreTheKeysTheKernelOpens) {
  world_->CreateKey(RootKey::LocalMachine, "SOFTWARE\\TovalinNative\\Sub");
  world_->CreateKey(RootKey::CurrentUser, "Software\\TovalinNative");
  world_->CreateKey(RootKey::ClassesRoot, "TovalinNative.Doc");
  const std::string wow = "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\";
  const struct {
    RootKey root;
    const char* path;
    std::string name;
  } cases[] = {
      {RootKey::LocalMachine, "software\\tovalinnative\\sub", wow + "TovalinNative\\Sub"},
      {RootKey::LocalMachine, "Software\\TovalinNative\\Missing\\More",
       wow + "TovalinNative\\Missing\\More"},
      {RootKey::LocalMachine, "Software\\TovalinMissing", wow + "TovalinMissing"},
      // Wine links the 32-bit branch's keys shared by both views to the 64-bit ones.
      {RootKey::LocalMachine, "Software\\Microsoft\\Clients",
       "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Clients"},
      {RootKey::LocalMachine, "Software\\Classes\\CLSID",
       "HKEY_LOCAL_MACHINE\\Software\\Classes\\Wow6432Node\\CLSID"},
      {RootKey::ClassesRoot, "TovalinNative.Doc",
       "HKEY_LOCAL_MACHINE\\Software\\Classes\\Wow6432Node\\TovalinNative.Doc"},
      {RootKey::CurrentUser, "Software\\TovalinNative",
       "HKEY_CURRENT_USER\\Software\\TovalinNative"},
      {RootKey::Users, ".Default\\Software", "HKEY_USERS\\.Default\\Software"},
  };
  for (const auto& c : cases) {
    // The kernel keeps each name's case as the key was made: Wine's and Windows' differ.
    EXPECT_EQ(AsciiLowerCase(registry().NativeKeyName(c.root, c.path)), AsciiLowerCase(c.name))
        << c.path;
  }
}

TEST_F(WindowsRegistryView, DataIsStoredExactlyAsGiven) {
  const std::vector<std::vector<std::uint8_t>> samples = {
      {'a', 0, 'b', 0},  // text without its NUL unit
      {'a', 0, 'b'},     // odd length
      {},                // nothing at all
      {'x', 0, 0, 0, 'y', 0, 0, 0, 0, 0},
  };
  RegHandle key = 0;
  ASSERT_EQ(registry().CreateKey(registry().Root(RootKey::CurrentUser), "Software\\TovalinData",
                                 win::kKeyAllAccess, key),
            win::kSuccess);
  for (std::uint32_t type : {win::kRegSz, win::kRegExpandSz, win::kRegMultiSz, win::kRegBinary}) {
    for (const auto& data : samples) {
      ASSERT_EQ(registry().SetValue(key, "v", type, data), win::kSuccess);
      std::uint32_t readType = 0;
      std::vector<std::uint8_t> read = {1, 2, 3};
      ASSERT_EQ(registry().QueryValue(key, "v", readType, &read), win::kSuccess);
      EXPECT_EQ(readType, type);
      EXPECT_EQ(read, data) << "type " << type << ", " << data.size() << " bytes";
    }
  }
  registry().CloseKey(key);
}

TEST_F(WindowsRegistryView, NameBuffersCountUtf16UnitsWithTheirTerminator) {
  const std::string longValue(300, 'v');
  const std::string keyName = std::string(199, 'k') + "鍵";  // 200 units
  world_->SetDword(RootKey::CurrentUser, "Software\\TovalinNames\\" + keyName, longValue, 1);
  RegHandle key = 0;
  ASSERT_EQ(registry().OpenKey(registry().Root(RootKey::CurrentUser), "Software\\TovalinNames",
                               win::kKeyRead, key),
            win::kSuccess);
  std::string name;
  EXPECT_EQ(registry().EnumKey(key, 0, 200, name), win::kMoreData);
  EXPECT_EQ(registry().EnumKey(key, 0, 201, name), win::kSuccess);
  EXPECT_EQ(name, keyName);
  EXPECT_EQ(registry().EnumKey(key, 1, 260, name), win::kNoMoreItems);
  RegHandle sub = 0;
  ASSERT_EQ(registry().OpenKey(key, keyName, win::kKeyRead, sub), win::kSuccess);
  EXPECT_EQ(registry().EnumValue(sub, 0, 260, name), win::kMoreData);
  EXPECT_EQ(registry().EnumValue(sub, 0, 301, name), win::kSuccess);
  EXPECT_EQ(name, longValue);
  registry().CloseKey(sub);
  // A key that still has subkeys stays, and an empty path never names the parent.
  EXPECT_EQ(registry().DeleteKey(key, ""), win::kAccessDenied);
  registry().CloseKey(key);
  EXPECT_EQ(registry().DeleteKey(registry().Root(RootKey::CurrentUser), "Software\\TovalinNames"),
            win::kAccessDenied);
}

// --- files, environment, version resources, icons, processes ---

class WindowsMachine : public testing::Test {
 protected:
  void SetUp() override {
    world_ = NativeWorld();
    ASSERT_NE(world_, nullptr);
    root_ = world_->Root();
  }
  Platform& platform() { return world_->platform(); }

  std::unique_ptr<test::World> world_;
  std::string root_;
};

TEST_F(WindowsMachine, FindMatchesTheNamesThemselves) {
  const std::string folder = root_ + "\\ツールバー";
  world_->AddFile(folder + "\\Excel11.xlb", {1, 2, 3});
  world_->AddFile(folder + "\\book.xlbak");  // its 8.3 alias ends in .XLB
  world_->AddFolder(folder + "\\sub.xlb");
  std::vector<FindEntry> found = platform().Files().FindFiles(folder + "\\*.xlb");
  std::sort(found.begin(), found.end(),
            [](const FindEntry& a, const FindEntry& b) { return a.name < b.name; });
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(found[0].name, "Excel11.xlb");
  EXPECT_EQ(found[1].name, "sub.xlb");
  EXPECT_TRUE(found[1].attributes & win::kFileAttributeDirectory);
  for (const FindEntry& entry : platform().Files().FindFiles(folder + "\\*")) {
    EXPECT_NE(entry.name, ".");
    EXPECT_NE(entry.name, "..");
  }
  EXPECT_EQ(platform().Files().ReadFile(folder + "\\EXCEL11.XLB"),
            (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(platform().Files().ReadFile(folder + "\\sub.xlb"), std::nullopt);
  EXPECT_EQ(platform().Files().ReadFile(folder + "\\none.xlb"), std::nullopt);
}

TEST_F(WindowsMachine, EnvironmentTellsEmptyFromUnsetAndKeepsLongValues) {
  const std::string longValue(1000, 'L');
  world_->SetEnv("TOVALIN_LONG", longValue);
  world_->SetEnv("TOVALIN_EMPTY", "");
  world_->SetEnv("TOVALIN_JA", "山田");
  EXPECT_EQ(platform().Environment().GetVariable("tovalin_long"), longValue);
  EXPECT_EQ(platform().Environment().GetVariable("TOVALIN_EMPTY"), "");
  EXPECT_EQ(platform().Environment().GetVariable("TOVALIN_JA"), "山田");
  EXPECT_EQ(platform().Environment().GetVariable("TOVALIN_NEVER_SET"), std::nullopt);
}

TEST_F(WindowsMachine, VersionQueriesAgreeWithTheBlockWalker) {
  const std::string exe = test::FixturePath("ja.exe");
  if (!test::ReadHostFile(exe)) GTEST_SKIP() << test::kNoFixtures;
  IVersionResources& versions = platform().Versions();
  const std::vector<std::uint8_t> block = versions.GetFileVersionInfo(exe);
  ASSERT_FALSE(block.empty());
  const std::string table = "\\StringFileInfo\\041103A4\\";
  for (const std::string& query :
       {std::string("\\VarFileInfo\\Translation"), table + "CompanyName", table + "ProductName",
        table + "Comments", table + "LegalTrademarks", table + "productnameen", table + "Missing",
        std::string("\\StringFileInfo\\04090000\\CompanyName")}) {
    std::vector<std::uint8_t> native;
    std::vector<std::uint8_t> walked;
    const bool nativeFound = versions.QueryValue(block, query, native);
    EXPECT_EQ(nativeFound, QueryVersionBlock(block, query, walked)) << query;
    if (nativeFound) {
      EXPECT_EQ(native, walked) << query;
    }
  }
  std::vector<std::uint8_t> company;
  ASSERT_TRUE(versions.QueryValue(block, table + "CompanyName", company));
  EXPECT_EQ(Utf16ToUtf8(Utf16FromBytes(company.data(), company.size())), "株式会社テスト");
  EXPECT_TRUE(versions.GetFileVersionInfo(test::FixturePath("plain.exe")).empty());
  std::vector<std::uint8_t> ignored;
  EXPECT_FALSE(versions.QueryValue({1, 2, 3}, "\\VarFileInfo\\Translation", ignored));
}

TEST_F(WindowsMachine, IconsBecomeIcoFilesWithTheirPixels) {
  const std::string exe = test::FixturePath("ja.exe");
  if (!test::ReadHostFile(exe)) GTEST_SKIP() << test::kNoFixtures;
  IIcons& icons = platform().Icons();
  // The second group holds a 32x32 image of one colour (B 0, G 128, R 255, opaque).
  const IconHandle icon = icons.ExtractIcon(exe, 1);
  ASSERT_NE(icon, 0u);
  const std::vector<std::uint8_t> ico = icons.IconData(icon);
  icons.DestroyIcon(icon);
  ASSERT_EQ(ico.size(), 6u + 16u + 40u + 32u * 32u * 4u + 32u * 4u);
  EXPECT_EQ(std::vector<std::uint8_t>(ico.begin(), ico.begin() + 6),
            (std::vector<std::uint8_t>{0, 0, 1, 0, 1, 0}));
  EXPECT_EQ(ico[6], 32);
  EXPECT_EQ(ico[7], 32);
  const std::size_t pixels = 22 + 40;
  for (std::size_t i = 0; i < 32 * 32; ++i) {
    const std::uint8_t* p = &ico[pixels + 4 * i];
    ASSERT_EQ(std::vector<std::uint8_t>(p, p + 4), (std::vector<std::uint8_t>{0, 128, 255, 255}))
        << "pixel " << i;
  }
  EXPECT_EQ(icons.ExtractIcon(exe, 2), 0u);
  world_->AddFile(root_ + "\\text.txt", {'h', 'i'});
  EXPECT_EQ(icons.ExtractIcon(root_ + "\\text.txt", 0), 0u);
  EXPECT_TRUE(icons.IconData(0).empty());
}

TEST_F(WindowsMachine, ProcessesAndTokenAnswerLikeTheApi) {
  IProcesses& processes = platform().Processes();
  EXPECT_EQ(processes.PlatformId(), win::kPlatformWin32Nt);
  const std::uint32_t self = ::GetCurrentProcessId();

  std::vector<ProcessEntry> entries;
  ASSERT_TRUE(processes.Snapshot(entries));
  const auto me = std::find_if(entries.begin(), entries.end(),
                               [&](const ProcessEntry& e) { return e.pid == self; });
  ASSERT_NE(me, entries.end());
  EXPECT_TRUE(EqualsNoCase(me->exeFile, "tovalin_tests.exe")) << me->exeFile;

  std::vector<std::uint32_t> ids;
  std::size_t needed = 0;
  long error = -1;
  ASSERT_TRUE(processes.EnumProcesses(ids, 4096, needed, error));
  EXPECT_EQ(error, 0);
  EXPECT_EQ(needed % 4, 0u);
  EXPECT_NE(std::find(ids.begin(), ids.begin() + needed / 4, self), ids.begin() + needed / 4);
  ASSERT_TRUE(processes.EnumProcesses(ids, 1, needed, error));
  EXPECT_EQ(needed, 4u);  // a full buffer, as Windows reports it

  const ProcessHandle handle =
      processes.OpenProcess(win::kProcessQueryInformation | win::kProcessVmRead, self);
  ASSERT_NE(handle, 0u);
  wchar_t own[MAX_PATH];
  const DWORD units = ::GetModuleFileNameW(nullptr, own, MAX_PATH);
  EXPECT_TRUE(EqualsNoCase(processes.GetModuleFileName(handle),
                           Utf16ToUtf8(std::u16string(reinterpret_cast<char16_t*>(own), units))));
  std::uint32_t code = 0;
  EXPECT_TRUE(processes.GetExitCode(handle, code));
  EXPECT_EQ(code, win::kStillActive);
  processes.CloseProcess(handle);
  EXPECT_EQ(processes.OpenProcess(win::kProcessQueryInformation, 0xFFFFFFF0u), 0u);

  const TokenHandle token = processes.OpenProcessToken(0x28);
  ASSERT_NE(token, 0u);
  EXPECT_TRUE(processes.LookupPrivilege("SeDebugPrivilege"));
  EXPECT_FALSE(processes.LookupPrivilege("SeNoSuchPrivilege"));
  EXPECT_EQ(processes.AdjustPrivilege(token, "SeNoSuchPrivilege", true), 1313);
  const long enabled = processes.AdjustPrivilege(token, "SeDebugPrivilege", true);
  EXPECT_TRUE(enabled == win::kSuccess || enabled == win::kNotAllAssigned) << enabled;
  EXPECT_EQ(processes.AdjustPrivilege(token, "SeDebugPrivilege", false), enabled);
  processes.CloseToken(token);
  EXPECT_EQ(processes.AdjustPrivilege(0, "SeDebugPrivilege", true), win::kInvalidHandle);
}

// Wine registers the "runas" verb of programs like "open", so the elevated start runs here as on
// Windows after the prompt: tovalin-cli.exe makes a plan's changes and its exit code comes back.
TEST_F(WindowsMachine, ElevatedStartRunsTovalinCliOnAPlan) {
  EXPECT_TRUE(platform().Processes().Elevated());  // Wine's token is always an administrator's
  std::string cli = "Z:" TOVALIN_BINARY_DIR "/app/cli/tovalin-cli.exe";
  std::replace(cli.begin(), cli.end(), '/', '\\');
  ASSERT_NE(platform().Files().GetFileAttributes(cli), win::kInvalidFileAttributes) << cli;
  world_->DeleteTree(RootKey::CurrentUser, "Software\\Tovalin-test\\Runas");
  const std::string plan =
      R"({"registry":[{"root":"HKEY_CURRENT_USER","path":"Software\\Tovalin-test\\Runas",)"
      R"("existedBefore":false,"existsAfter":true,"values":[{"name":"V","before":null,)"
      R"("after":{"type":4,"data":"07000000"}}]}],"files":[]})";
  const std::string planFile = root_ + "\\plan.json";
  world_->AddFile(planFile, std::vector<std::uint8_t>(plan.begin(), plan.end()));
  const std::string parameters = "apply \"" + planFile + "\" --sha256 " + Sha256Hex(plan) +
                                 " --result \"" + root_ + "\\result.json\"";
  std::uint32_t exitCode = 99;
  // The wait's callback may not come at all: a quick program ends before the first look.
  ASSERT_EQ(platform().Processes().RunElevated(
                cli, parameters, [] {}, exitCode),
            win::kSuccess);
  EXPECT_EQ(exitCode, 0u);
  HKEY key = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Tovalin-test\\Runas", 0, KEY_READ, &key),
            ERROR_SUCCESS);
  DWORD value = 0;
  DWORD size = sizeof(value);
  EXPECT_EQ(::RegQueryValueExW(key, L"V", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
            ERROR_SUCCESS);
  ::RegCloseKey(key);
  EXPECT_EQ(value, 7u);
  world_->DeleteTree(RootKey::CurrentUser, "Software\\Tovalin-test\\Runas");
}

// The programs we ship, read back as the loader reads them: exactly one manifest, id 1, which
// keeps the rights of whoever starts the program, declares Windows 10 and 11 and the DPI
// awareness Qt 6 sets for itself.
TEST(ShippedPrograms, CarryOneManifestForUacWindows10AndQtsDpiAwareness) {
  std::vector<std::string> programs;
#ifdef TOVALIN_EXE
  programs.push_back(TOVALIN_EXE);
#endif
#ifdef TOVALIN_CLI_EXE
  programs.push_back(TOVALIN_CLI_EXE);
#endif
  if (programs.empty()) GTEST_SKIP() << "neither program is part of this build";
  for (const std::string& program : programs) {
    SCOPED_TRACE(program);
    const auto file = test::ReadHostFile(test::BuiltFilePath(program));
    ASSERT_TRUE(file);
    const std::vector<PeResource> manifests = PeResourcesOfType(*file, kRtManifest);
    ASSERT_EQ(manifests.size(), 1u);
    EXPECT_FALSE(manifests[0].named);
    EXPECT_EQ(manifests[0].id, 1u);
    const std::string text(manifests[0].data.begin(), manifests[0].data.end());
    for (const char* part : {"<requestedExecutionLevel level=\"asInvoker\"",
                             "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
                             ">PerMonitorV2</dpiAwareness>", ">true/pm</dpiAware>"}) {
      EXPECT_NE(text.find(part), std::string::npos) << part;
    }
  }
}

}  // namespace
}  // namespace tovalin
