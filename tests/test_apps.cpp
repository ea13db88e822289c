// Application discovery: which registered Office applications fill the slots, which executable
// copies they list, and how the main product is chosen with and without applications.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "office/ZelMso.h"
#include "support/Text.h"
#include "support/platform/memory/MemoryPlatform.h"
#include "tests/VersionBlockBuilder.h"
#include "tests/World.h"

namespace tovalin {
namespace {

constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kOffice = "SOFTWARE\\Microsoft\\Office";

// Product codes the catalogue lists: two of 11.0, one each of 10.0, 12.0 and 9.0.
constexpr const char* kCode11 = "{90110411-6000-11D3-8CFE-0150048383C9}";
constexpr const char* kCode11b = "{90120411-6000-11D3-8CFE-0150048383C9}";
constexpr const char* kCode10 = "{90110411-6000-11D3-8CFE-0050048383C9}";
constexpr const char* kCode12 = "{90120000-0016-0411-0000-0000000FF1CE}";
constexpr const char* kCode9 = "{00000411-78E1-11D2-B60F-006097C998E7}";

constexpr const char* kExcelClass = "{00024500-0000-0000-C000-000000000046}";
constexpr const char* kWordClass = "{000209FF-0000-0000-C000-000000000046}";
constexpr const char* kAccessClass = "{73A4C9C1-D68D-11D0-98BF-00A0C90DC8D9}";

// The stand-in Office executables of the sample prefix: real PE files with version resources
// (ProductVersion 11.0.5614.0 or 12.0.4518.1014) and icons.
constexpr const char* kExcel11File = "Program Files (x86)/Microsoft Office/OFFICE11/EXCEL.EXE";
constexpr const char* kExcel12File = "Program Files (x86)/Microsoft Office/OFFICE12/EXCEL.EXE";
constexpr const char* kWord11File = "Program Files (x86)/Microsoft Office/OFFICE11/WINWORD.EXE";
constexpr const char* kMiscFile =
    "windows/Installer/{90110411-6000-11D3-8CFE-0150048383C9}/misc.exe";

class AppScan : public testing::TestWithParam<test::WorldParam> {
 protected:
  void SetUp() override {
    world_ = GetParam().make();
    root_ = world_->Root();
  }

  void AddProduct(const std::string& code, const std::string& name,
                  const std::string& displayVersion) {
    const std::string key = std::string(kUninstall) + "\\" + code;
    world_->SetString(RootKey::LocalMachine, key, "DisplayName", name);
    world_->SetString(RootKey::LocalMachine, key, "DisplayVersion", displayVersion);
  }

  // An application key under an Office version, as Office setup leaves it.
  void ListApp(const std::string& version, const std::string& name) {
    world_->CreateKey(RootKey::LocalMachine, std::string(kOffice) + "\\" + version + "\\" + name);
  }

  void InstallRoot(const std::string& version, const std::string& app, const std::string& folder) {
    world_->SetString(RootKey::LocalMachine,
                      std::string(kOffice) + "\\" + version + "\\" + app + "\\InstallRoot", "Path",
                      folder);
  }

  // "<name>.Application" with its class and local server; empty texts are left out.
  void Register(const std::string& name, const std::string& classId,
                const std::string& progDescription, const std::string& classDescription,
                const std::string& command, const std::string& server = "LocalServer32") {
    const std::string progId = name + ".Application";
    world_->CreateKey(RootKey::ClassesRoot, progId);
    if (!progDescription.empty()) {
      world_->SetString(RootKey::ClassesRoot, progId, "", progDescription);
    }
    world_->SetString(RootKey::ClassesRoot, progId + "\\CLSID", "", classId);
    const std::string classKey = "CLSID\\" + classId;
    world_->CreateKey(RootKey::ClassesRoot, classKey);
    if (!classDescription.empty()) {
      world_->SetString(RootKey::ClassesRoot, classKey, "", classDescription);
    }
    if (!command.empty()) {
      world_->SetString(RootKey::ClassesRoot, classKey + "\\" + server, "", command);
    }
  }

  // A copy of a sample executable at Root()\relative; returns its full path.
  std::string AddExe(const std::string& relative, const std::string& sample) {
    const std::string path = root_ + "\\" + relative;
    world_->AddFile(path, test::SampleFile(sample));
    return path;
  }

  // Excel 11.0 registered and installed, the common ground of several tests.
  std::string SetUpExcel11(const std::string& command = "") {
    const std::string exe = AddExe("Office11\\EXCEL.EXE", kExcel11File);
    ListApp("11.0", "Excel");
    InstallRoot("11.0", "Excel", root_ + "\\Office11\\");
    Register("Excel", kExcelClass, "Microsoft Excel 2003 アプリケーション",
             "Microsoft Excel アプリケーション",
             command.empty() ? "\"" + exe + "\" /automation" : command);
    return exe;
  }

  std::unique_ptr<test::World> world_;
  std::string root_;
};

TEST_P(AppScan, RegisteredApplicationListsItsCopiesOfEveryVersion) {
  AddProduct(kCode11, "Microsoft Office Professional Edition 2003", "11.0.5614.0");
  AddProduct(kCode12, "Microsoft Office Excel 2007", "12.0.4518.1014");
  const std::string exe11 = SetUpExcel11();
  const std::string exe12 = AddExe("Office12\\EXCEL.EXE", kExcel12File);
  ListApp("12.0", "Excel");
  InstallRoot("12.0", "Excel", root_ + "\\Office12\\");

  TZelMso mso(world_->platform());
  ASSERT_TRUE(mso.Slots[2]);
  const TZelMsoInfo& excel = *mso.Slots[2];
  EXPECT_EQ(excel.AppName, "Excel");
  // The class description wins over the ProgID's; the quoted path loses its switch.
  EXPECT_EQ(excel.Title, "Microsoft Excel");
  EXPECT_TRUE(EqualsNoCase(excel.FileName, exe11)) << excel.FileName;
  EXPECT_EQ(excel.VersionInfo.GetFileVersion(), "11.0.5612.0");
  EXPECT_NE(excel.Icon.Handle(), 0u);
  ASSERT_EQ(excel.AppFiles.size(), 2u);
  EXPECT_EQ(excel.AppFiles[0].Version, "12.0.4518.1014");
  EXPECT_TRUE(EqualsNoCase(excel.AppFiles[0].FileName, exe12));
  EXPECT_EQ(excel.AppFiles[1].Version, "11.0.5612.0");
  EXPECT_TRUE(EqualsNoCase(excel.AppFiles[1].FileName, exe11));

  // The registered Excel is 11.0, so the 11.0 product is the main one.
  EXPECT_EQ(mso.OfficeVersion, "11.0");
  EXPECT_EQ(mso.ProductCode, kCode11);
  ASSERT_TRUE(mso.Slots[0]);
  EXPECT_EQ(mso.Slots[0]->AppName, "Office");
  EXPECT_EQ(mso.Slots[0]->Title, "Microsoft Office Professional Edition 2003");
  EXPECT_EQ(mso.Slots[0]->DisplayVersion, "11.0.5614.0");
  EXPECT_EQ(mso.Slots[0]->FileName, "");
  EXPECT_EQ(mso.Slots[0]->VersionInfo.GetFileVersion(), "");
}

TEST_P(AppScan, ValuesOfAnotherTypeCountAsAbsent) {
  AddProduct(kCode11, "Microsoft Office 2003", "11.0.5614.0");
  SetUpExcel11();
  struct Row {
    RootKey root;
    std::string key;
    const char* name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
  };
  const std::vector<Row> rows = {
      {RootKey::LocalMachine,
       std::string(kUninstall) + "\\" + kCode11,
       "DisplayVersion",
       win::kRegDword,
       {11, 0, 0, 0}},
      {RootKey::ClassesRoot, std::string("CLSID\\") + kExcelClass, "", win::kRegMultiSz,
       Utf8ToUtf16Bytes(std::string("Excel\0\0", 7))},
      {RootKey::LocalMachine,
       std::string(kOffice) + "\\11.0\\Excel\\InstallRoot",
       "Path",
       win::kRegDword,
       {1, 0, 0, 0}},
  };
  std::vector<std::string> warnings;
  for (const Row& row : rows) {
    world_->SetValue(row.root, row.key, row.name, row.type, row.data);
    warnings.push_back(test::WrongTypeWarning(row.root, row.key, row.name));
  }

  TZelMso mso(world_->platform());
  EXPECT_EQ(mso.Warnings, warnings);
  ASSERT_TRUE(mso.Slots[0]);
  EXPECT_EQ(mso.Slots[0]->DisplayVersion, "");
  ASSERT_TRUE(mso.Slots[2]);
  EXPECT_EQ(mso.Slots[2]->Title, "Microsoft Excel 2003");  // the ProgID's description
  EXPECT_TRUE(mso.Slots[2]->AppFiles.empty());
}

TEST_P(AppScan, SuiteIconComesFromTheCachedInstallerProgram) {
  AddProduct(kCode11, "Microsoft Office 2003", "11.0.5614.0");
  SetUpExcel11();
  world_->SetEnv("windir", root_ + "\\Windows");

  TZelMso withoutMisc(world_->platform());
  ASSERT_TRUE(withoutMisc.Slots[0]);
  EXPECT_EQ(withoutMisc.Slots[0]->Icon.Handle(), 0u);

  AddExe(std::string("Windows\\Installer\\") + kCode11 + "\\misc.exe", kMiscFile);
  TZelMso mso(world_->platform());
  ASSERT_TRUE(mso.Slots[0]);
  EXPECT_NE(mso.Slots[0]->Icon.Handle(), 0u);
}

TEST_P(AppScan, SharedInstallFolderIsListedOnce) {
  AddProduct(kCode11, "Office 2003", "11.0");
  AddProduct(kCode10, "Office XP", "10.0");
  SetUpExcel11();
  ListApp("10.0", "Excel");
  // The folder written in other capitals is still the same folder.
  InstallRoot("10.0", "Excel", AsciiUpperCase(root_) + "\\OFFICE11\\");

  TZelMso mso(world_->platform());
  ASSERT_TRUE(mso.Slots[2]);
  EXPECT_EQ(mso.Slots[2]->AppFiles.size(), 1u);
}

TEST_P(AppScan, OnlyTableNamesWithTheirOwnExecutablesFillSlots) {
  AddProduct(kCode11, "Office 2003", "11.0");
  const std::string exe = AddExe("Office11\\EXCEL.EXE", kExcel11File);
  // Capitals in the version key; the ProgID is looked up with the name as written.
  ListApp("11.0", "EXCEL");
  Register("EXCEL", kExcelClass, "Microsoft Excel アプリケーション", "", exe);
  // Word's server is some other program.
  const std::string other = AddExe("Other\\NOTWORD.EXE", kWord11File);
  ListApp("11.0", "Word");
  Register("Word", kWordClass, "Microsoft Word アプリケーション", "", other);
  // A name outside the application table is never looked up, whatever it names.
  ListApp("11.0", "Visio");
  Register("Visio", "{00021A20-0000-0000-C000-000000000046}", "Visio", "", exe);

  TZelMso mso(world_->platform());
  ASSERT_TRUE(mso.Slots[2]);
  EXPECT_EQ(mso.Slots[2]->AppName, "Excel");
  EXPECT_EQ(mso.Slots[2]->Title, "Microsoft Excel");
  EXPECT_FALSE(mso.Slots[3]);
}

TEST_P(AppScan, LaterNameForTheSameExecutableOverwritesTheSlot) {
  AddProduct(kCode11, "Office 2003", "11.0");
  SetUpExcel11();
  // "Office" sorts after "Excel" and its class also serves an EXCEL.EXE, from another folder.
  const std::string second = AddExe("Other\\excel.exe", kExcel12File);
  ListApp("11.0", "Office");
  Register("Office", "{000C1000-0000-0000-C000-000000000046}", "Office Binder アプリケーション", "",
           "\"" + second + "\"");

  TZelMso mso(world_->platform());
  ASSERT_TRUE(mso.Slots[2]);
  const TZelMsoInfo& excel = *mso.Slots[2];
  EXPECT_EQ(excel.AppName, "Excel");
  EXPECT_EQ(excel.Title, "Office Binder");
  EXPECT_TRUE(EqualsNoCase(excel.FileName, second));
  EXPECT_EQ(excel.VersionInfo.GetFileVersion(), "12.0.4518.1014");
  EXPECT_EQ(excel.AppFiles.size(), 1u);  // the install folder was not listed twice
  // Main version from the overwritten version resource: no 12.0 product, so no slot 0.
  EXPECT_EQ(mso.OfficeVersion, "12.0");
  EXPECT_FALSE(mso.Slots[0]);
  EXPECT_EQ(mso.ProductCode, "");
}

TEST_P(AppScan, ServerAndTitleFallbacks) {
  AddProduct(kCode11, "Office 2003", "11.0");
  // LocalServer32 names a missing file, so the 16-bit-era LocalServer key is asked.
  const std::string exe = AddExe("Office11\\EXCEL.EXE", kExcel11File);
  ListApp("11.0", "Excel");
  Register("Excel", kExcelClass, "", "", root_ + "\\Gone\\EXCEL.EXE");
  world_->SetString(RootKey::ClassesRoot, std::string("CLSID\\") + kExcelClass + "\\LocalServer",
                    "", exe + " /automation");
  // Access: only the suffix as description, so no title is left.
  const std::string access = AddExe("Office11\\MSACCESS.EXE", kWord11File);
  ListApp("11.0", "Access");
  Register("Access", kAccessClass, " アプリケーション", " アプリケーション", access);

  TZelMso mso(world_->platform());
  ASSERT_TRUE(mso.Slots[2]);
  EXPECT_TRUE(EqualsNoCase(mso.Slots[2]->FileName, exe));
  EXPECT_EQ(mso.Slots[2]->Title, "Excel");
  ASSERT_TRUE(mso.Slots[4]);
  EXPECT_EQ(mso.Slots[4]->Title, "Access");
}

TEST_P(AppScan, ApplicationBranchTakesTheFirstProductOfTheMainVersion) {
  // Enumerated as 11.0 (9011…), 11.0 (9012…): recorded in reverse, so 9012… comes first.
  AddProduct(kCode11, "Office 2003 Standard", "11.0.5614.0");
  AddProduct(kCode11b, "Office 2003 Professional", "11.0.6361.0");
  SetUpExcel11();

  TZelMso mso(world_->platform());
  EXPECT_EQ(mso.ProductCode, kCode11b);
  ASSERT_TRUE(mso.Slots[0]);
  EXPECT_EQ(mso.Slots[0]->Title, "Office 2003 Professional");
}

TEST_P(AppScan, CompatibilityFallbackTakesTheLastProductOfItsVersion) {
  AddProduct(kCode11, "Office 2003 Standard", "11.0.5614.0");
  AddProduct(kCode11b, "Office 2003 Professional", "11.0.6361.0");
  AddProduct(kCode12, "Office 2007", "12.0.4518.1014");
  const std::string dll = AddExe("Common\\OFFCOMPAT.DLL", kExcel11File);
  const std::string compat = "{0FCD1A37-7EA9-4D7E-BE79-8AC5F6A9B9F1}";
  world_->SetString(RootKey::ClassesRoot, "OfficeCompatible.Application\\CLSID", "", compat);
  // Only the older "InprocServer" key names the library.
  world_->SetString(RootKey::ClassesRoot, "CLSID\\" + compat + "\\InprocServer", "", dll);

  TZelMso mso(world_->platform());
  for (int i = 1; i < kAppCount; ++i) EXPECT_FALSE(mso.Slots[i]) << i;
  EXPECT_EQ(mso.OfficeVersion, "11.0");
  EXPECT_EQ(mso.ProductCode, kCode11);
  ASSERT_TRUE(mso.Slots[0]);
  EXPECT_EQ(mso.Slots[0]->Title, "Office 2003 Standard");
  EXPECT_EQ(mso.Slots[0]->DisplayVersion, "11.0.5614.0");
  EXPECT_TRUE(EqualsNoCase(mso.Slots[0]->FileName, dll));
  EXPECT_EQ(mso.Slots[0]->VersionInfo.GetFileVersion(), "11.0.5612.0");
}

TEST_P(AppScan, CompatibilityFallbackWithoutItsVersionTakesTheHighestProduct) {
  AddProduct(kCode12, "Office 2007", "12.0.4518.1014");
  AddProduct(kCode10, "Office XP", "10.0.2627.01");
  world_->SetEnv("windir", root_ + "\\Windows");
  AddExe(std::string("Windows\\Installer\\") + kCode12 + "\\misc.exe", kMiscFile);
  const std::string dll = AddExe("Common\\OFFCOMPAT.DLL", kExcel11File);
  const std::string compat = "{0FCD1A37-7EA9-4D7E-BE79-8AC5F6A9B9F1}";
  world_->SetString(RootKey::ClassesRoot, "OfficeCompatible.Application\\CLSID", "", compat);
  world_->SetString(RootKey::ClassesRoot, "CLSID\\" + compat + "\\InprocServer32", "", dll);

  TZelMso mso(world_->platform());
  EXPECT_EQ(mso.OfficeVersion, "12.0");
  EXPECT_EQ(mso.ProductCode, kCode12);
  ASSERT_TRUE(mso.Slots[0]);
  EXPECT_EQ(mso.Slots[0]->Title, "Office 2007");
  EXPECT_EQ(mso.Slots[0]->DisplayVersion, "");
  // The window shows misc.exe's version, and its seventh icon.
  EXPECT_EQ(mso.Slots[0]->VersionInfo.GetFileVersion(), "11.0.5614.0");
  EXPECT_NE(mso.Slots[0]->Icon.Handle(), 0u);
}

TEST_P(AppScan, NoApplicationAndNoCompatibilityComponentLeavesNoSuite) {
  AddProduct(kCode11, "Office 2003", "11.0");
  // An application key without any registration, and a compatibility key naming no class.
  ListApp("11.0", "Excel");
  world_->SetString(RootKey::ClassesRoot, "OfficeCompatible.Application\\CLSID", "", "");

  TZelMso mso(world_->platform());
  EXPECT_FALSE(mso.Slots[0]);
  EXPECT_FALSE(mso.Slots[2]);
  EXPECT_EQ(mso.OfficeVersion, "");
  EXPECT_EQ(mso.ProductCode, "");
}

INSTANTIATE_TEST_SUITE_P(All, AppScan, testing::ValuesIn(test::AllWorlds()),
                         [](const auto& info) { return test::WorldName(info.param); });

// --- version texts that only a hand-made version resource can carry ---

// A file with a version resource registered directly with the in-memory platform.
void AddVersionedFile(MemoryPlatform& platform, const std::string& path,
                      const std::string& productVersion, const std::string& fileVersion) {
  platform.files.AddFile(path);
  platform.versions.SetBlock(path, test::BuildVersionBlock({{"ProductVersion", productVersion},
                                                            {"FileVersion", fileVersion}}));
}

void RegisterApp(MemoryPlatform& platform, const std::string& version, const std::string& name,
                 const std::string& classId, const std::string& exe) {
  platform.registry.Ensure(RootKey::LocalMachine,
                           std::string(kOffice) + "\\" + version + "\\" + name);
  auto text = [](const std::string& s) {
    std::vector<std::uint8_t> data = Utf8ToUtf16Bytes(s);
    data.insert(data.end(), {0, 0});
    return data;
  };
  platform.registry.SetValueDirect(RootKey::ClassesRoot, name + ".Application\\CLSID", "",
                                   win::kRegSz, text(classId));
  platform.registry.SetValueDirect(RootKey::ClassesRoot, "CLSID\\" + classId + "\\LocalServer32",
                                   "", win::kRegSz, text(exe));
}

void AddMemoryProduct(MemoryPlatform& platform, const std::string& code, const std::string& name) {
  std::vector<std::uint8_t> data = Utf8ToUtf16Bytes(name);
  data.insert(data.end(), {0, 0});
  platform.registry.SetValueDirect(RootKey::LocalMachine, std::string(kUninstall) + "\\" + code,
                                   "DisplayName", win::kRegSz, data);
}

TEST(AppVersions, HighestApplicationVersionPicksTheMainProduct) {
  MemoryPlatform platform;
  AddMemoryProduct(platform, kCode9, "Office 2000");
  AddMemoryProduct(platform, kCode11, "Office 2003");
  AddVersionedFile(platform, "C:\\Office\\MSACCESS.EXE", "9.0.2720", "9.0.2720");
  AddVersionedFile(platform, "C:\\Office11\\EXCEL.EXE", "11.0.5614.0", "11.0.5612.0");
  RegisterApp(platform, "9.0", "Access", kAccessClass, "C:\\Office\\MSACCESS.EXE");
  RegisterApp(platform, "11.0", "Excel", kExcelClass, "C:\\Office11\\EXCEL.EXE");

  TZelMso mso(platform);
  EXPECT_EQ(mso.OfficeVersion, "11.0");
  EXPECT_EQ(mso.ProductCode, kCode11);
}

TEST(AppVersions, SingleDigitVersionIsFormattedWithOneDecimal) {
  MemoryPlatform platform;
  AddMemoryProduct(platform, kCode9, "Office 2000");
  AddVersionedFile(platform, "C:\\Office\\EXCEL.EXE", "9.0.2720", "9.0.2720");
  RegisterApp(platform, "9.0", "Excel", kExcelClass, "C:\\Office\\EXCEL.EXE");

  TZelMso mso(platform);
  EXPECT_EQ(mso.OfficeVersion, "9.0");
  ASSERT_TRUE(mso.Slots[0]);
  EXPECT_EQ(mso.Slots[0]->Title, "Office 2000");
}

TEST(AppVersions, VersionTextsThatAreNoNumbersCountAsZero) {
  MemoryPlatform platform;
  AddMemoryProduct(platform, kCode11, "Office 2003");
  // Excel's product version is garbage, Word's is missing: neither may stop the scan, and
  // neither gives a main version, so the compatibility fallback (absent here) decides.
  AddVersionedFile(platform, "C:\\Office11\\EXCEL.EXE", "eleven.0", "1e5.0");
  platform.files.AddFile("C:\\Office11\\WINWORD.EXE");
  RegisterApp(platform, "11.0", "Excel", kExcelClass, "C:\\Office11\\EXCEL.EXE");
  RegisterApp(platform, "11.0", "Word", kWordClass, "C:\\Office11\\WINWORD.EXE");

  TZelMso mso(platform);
  EXPECT_TRUE(mso.Slots[2]);
  EXPECT_TRUE(mso.Slots[3]);
  EXPECT_EQ(mso.OfficeVersion, "");
  EXPECT_FALSE(mso.Slots[0]);
}

TEST(AppVersions, SortAppFilesOrdersByMajorAndMinorOnly) {
  std::vector<TZelMsoAppFileList> list = {
      {"9.0.2720", "a"},    {"", "b"},    {"11.0.5612.0", "c"}, {"10.0.2627.01", "d"},
      {"11.0.8000.0", "e"}, {"x.y", "f"}, {"12", "g"},          {"11.5", "h"},
  };
  TZelMso::SortAppFiles(list);
  std::string order;
  for (const TZelMsoAppFileList& entry : list) order += entry.FileName;
  // 12 > 11.5 > 11.0 (c and e keep their order) > 10.0 > 9.0 > the two that are no numbers.
  EXPECT_EQ(order, "ghcedabf");
}

}  // namespace
}  // namespace tovalin
