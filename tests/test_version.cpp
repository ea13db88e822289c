#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "support/LittleEndian.h"
#include "support/Text.h"
#include "support/VersionBlock.h"
#include "support/ZelVersionInfo.h"
#include "support/platform/memory/MemoryPlatform.h"
#include "tests/World.h"
#include "tests/test_pe_fixtures.h"

namespace tovalin {
namespace {

std::vector<std::string> AllFields(const TZelVersionInfo& v) {
  return {v.CompanyName,    v.FileDescription,  v.FileVersion,  v.InternalName,
          v.LegalCopyright, v.OriginalFileName, v.ProductName,  v.ProductVersion,
          v.Comments,       v.LegalTrademarks,  v.PrivateBuild, v.SpecialBuild,
          v.ProductNameEn};
}

bool AllEmpty(const TZelVersionInfo& v) {
  for (const std::string& field : AllFields(v)) {
    if (!field.empty()) return false;
  }
  return true;
}

std::string Repeat(std::string_view unit, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) out += unit;
  return out;
}

class VersionInfo : public testing::TestWithParam<test::WorldParam> {
 protected:
  void SetUp() override {
    world_ = GetParam().make();
    folder_ = world_->Root() + "\\versions";
    world_->AddFolder(folder_);
  }
  // Copies a fixture into the world; "" when the fixture was not built.
  std::string Install(std::string_view name) {
    const auto bytes = test::ReadFixture(name);
    if (!bytes) return {};
    const std::string path = folder_ + "\\" + std::string(name);
    world_->AddFile(path, *bytes);
    return path;
  }

  std::unique_ptr<test::World> world_;
  std::string folder_;
};

TEST_P(VersionInfo, ReadsTheFilesOwnJapaneseTable) {
  const std::string path = Install("ja.exe");
  if (path.empty()) GTEST_SKIP() << test::kNoFixtures;
  TZelVersionInfo v(world_->platform());
  ASSERT_EQ(v.LoadFromFile(path), 0);
  EXPECT_EQ(v.CompanyName, "株式会社テスト");
  EXPECT_EQ(v.FileDescription, "テスト用プログラム");
  EXPECT_EQ(v.GetFileVersion(), "11.0.5614.0");
  EXPECT_EQ(v.InternalName, "ja");
  EXPECT_EQ(v.GetLegalCopyright(), "Copyright (C) 2003 株式会社テスト");
  // The file spells the key "OriginalFilename"; keys match without regard to case.
  EXPECT_EQ(v.OriginalFileName, "ja.exe");
  EXPECT_EQ(v.GetProductName(), "テスト オフィス");
  EXPECT_EQ(v.GetProductNameEn(), "Test Office");
  EXPECT_EQ(v.GetProductVersion(), "11.0.5614.0");
  EXPECT_EQ(v.GetProductMajorMinor(), "11.0");
  EXPECT_EQ(v.PrivateBuild, "private");
  EXPECT_EQ(v.SpecialBuild, "special");
  // Values longer than their fields are cut to capacity less one byte, between characters:
  // 400 three-byte characters into 1023 bytes, 87 into 259.
  EXPECT_EQ(v.Comments, Repeat("あ", 341));
  EXPECT_EQ(v.LegalTrademarks, Repeat("日", 86));
}

TEST_P(VersionInfo, FallsBackToTheEnglishTableWithTheFilesCodePage) {
  const std::string path = Install("english.dll");
  if (path.empty()) GTEST_SKIP() << test::kNoFixtures;
  TZelVersionInfo v(world_->platform());
  ASSERT_EQ(v.LoadFromFile(path), 0);
  EXPECT_EQ(v.CompanyName, "Example Co.");
  EXPECT_EQ(v.GetFileVersion(), "12.0.4518.1014");
  EXPECT_EQ(v.GetProductName(), "Example Product");
  EXPECT_EQ(v.GetProductMajorMinor(), "12.0");
}

TEST_P(VersionInfo, OneKeyInTheOwnTableStopsTheFallback) {
  const std::string path = Install("company.dll");
  if (path.empty()) GTEST_SKIP() << test::kNoFixtures;
  TZelVersionInfo v(world_->platform());
  ASSERT_EQ(v.LoadFromFile(path), 0);
  EXPECT_EQ(v.CompanyName, "会社のみ");
  EXPECT_EQ(v.GetFileVersion(), "");
  EXPECT_EQ(v.GetProductName(), "");
}

TEST_P(VersionInfo, FilesWithoutResourceOrTranslationGiveZeroAndNothing) {
  for (const char* name : {"plain.exe", "notrans.dll"}) {
    const std::string path = Install(name);
    if (path.empty()) GTEST_SKIP() << test::kNoFixtures;
    TZelVersionInfo v(world_->platform());
    EXPECT_EQ(v.LoadFromFile(path), 0) << name;
    EXPECT_TRUE(AllEmpty(v)) << name;
  }
  const std::string text = folder_ + "\\readme.txt";
  world_->AddFile(text, {'h', 'e', 'l', 'l', 'o'});
  TZelVersionInfo v(world_->platform());
  EXPECT_EQ(v.LoadFromFile(text), 0);
  EXPECT_TRUE(AllEmpty(v));
}

TEST_P(VersionInfo, EachLoadStartsEmpty) {
  const std::string ja = Install("ja.exe");
  const std::string company = Install("company.dll");
  if (ja.empty() || company.empty()) GTEST_SKIP() << test::kNoFixtures;
  TZelVersionInfo v(world_->platform());
  ASSERT_EQ(v.LoadFromFile(ja), 0);
  ASSERT_EQ(v.LoadFromFile(company), 0);
  EXPECT_EQ(v.CompanyName, "会社のみ");
  EXPECT_TRUE(v.Comments.empty());
  EXPECT_TRUE(v.GetProductVersion().empty());

  ASSERT_EQ(v.LoadFromFile(ja), 0);
  EXPECT_EQ(v.LoadFromFile(folder_), 2);
  EXPECT_TRUE(AllEmpty(v));
  ASSERT_EQ(v.LoadFromFile(ja), 0);
  EXPECT_EQ(v.LoadFromFile(folder_ + "\\missing.exe"), 1);
  EXPECT_TRUE(AllEmpty(v));
  ASSERT_EQ(v.LoadFromFile(ja), 0);
  v.Clear();
  EXPECT_TRUE(AllEmpty(v));
}

INSTANTIATE_TEST_SUITE_P(All, VersionInfo, testing::ValuesIn(test::AllWorlds()),
                         [](const auto& info) { return test::WorldName(info.param); });

TEST(VersionInfoMemory, OnlyAPlainFolderGivesTwo) {
  MemoryPlatform platform;
  platform.files.AddFolder("C:\\plain");
  platform.files.AddFolder("C:\\hidden", win::kFileAttributeDirectory | win::kFileAttributeHidden);
  platform.files.AddFolder("C:\\readonly",
                           win::kFileAttributeDirectory | win::kFileAttributeReadOnly);
  TZelVersionInfo v(platform);
  EXPECT_EQ(v.LoadFromFile("C:\\plain"), 2);
  EXPECT_EQ(v.LoadFromFile("C:\\hidden"), 1);
  EXPECT_EQ(v.LoadFromFile("C:\\readonly"), 1);
  EXPECT_EQ(v.LoadFromFile("C:\\nowhere"), 1);
}

TEST(VersionInfoMemory, ProductMajorMinor) {
  MemoryPlatform platform;
  TZelVersionInfo v(platform);
  const std::pair<const char*, const char*> cases[] = {
      {"11.0.5614.0", "11.0"}, {"12.0", "12.0"}, {"11.", "11."}, {"12", ""}, {"", ""},
      {"1.2.", "1.2"},         {".5", ".5"},
  };
  for (const auto& [version, expected] : cases) {
    v.ProductVersion = version;
    EXPECT_EQ(v.GetProductMajorMinor(), expected) << version;
  }
}

// --- version blocks built by hand ---

VersionNode Text(std::string key, std::string_view value,
                 std::optional<std::uint16_t> valueLength = std::nullopt) {
  VersionNode node = VersionTextNode(std::move(key), value);
  node.valueLength = valueLength;
  return node;
}

std::vector<std::uint8_t> SampleBlock() {
  VersionNode strings{"StringFileInfo", {}, true, {}, {}};
  strings.children.push_back(
      VersionNode{"041103a4",
                  {},
                  true,
                  {Text("FileVersion", "1.2"),
                   // wValueLength counted in bytes, as some tools write it
                   Text("ProductName", "製品", 6), Text("Comments", std::string_view("a\0b", 3))},
                  {}});
  VersionNode vars{"VarFileInfo",
                   {},
                   true,
                   {VersionNode{"Translation", {0x11, 0x04, 0xA4, 0x03}, false, {}, {}}},
                   {}};
  std::vector<std::uint8_t> fixed(52, 0);
  fixed[0] = 0xBD;
  fixed[1] = 0x04;
  fixed[2] = 0xEF;
  fixed[3] = 0xFE;
  return WriteVersionNode(VersionNode{"VS_VERSION_INFO", fixed, false, {strings, vars}, {}});
}

std::string QueryText(const std::vector<std::uint8_t>& block, std::string_view path) {
  std::vector<std::uint8_t> value;
  if (!QueryVersionBlock(block, path, value)) return "<none>";
  const std::u16string units = Utf16FromBytes(value.data(), value.size());
  return Utf16ToUtf8(units);
}

TEST(VersionBlock, ResolvesPathsAsVerQueryValue) {
  const std::vector<std::uint8_t> block = SampleBlock();
  std::vector<std::uint8_t> value;
  ASSERT_TRUE(QueryVersionBlock(block, "\\", value));
  ASSERT_EQ(value.size(), 52u);
  EXPECT_EQ(value[3], 0xFE);
  ASSERT_TRUE(QueryVersionBlock(block, "\\VarFileInfo\\Translation", value));
  EXPECT_EQ(value, (std::vector<std::uint8_t>{0x11, 0x04, 0xA4, 0x03}));
  EXPECT_EQ(QueryText(block, "\\StringFileInfo\\041103A4\\FileVersion"), "1.2");
  EXPECT_EQ(QueryText(block, "\\stringfileinfo\\041103A4\\fileversion"), "1.2");
  EXPECT_EQ(QueryText(block, "\\StringFileInfo\\041103A4\\ProductName"), "製品");
  // Text ends at the first NUL, as the caller of the real function reads it.
  EXPECT_EQ(QueryText(block, "\\StringFileInfo\\041103A4\\Comments"), "a");
  EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904B0\\FileVersion"), "<none>");
  EXPECT_EQ(QueryText(block, "\\StringFileInfo\\041103A4\\FileVersionX"), "<none>");
  EXPECT_EQ(QueryText(block, "\\StringFileInfo\\041103A4\\File"), "<none>");
}

TEST(VersionBlock, DamagedBlocksAnswerWithinTheirBytes) {
  const std::vector<std::uint8_t> block = SampleBlock();
  const char* paths[] = {"\\", "\\VarFileInfo\\Translation",
                         "\\StringFileInfo\\041103A4\\FileVersion",
                         "\\StringFileInfo\\041103A4\\Comments"};
  std::vector<std::uint8_t> value;
  for (std::size_t length = 0; length < block.size(); ++length) {
    const std::vector<std::uint8_t> cut(block.begin(), block.begin() + length);
    for (const char* path : paths) {
      // The root claims more bytes than a cut block has, so nothing is found.
      EXPECT_FALSE(QueryVersionBlock(cut, path, value)) << length << " " << path;
    }
  }
  // Every single byte replaced: whatever comes back lies inside the block.
  for (std::size_t at = 0; at < block.size(); ++at) {
    for (std::uint8_t replacement : {0x00, 0x01, 0x7F, 0xFF}) {
      std::vector<std::uint8_t> bad = block;
      bad[at] = replacement;
      for (const char* path : paths) {
        if (QueryVersionBlock(bad, path, value)) {
          EXPECT_LE(value.size(), bad.size());
        }
      }
    }
  }
}

// What the writer puts where the reader and version.dll look: the fixed part's numbers, every
// table under its translation, and text that is not ASCII.
TEST(VersionBlock, WrittenBlocksReadBack) {
  VersionBlockContent content;
  content.fileVersion = {11, 0, 5614, 1};
  content.productVersion = {12, 3, 4, 5};
  content.fileFlagsMask = 0x3F;
  content.fileOs = 4;
  content.fileType = 1;
  content.translations = {{0x0411, 932}, {0x0409, 1252}};
  content.tables = {{"041103A4", {{"ProductName", "製品"}, {"FileVersion", "11.0.5614.1"}}},
                    {"040904E4", {{"ProductName", "Product"}}}};
  const std::vector<std::uint8_t> block = BuildVersionBlock(content);

  std::vector<std::uint8_t> fixed;
  ASSERT_TRUE(QueryVersionBlock(block, "\\", fixed));
  ASSERT_EQ(fixed.size(), 52u);
  const std::pair<std::size_t, std::uint32_t> words[] = {
      {0, 0xFEEF04BD},  {8, 0x000B0000}, {12, 0x15EE0001}, {16, 0x000C0003},
      {20, 0x00040005}, {24, 0x3F},      {32, 4},          {36, 1},
  };
  for (const auto& [at, expected] : words) EXPECT_EQ(LoadLe32(&fixed[at]), expected) << at;

  std::vector<std::uint8_t> translations;
  ASSERT_TRUE(QueryVersionBlock(block, "\\VarFileInfo\\Translation", translations));
  EXPECT_EQ(translations,
            (std::vector<std::uint8_t>{0x11, 0x04, 0xA4, 0x03, 0x09, 0x04, 0xE4, 0x04}));
  EXPECT_EQ(QueryText(block, "\\StringFileInfo\\041103A4\\ProductName"), "製品");
  EXPECT_EQ(QueryText(block, "\\StringFileInfo\\041103A4\\FileVersion"), "11.0.5614.1");
  EXPECT_EQ(QueryText(block, "\\StringFileInfo\\040904E4\\ProductName"), "Product");
  // Every node's length is the block's own: nothing trails the root.
  EXPECT_EQ(LoadLe16(block.data()), block.size());
}

TEST(VersionInfoMemory, ReadsARegisteredBlock) {
  MemoryPlatform platform;
  platform.files.AddFile("C:\\x\\app.exe");
  platform.versions.SetBlock("C:\\x\\app.exe", SampleBlock());
  TZelVersionInfo v(platform);
  ASSERT_EQ(v.LoadFromFile("C:\\x\\app.exe"), 0);
  EXPECT_EQ(v.GetFileVersion(), "1.2");
  EXPECT_EQ(v.GetProductName(), "製品");
  EXPECT_EQ(v.Comments, "a");
  // A translation list shorter than one entry counts as none.
  VersionNode vars{
      "VarFileInfo", {}, true, {VersionNode{"Translation", {0x11, 0x04}, false, {}, {}}}, {}};
  platform.versions.SetBlock(
      "C:\\x\\app.exe", WriteVersionNode(VersionNode{"VS_VERSION_INFO", {}, false, {vars}, {}}));
  EXPECT_EQ(v.LoadFromFile("C:\\x\\app.exe"), 0);
  EXPECT_TRUE(AllEmpty(v));
}

}  // namespace
}  // namespace tovalin
