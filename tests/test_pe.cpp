#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "support/LittleEndian.h"
#include "support/PeReader.h"
#include "support/Text.h"
#include "support/VersionBlock.h"
#include "support/ZelVersionInfo.h"
#include "support/platform/memory/MemoryPlatform.h"
#include "tests/test_pe_fixtures.h"

namespace tovalin {
namespace {

using Bytes = std::vector<std::uint8_t>;

// --- building PE images by hand ---

constexpr std::uint32_t kSectionVa = 0x1000;
constexpr std::uint32_t kRawStart = 0x200;
constexpr std::uint32_t kHigh = 0x80000000u;

// The writers grow the image to fit.
void Put16(Bytes& b, std::size_t at, std::uint32_t v) {
  if (b.size() < at + 2) b.resize(at + 2);
  StoreLe16(&b[at], static_cast<std::uint16_t>(v));
}
void Put32(Bytes& b, std::size_t at, std::uint32_t v) {
  if (b.size() < at + 4) b.resize(at + 4);
  StoreLe32(&b[at], v);
}
std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return ReadLe32(b, at).value();
}

// A resource directory at `at` whose entries are (name or id, target) pairs, named ones first.
void PutDirectory(Bytes& b, std::size_t at,
                  const std::vector<std::pair<std::uint32_t, std::uint32_t>>& entries,
                  std::uint16_t named = 0) {
  Put16(b, at + 12, named);
  Put16(b, at + 14, static_cast<std::uint32_t>(entries.size()) - named);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    Put32(b, at + 16 + i * 8, entries[i].first);
    Put32(b, at + 20 + i * 8, entries[i].second);
  }
}
void PutLeaf(Bytes& b, std::size_t at, std::uint32_t rva, std::uint32_t size) {
  Put32(b, at, rva);
  Put32(b, at + 4, size);
  Put32(b, at + 12, 0);
}

struct PeOptions {
  bool pe32 = false;
  std::uint32_t virtualSize = 0;  // 0: the section's size
};

// Headers and one .rsrc section at RVA 0x1000, file offset 0x200; the resource directory is
// the start of the section.
Bytes MakePe(const Bytes& rsrc, PeOptions options = {}) {
  const std::uint32_t optionalSize = options.pe32 ? 224 : 240;
  Bytes f(kRawStart, 0);
  f[0] = 'M';
  f[1] = 'Z';
  Put32(f, 0x3C, 0x40);
  f[0x40] = 'P';
  f[0x41] = 'E';
  Put16(f, 0x44, options.pe32 ? 0x14C : 0x8664);
  Put16(f, 0x46, 1);
  Put16(f, 0x54, optionalSize);
  Put16(f, 0x56, 0x2102);
  const std::size_t opt = 0x58;
  Put16(f, opt, options.pe32 ? 0x10B : 0x20B);
  const std::size_t count = opt + (options.pe32 ? 92 : 108);
  Put32(f, count, 16);
  Put32(f, count + 4 + 16, kSectionVa);
  Put32(f, count + 4 + 20, static_cast<std::uint32_t>(rsrc.size()));
  const std::size_t section = opt + optionalSize;
  std::copy_n(".rsrc", 5, f.begin() + static_cast<std::ptrdiff_t>(section));
  Put32(f, section + 8,
        options.virtualSize != 0 ? options.virtualSize : static_cast<std::uint32_t>(rsrc.size()));
  Put32(f, section + 12, kSectionVa);
  Put32(f, section + 16, static_cast<std::uint32_t>(rsrc.size()));
  Put32(f, section + 20, kRawStart);
  f.insert(f.end(), rsrc.begin(), rsrc.end());
  return f;
}

struct Resource {
  std::uint32_t type = 0;
  std::uint32_t id = 0;
  std::string name;  // a named resource when not empty
  std::uint32_t language = 0;
  Bytes data;
};

// The section of a well-formed tree: types ascending, names in the order given (named ones
// must come first), languages in the order given.
Bytes ResourceSection(const std::vector<Resource>& list) {
  std::vector<std::uint32_t> types;
  for (const Resource& r : list) {
    if (std::find(types.begin(), types.end(), r.type) == types.end()) types.push_back(r.type);
  }
  std::sort(types.begin(), types.end());
  using Key = std::pair<std::uint32_t, std::string>;  // type, name or "#id"
  auto keyOf = [](const Resource& r) {
    if (!r.name.empty()) return Key{r.type, r.name};
    // Appended: GCC 12 at -O3 reports a false -Wrestrict overlap for "#" + std::to_string(...).
    std::string number = "#";
    number += std::to_string(r.id);
    return Key{r.type, number};
  };
  std::map<std::uint32_t, std::vector<Key>> names;
  std::map<Key, std::vector<std::size_t>> languages;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const Key key = keyOf(list[i]);
    auto& n = names[list[i].type];
    if (std::find(n.begin(), n.end(), key) == n.end()) n.push_back(key);
    languages[key].push_back(i);
  }

  std::size_t pos = 16 + 8 * types.size();
  std::map<std::uint32_t, std::size_t> typeAt;
  for (std::uint32_t t : types) {
    typeAt[t] = pos;
    pos += 16 + 8 * names[t].size();
  }
  std::map<Key, std::size_t> nameAt;
  for (std::uint32_t t : types) {
    for (const Key& k : names[t]) {
      nameAt[k] = pos;
      pos += 16 + 8 * languages[k].size();
    }
  }
  std::vector<std::size_t> leafAt(list.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    leafAt[i] = pos;
    pos += 16;
  }
  std::map<std::string, std::size_t> stringAt;
  for (const Resource& r : list) {
    if (r.name.empty() || stringAt.count(r.name)) continue;
    stringAt[r.name] = pos;
    pos += 2 + 2 * Utf8ToUtf16(r.name).size();
  }
  std::vector<std::size_t> dataAt(list.size());
  for (std::size_t i = 0; i < list.size(); ++i) {
    pos = (pos + 3) & ~std::size_t{3};
    dataAt[i] = pos;
    pos += list[i].data.size();
  }

  Bytes b(pos, 0);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> rootEntries;
  for (std::uint32_t t : types)
    rootEntries.push_back({t, kHigh | static_cast<std::uint32_t>(typeAt[t])});
  PutDirectory(b, 0, rootEntries);
  for (std::uint32_t t : types) {
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;
    std::uint16_t named = 0;
    for (const Key& k : names[t]) {
      std::uint32_t name = 0;
      if (k.second[0] == '#') {
        name = static_cast<std::uint32_t>(std::stoul(k.second.substr(1)));
      } else {
        name = kHigh | static_cast<std::uint32_t>(stringAt[k.second]);
        ++named;
      }
      entries.push_back({name, kHigh | static_cast<std::uint32_t>(nameAt[k])});
    }
    PutDirectory(b, typeAt[t], entries, named);
    for (const Key& k : names[t]) {
      std::vector<std::pair<std::uint32_t, std::uint32_t>> langs;
      for (std::size_t i : languages[k]) {
        langs.push_back({list[i].language, static_cast<std::uint32_t>(leafAt[i])});
      }
      PutDirectory(b, nameAt[k], langs);
    }
  }
  for (const auto& [name, at] : stringAt) {
    const std::u16string units = Utf8ToUtf16(name);
    Put16(b, at, static_cast<std::uint32_t>(units.size()));
    for (std::size_t i = 0; i < units.size(); ++i) Put16(b, at + 2 + 2 * i, units[i]);
  }
  for (std::size_t i = 0; i < list.size(); ++i) {
    PutLeaf(b, leafAt[i], kSectionVa + static_cast<std::uint32_t>(dataAt[i]),
            static_cast<std::uint32_t>(list[i].data.size()));
    std::copy(list[i].data.begin(), list[i].data.end(),
              b.begin() + static_cast<std::ptrdiff_t>(dataAt[i]));
  }
  return b;
}

// An RT_GROUP_ICON body naming the given image ids.
Bytes IconGroup(const std::vector<std::uint16_t>& ids, std::uint16_t type = 1) {
  Bytes g;
  Put16(g, 0, 0);
  Put16(g, 2, type);
  Put16(g, 4, static_cast<std::uint32_t>(ids.size()));
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const std::size_t at = 6 + i * 14;
    g.resize(at + 14, 0);
    g[at] = 16;
    g[at + 1] = 16;
    Put16(g, at + 4, 1);
    Put16(g, at + 6, 32);
    Put32(g, at + 8, 999);  // a wrong size: the image's own size is what counts
    Put16(g, at + 12, ids[i]);
  }
  return g;
}

// Checks that .ico bytes are self-consistent: entries within the data, images back to back.
::testing::AssertionResult IsWellFormedIco(const Bytes& ico) {
  if (ico.size() < 6 || ico[0] != 0 || ico[1] != 0 || ico[2] != 1 || ico[3] != 0) {
    return ::testing::AssertionFailure() << "bad icon directory";
  }
  const std::size_t count = LoadLe16(&ico[4]);
  if (count == 0 || ico.size() < 6 + 16 * count) return ::testing::AssertionFailure() << "count";
  std::size_t expected = 6 + 16 * count;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint32_t size = Get32(ico, 6 + i * 16 + 8);
    const std::uint32_t offset = Get32(ico, 6 + i * 16 + 12);
    if (offset != expected || size == 0) return ::testing::AssertionFailure() << "entry " << i;
    expected += size;
  }
  if (expected != ico.size()) return ::testing::AssertionFailure() << "trailing bytes";
  return ::testing::AssertionSuccess();
}

// The file version in the fixed part of a version block, as "a.b.c.d".
std::string FixedFileVersion(const Bytes& block) {
  Bytes fixed;
  if (!QueryVersionBlock(block, "\\", fixed) || fixed.size() < 52) return {};
  if (Get32(fixed, 0) != 0xFEEF04BD) return {};
  const std::uint32_t ms = Get32(fixed, 8);
  const std::uint32_t ls = Get32(fixed, 12);
  return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." +
         std::to_string(ls >> 16) + "." + std::to_string(ls & 0xFFFF);
}

// Everything the reader offers, run over one file; checks only what must hold for any input.
void ReadEverything(const Bytes& file) {
  const Bytes block = PeVersionResource(file);
  Bytes value;
  for (const char* path :
       {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\041103A4\\FileVersion",
        "\\StringFileInfo\\040904B0\\CompanyName"}) {
    if (QueryVersionBlock(block, path, value)) {
      ASSERT_LE(value.size(), block.size());
    }
  }
  const std::uint32_t groups = PeIconGroupCount(file);
  for (std::uint32_t n = 0; n < std::min<std::uint32_t>(groups, 4) + 1; ++n) {
    const Bytes ico = PeIconGroupAsIco(file, n);
    if (!ico.empty()) {
      ASSERT_TRUE(IsWellFormedIco(ico));
    }
  }
  std::size_t listed = 0;
  for (const PeResource& manifest : PeResourcesOfType(file, kRtManifest)) {
    listed += manifest.data.size();
  }
  ASSERT_LE(listed, file.size());
}

// --- the fixture files ---

TEST(PeReader, VersionBlocksOfBuiltFiles) {
  const auto ja = test::ReadFixture("ja.exe");
  const auto english = test::ReadFixture("english.dll");
  const auto plain = test::ReadFixture("plain.exe");
  if (!ja || !english || !plain) GTEST_SKIP() << test::kNoFixtures;
  // PE32+ and PE32.
  EXPECT_EQ(FixedFileVersion(PeVersionResource(*ja)), "11.0.5614.0");
  EXPECT_EQ(FixedFileVersion(PeVersionResource(*english)), "12.0.4518.1014");
  Bytes value;
  ASSERT_TRUE(
      QueryVersionBlock(PeVersionResource(*ja), "\\StringFileInfo\\041103A4\\CompanyName", value));
  EXPECT_EQ(Utf16ToUtf8(Utf16FromBytes(value.data(), value.size())), "株式会社テスト");
  EXPECT_TRUE(PeVersionResource(*plain).empty());
  EXPECT_TRUE(PeVersionResource({}).empty());
}

TEST(PeReader, IconGroupsOfBuiltFilesAreTheirIcoFiles) {
  const auto iconA = test::ReadFixture("icon_a.ico");
  const auto iconB = test::ReadFixture("icon_b.ico");
  const auto plain = test::ReadFixture("plain.exe");
  if (!iconA || !iconB || !plain) GTEST_SKIP() << test::kNoFixtures;
  for (const char* name : {"ja.exe", "english.dll"}) {
    const auto file = test::ReadFixture(name);
    ASSERT_TRUE(file) << name;
    EXPECT_EQ(PeIconGroupCount(*file), 2u) << name;
    // The named group comes first in resource order.
    EXPECT_EQ(PeIconGroupAsIco(*file, 0), *iconB) << name;
    EXPECT_EQ(PeIconGroupAsIco(*file, 1), *iconA) << name;
    EXPECT_TRUE(PeIconGroupAsIco(*file, 2).empty()) << name;
  }
  EXPECT_EQ(PeIconGroupCount(*plain), 0u);
  EXPECT_TRUE(PeIconGroupAsIco(*plain, 0).empty());
}

TEST(PeReader, MemoryPlatformReadsFilesItHasNoEntryFor) {
  const auto ja = test::ReadFixture("ja.exe");
  const auto iconA = test::ReadFixture("icon_a.ico");
  if (!ja || !iconA) GTEST_SKIP() << test::kNoFixtures;
  MemoryPlatform platform;
  platform.files.AddFile("C:\\app\\ja.exe", *ja);
  EXPECT_FALSE(platform.versions.GetFileVersionInfo("C:\\app\\ja.exe").empty());
  const IconHandle icon = platform.icons.ExtractIcon("C:\\app\\JA.EXE", 1);
  ASSERT_NE(icon, 0u);
  EXPECT_EQ(platform.icons.IconData(icon), *iconA);
  platform.icons.DestroyIcon(icon);
  EXPECT_EQ(platform.icons.ExtractIcon("C:\\app\\ja.exe", 2), 0u);
  EXPECT_EQ(platform.icons.LiveIcons(), 0u);
  // What a test registers wins over the file's own resources.
  platform.icons.SetIcon("C:\\app\\ja.exe", 1, {1, 2, 3});
  const IconHandle registered = platform.icons.ExtractIcon("C:\\app\\ja.exe", 1);
  EXPECT_EQ(platform.icons.IconData(registered), (Bytes{1, 2, 3}));
}

// --- hand-made trees ---

TEST(PeReader, VersionResourceIsIdOneInTheLanguageAJapaneseSystemPicks) {
  const auto pick = [](std::vector<Resource> list) {
    return PeVersionResource(MakePe(ResourceSection(list)));
  };
  EXPECT_EQ(pick({{16, 1, "", 0x409, {'e'}}, {16, 1, "", 0x411, {'j'}}}), Bytes{'j'});
  EXPECT_EQ(pick({{16, 1, "", 0x411, {'j'}}, {16, 1, "", 0, {'n'}}}), Bytes{'n'});
  EXPECT_EQ(pick({{16, 1, "", 0x407, {'d'}}, {16, 1, "", 0x409, {'e'}}}), Bytes{'e'});
  EXPECT_EQ(pick({{16, 1, "", 0x407, {'d'}}, {16, 1, "", 0x40C, {'f'}}}), Bytes{'d'});
  EXPECT_TRUE(pick({{16, 2, "", 0, {'x'}}}).empty());
  EXPECT_TRUE(pick({{10, 1, "", 0, {'x'}}}).empty());
  // PE32 headers lead to the same tree.
  EXPECT_EQ(PeVersionResource(MakePe(ResourceSection({{16, 1, "", 0, {'v'}}}), {true})),
            Bytes{'v'});
}

TEST(PeReader, ResourcesOfATypeComeInEveryNameAndLanguage) {
  const Bytes file = MakePe(ResourceSection({
      {24, 0, "X", 0, {'c'}},
      {24, 1, "", 0x409, {'a'}},
      {24, 1, "", 0x411, {'b'}},
      {24, 2, "", 0, {}},
      {16, 1, "", 0, {'v'}},
  }));
  std::vector<std::tuple<bool, std::uint32_t, std::uint32_t, Bytes>> listed;
  for (const PeResource& r : PeResourcesOfType(file, kRtManifest)) {
    listed.emplace_back(r.named, r.id, r.language, r.data);
  }
  const decltype(listed) expected = {
      {true, 0, 0, {'c'}}, {false, 1, 0x409, {'a'}}, {false, 1, 0x411, {'b'}}, {false, 2, 0, {}}};
  EXPECT_EQ(listed, expected);
  EXPECT_TRUE(PeResourcesOfType(file, kRtGroupIcon).empty());

  // Names that all lead to the same data cannot make the answer larger than the file.
  constexpr std::uint32_t kLanguagesAt = 24;
  constexpr std::uint32_t kLeafAt = 48;
  constexpr std::uint32_t kDataAt = 64;
  constexpr std::uint32_t kDataSize = 256;
  constexpr std::uint32_t kNamesAt = kDataAt + kDataSize;
  Bytes shared;
  PutDirectory(shared, 0, {{kRtManifest, kHigh | kNamesAt}});
  PutDirectory(shared, kLanguagesAt, {{0, kLeafAt}});
  PutLeaf(shared, kLeafAt, kSectionVa + kDataAt, kDataSize);
  PutDirectory(shared, kNamesAt,
               std::vector<std::pair<std::uint32_t, std::uint32_t>>(64, {1, kHigh | kLanguagesAt}));
  EXPECT_TRUE(PeResourcesOfType(MakePe(shared), kRtManifest).empty());
}

TEST(PeReader, IconGroupsTakeTheImagesThatExist) {
  const Bytes image1(40, 0x11);
  const Bytes image2(60, 0x22);
  const Bytes file = MakePe(ResourceSection({
      {3, 1, "", 0x409, image1},
      {3, 2, "", 0x411, image2},
      {14, 0, "MAIN", 0x411, IconGroup({1, 2})},
      {14, 5, "", 0, IconGroup({9, 2})},  // image 9 is missing
      {14, 6, "", 0, IconGroup({7, 8})},  // all missing
      {14, 7, "", 0, IconGroup({1}, 2)},  // a cursor directory
  }));
  ASSERT_EQ(PeIconGroupCount(file), 4u);

  const Bytes both = PeIconGroupAsIco(file, 0);
  ASSERT_TRUE(IsWellFormedIco(both));
  EXPECT_EQ(both[4], 2);
  EXPECT_EQ(Get32(both, 6 + 8), 40u);  // the image's real size, not the group's claim
  EXPECT_EQ(Bytes(both.end() - 60, both.end()), image2);

  const Bytes one = PeIconGroupAsIco(file, 1);
  ASSERT_TRUE(IsWellFormedIco(one));
  EXPECT_EQ(one[4], 1);
  EXPECT_EQ(Bytes(one.end() - 60, one.end()), image2);

  EXPECT_TRUE(PeIconGroupAsIco(file, 2).empty());
  EXPECT_TRUE(PeIconGroupAsIco(file, 3).empty());
  EXPECT_TRUE(PeIconGroupAsIco(file, 4).empty());

  // A group whose count claims more entries than its data holds uses the complete ones.
  Bytes shortGroup = IconGroup({1, 2});
  Put16(shortGroup, 4, 500);
  const Bytes claims = MakePe(
      ResourceSection({{3, 1, "", 0, image1}, {3, 2, "", 0, image2}, {14, 1, "", 0, shortGroup}}));
  const Bytes ico = PeIconGroupAsIco(claims, 0);
  ASSERT_TRUE(IsWellFormedIco(ico));
  EXPECT_EQ(ico[4], 2);
}

TEST(PeReader, HostileTreesGiveNothing) {
  // The type entry points back at the root: a loop of directories.
  Bytes loop;
  PutDirectory(loop, 0, {{16, kHigh | 0}});
  EXPECT_TRUE(PeVersionResource(MakePe(loop)).empty());
  Bytes iconLoop;
  PutDirectory(iconLoop, 0, {{14, kHigh | 0}});
  EXPECT_TRUE(PeIconGroupAsIco(MakePe(iconLoop), 0).empty());

  // A directory claiming far more entries than the section holds.
  Bytes counted;
  PutDirectory(counted, 0, {{16, kHigh | 24}});
  Put16(counted, 14, 0xFFFF);
  EXPECT_TRUE(PeVersionResource(MakePe(counted)).empty());

  // Offsets and data addresses outside the section, or wrapping around.
  const auto withLeaf = [](std::uint32_t rva, std::uint32_t size) {
    Bytes b;
    PutDirectory(b, 0, {{16, kHigh | 24}});
    PutDirectory(b, 24, {{1, kHigh | 48}});
    PutDirectory(b, 48, {{0, 72}});
    PutLeaf(b, 72, rva, size);
    b.resize(128, 0x5A);
    return MakePe(b);
  };
  EXPECT_EQ(PeVersionResource(withLeaf(kSectionVa + 96, 32)), Bytes(32, 0x5A));
  EXPECT_TRUE(PeVersionResource(withLeaf(kSectionVa + 96, 33)).empty());
  EXPECT_TRUE(PeVersionResource(withLeaf(kSectionVa + 96, 0xFFFFFFFF)).empty());
  EXPECT_TRUE(PeVersionResource(withLeaf(0xFFFFFFF0, 0x20)).empty());
  EXPECT_TRUE(PeVersionResource(withLeaf(0x100, 16)).empty());  // in the headers
  Bytes farDir;
  PutDirectory(farDir, 0, {{16, kHigh | 0x7FFFFFF0}});
  EXPECT_TRUE(PeVersionResource(MakePe(farDir)).empty());

  // Data past the section's virtual size is not part of the image.
  const Bytes section = ResourceSection({{16, 1, "", 0, Bytes(64, 1)}});
  EXPECT_FALSE(PeVersionResource(MakePe(section)).empty());
  EXPECT_TRUE(
      PeVersionResource(MakePe(section, {false, static_cast<std::uint32_t>(section.size() - 8)}))
          .empty());
}

TEST(PeReader, DamagedHeadersGiveNothing) {
  const Bytes good = MakePe(ResourceSection({{16, 1, "", 0, Bytes(8, 1)}}));
  ASSERT_FALSE(PeVersionResource(good).empty());
  const auto patched = [&good](std::size_t at, std::uint32_t value, bool wide) {
    Bytes b = good;
    if (wide) {
      Put32(b, at, value);
    } else {
      Put16(b, at, value);
    }
    return PeVersionResource(b);
  };
  EXPECT_TRUE(patched(0, 0x5A4E, false).empty());        // not "MZ"
  EXPECT_TRUE(patched(0x3C, 0xFFFFFFFF, true).empty());  // PE header far away
  EXPECT_TRUE(patched(0x3C, static_cast<std::uint32_t>(good.size() - 8), true).empty());
  EXPECT_TRUE(patched(0x46, 0xFFFF, false).empty());       // section count
  EXPECT_TRUE(patched(0x54, 0xFFFF, false).empty());       // optional header size
  EXPECT_TRUE(patched(0x54, 100, false).empty());          // too small to hold the directory
  EXPECT_TRUE(patched(0x58, 0x107, false).empty());        // unknown magic
  EXPECT_TRUE(patched(0x58 + 108, 2, true).empty());       // no resource directory entry
  EXPECT_TRUE(patched(0x58 + 112 + 16, 0, true).empty());  // resource directory at 0
}

TEST(PeReader, RepeatedImagesCannotInflateTheIcon) {
  const std::vector<std::uint16_t> ids(4000, 1);
  const Bytes file =
      MakePe(ResourceSection({{3, 1, "", 0, Bytes(1000, 7)}, {14, 1, "", 0, IconGroup(ids)}}));
  const Bytes ico = PeIconGroupAsIco(file, 0);
  EXPECT_LE(ico.size(), 2 * file.size());
}

TEST(PeReader, SharedDirectoriesCannotMultiplyTheWork) {
  // 20000 icon ids whose entries all lead to one language directory of 65535 entries.
  constexpr std::uint32_t kIcons = 20000;
  constexpr std::uint32_t kLanguages = 0xFFFF;
  const std::uint32_t namesAt = 32;
  const std::uint32_t languagesAt = namesAt + 16 + 8 * kIcons;
  const std::uint32_t leafAt = languagesAt + 16 + 8 * kLanguages;
  const std::uint32_t imageAt = leafAt + 16;
  const std::uint32_t groupNamesAt = imageAt + 8;
  const std::uint32_t groupLanguagesAt = groupNamesAt + 24;
  const std::uint32_t groupLeafAt = groupLanguagesAt + 24;
  const std::uint32_t groupAt = groupLeafAt + 16;

  Bytes b;
  PutDirectory(b, 0, {{3, kHigh | namesAt}, {14, kHigh | groupNamesAt}});
  std::vector<std::pair<std::uint32_t, std::uint32_t>> names;
  for (std::uint32_t i = 1; i <= kIcons; ++i) names.push_back({i, kHigh | languagesAt});
  PutDirectory(b, namesAt, names);
  PutDirectory(b, languagesAt,
               std::vector<std::pair<std::uint32_t, std::uint32_t>>(kLanguages, {0x999, leafAt}));
  PutLeaf(b, leafAt, kSectionVa + imageAt, 4);
  Put32(b, imageAt, 0x01020304);
  PutDirectory(b, groupNamesAt, {{1, kHigh | groupLanguagesAt}});
  PutDirectory(b, groupLanguagesAt, {{0, groupLeafAt}});
  std::vector<std::uint16_t> ids;
  for (std::uint32_t i = 1; i <= kIcons; ++i) ids.push_back(static_cast<std::uint16_t>(i));
  const Bytes group = IconGroup(ids);
  PutLeaf(b, groupLeafAt, kSectionVa + groupAt, static_cast<std::uint32_t>(group.size()));
  b.resize(groupAt);
  b.insert(b.end(), group.begin(), group.end());

  const Bytes file = MakePe(b);
  const auto start = std::chrono::steady_clock::now();
  const Bytes ico = PeIconGroupAsIco(file, 0);
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 5.0);
  ASSERT_FALSE(ico.empty());
  EXPECT_TRUE(IsWellFormedIco(ico));
}

// --- damage to real files ---

TEST(PeReader, EveryTruncationGivesTheWholeAnswerOrNone) {
  for (const char* name : {"english.dll", "company.dll"}) {
    const auto file = test::ReadFixture(name);
    if (!file) GTEST_SKIP() << test::kNoFixtures;
    const Bytes version = PeVersionResource(*file);
    ASSERT_FALSE(version.empty()) << name;
    const std::uint32_t groups = PeIconGroupCount(*file);
    std::vector<Bytes> icons;
    for (std::uint32_t n = 0; n < groups; ++n) icons.push_back(PeIconGroupAsIco(*file, n));
    for (std::size_t length = 0; length < file->size(); ++length) {
      const Bytes cut(file->begin(), file->begin() + static_cast<std::ptrdiff_t>(length));
      const Bytes v = PeVersionResource(cut);
      ASSERT_TRUE(v.empty() || v == version) << name << " cut at " << length;
      const std::uint32_t g = PeIconGroupCount(cut);
      ASSERT_LE(g, groups);
      for (std::uint32_t n = 0; n < g; ++n) {
        const Bytes ico = PeIconGroupAsIco(cut, n);
        // Images missing from the cut file drop out; those present are the same bytes.
        if (!ico.empty()) {
          ASSERT_TRUE(IsWellFormedIco(ico)) << name << " cut at " << length;
        }
        if (ico.size() == icons[n].size()) {
          ASSERT_EQ(ico, icons[n]);
        }
      }
    }
  }
}

TEST(PeReader, RandomDamageStaysInsideTheFile) {
  std::mt19937 random(20240601);
  for (const char* name : {"english.dll", "company.dll", "ja.exe"}) {
    const auto file = test::ReadFixture(name);
    if (!file) GTEST_SKIP() << test::kNoFixtures;
    MemoryPlatform platform;
    for (int round = 0; round < 1500; ++round) {
      Bytes damaged = *file;
      const int flips = 1 + static_cast<int>(random() % 8);
      for (int i = 0; i < flips; ++i) {
        damaged[random() % damaged.size()] ^= static_cast<std::uint8_t>(1 + random() % 255);
      }
      ASSERT_NO_FATAL_FAILURE(ReadEverything(damaged)) << name << " round " << round;
      platform.files.AddFile("C:\\d\\x.exe", damaged);
      TZelVersionInfo v(platform);
      EXPECT_EQ(v.LoadFromFile("C:\\d\\x.exe"), 0);
      EXPECT_LT(v.Comments.size(), 1024u);
      EXPECT_LT(v.CompanyName.size(), 260u);
    }
  }
}

// --- the PE files Wine installs ---

#ifndef _WIN32
std::vector<std::string> WineFiles() {
  std::vector<std::string> files;
  for (const char* dir : {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows",
                          "/usr/lib/x86_64-linux-gnu/wine/i386-windows",
                          "/usr/lib/i386-linux-gnu/wine/i386-windows"}) {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
      if (entry.is_regular_file()) files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(PeReader, ReadsEveryWineBuiltinFile) {
  const std::vector<std::string> files = WineFiles();
  if (files.empty()) GTEST_SKIP() << "Wine is not installed";
  std::size_t withVersion = 0;
  std::size_t withIcons = 0;
  for (const std::string& path : files) {
    const auto bytes = test::ReadHostFile(path);
    ASSERT_TRUE(bytes) << path;
    ASSERT_NO_FATAL_FAILURE(ReadEverything(*bytes)) << path;
    if (PeIconGroupCount(*bytes) > 0) {
      ++withIcons;
      EXPECT_FALSE(PeIconGroupAsIco(*bytes, 0).empty()) << path;
    }
    if (PeVersionResource(*bytes).empty()) continue;
    ++withVersion;
    MemoryPlatform platform;
    platform.files.AddFile("C:\\windows\\system32\\file.dll", *bytes);
    TZelVersionInfo v(platform);
    EXPECT_EQ(v.LoadFromFile("C:\\windows\\system32\\file.dll"), 0) << path;
    EXPECT_FALSE(v.GetFileVersion().empty()) << path;
  }
  // About a third of them carry a version resource.
  EXPECT_GT(withVersion, files.size() / 4);
  EXPECT_GT(withIcons, 0u);
}

// Runs python3-pefile over the files and returns one line per file:
// "<fixed file version>|<version resource size>|<icon groups>|<FileVersion of the 041103A4 or
// 040904B0 table>|<manifests, every name and language>".
std::vector<std::string> PefileReport(const std::vector<std::string>& files) {
  const std::filesystem::path script =
      std::filesystem::temp_directory_path() / "tovalin_pefile_report.py";
  if (FILE* out = std::fopen(script.string().c_str(), "w")) {
    std::fputs(R"(import sys
import pefile


def pick(languages):
    # The language a Japanese system picks: neutral, Japanese, U.S. English, else the first.
    for want in (0, 0x411, 0x409):
        for entry in languages:
            if entry.id == want:
                return entry
    return languages[0] if languages else None


for path in sys.argv[1:]:
    pe = pefile.PE(path, fast_load=True)
    pe.parse_data_directories(directories=[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_RESOURCE"]])
    fixed, size, groups, text, manifests = "", 0, 0, "", 0
    root = getattr(pe, "DIRECTORY_ENTRY_RESOURCE", None)
    chosen = None
    for t in root.entries if root else []:
        if t.id == 14:
            groups = len(t.directory.entries)
        if t.id == 24:
            manifests = sum(len(n.directory.entries) for n in t.directory.entries)
        if t.id == 16:
            for n in t.directory.entries:
                if n.id == 1:
                    chosen = pick(n.directory.entries)
    if chosen is not None:
        size = chosen.data.struct.Size
        pe.FileInfo, pe.VS_FIXEDFILEINFO = [], []
        pe.parse_version_information(chosen.data.struct)
    if getattr(pe, "VS_FIXEDFILEINFO", None):
        f = pe.VS_FIXEDFILEINFO[-1]
        fixed = "%d.%d.%d.%d" % (f.FileVersionMS >> 16, f.FileVersionMS & 0xFFFF,
                                 f.FileVersionLS >> 16, f.FileVersionLS & 0xFFFF)
    for info in (getattr(pe, "FileInfo", None) or [[]])[-1]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                if (table.LangID.upper() in (b"041103A4", b"040904B0") and
                        b"FileVersion" in table.entries and not text):
                    text = table.entries[b"FileVersion"].decode("utf-8")
    print("%s|%d|%d|%s|%d" % (fixed, size, groups, text, manifests))
)",
               out);
    std::fclose(out);
  } else {
    return {};
  }
  std::string command = "/usr/bin/python3 '" + script.string() + "'";
  for (const std::string& f : files) command += " '" + f + "'";
  command += " 2>/dev/null";
  std::vector<std::string> lines;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    std::string line;
    for (int c = std::fgetc(pipe); c != EOF; c = std::fgetc(pipe)) {
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else {
        line.push_back(static_cast<char>(c));
      }
    }
    pclose(pipe);
  }
  std::filesystem::remove(script);
  return lines;
}

std::string OurReport(const Bytes& file) {
  const Bytes block = PeVersionResource(file);
  std::string text;
  Bytes value;
  for (const char* path :
       {"\\StringFileInfo\\041103A4\\FileVersion", "\\StringFileInfo\\040904B0\\FileVersion"}) {
    if (text.empty() && QueryVersionBlock(block, path, value)) {
      text = Utf16ToUtf8(Utf16FromBytes(value.data(), value.size()));
    }
  }
  return FixedFileVersion(block) + "|" + std::to_string(block.size()) + "|" +
         std::to_string(PeIconGroupCount(file)) + "|" + text + "|" +
         std::to_string(PeResourcesOfType(file, kRtManifest).size());
}

TEST(PeReader, AgreesWithPefile) {
  if (!std::filesystem::exists("/usr/bin/python3") ||
      std::system("/usr/bin/python3 -c 'import pefile' 2>/dev/null") != 0) {
    GTEST_SKIP() << "python3-pefile is not installed";
  }
  std::vector<std::string> files;
  for (const char* name : {"ja.exe", "english.dll", "company.dll", "plain.exe"}) {
    if (test::ReadFixture(name)) files.push_back(test::FixturePath(name));
  }
  const std::vector<std::string> wine = WineFiles();
  files.insert(files.end(), wine.begin(), wine.end());
  if (files.empty()) GTEST_SKIP() << "no PE files to compare";
  const std::vector<std::string> theirs = PefileReport(files);
  ASSERT_EQ(theirs.size(), files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    const auto bytes = test::ReadHostFile(files[i]);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(OurReport(*bytes), theirs[i]) << files[i];
  }
}
#endif

}  // namespace
}  // namespace tovalin
