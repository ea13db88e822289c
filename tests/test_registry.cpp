// Registry access: the path rule, opens and rights, tree erase and rename, and the text reads
// and writes that treat REG_SZ and REG_BINARY UTF-16 text alike.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "support/Text.h"
#include "support/ZelRegistry.h"
#include "support/platform/memory/MemoryPlatform.h"
#include "tests/World.h"

namespace tovalin {
namespace {

constexpr const char* kBase = "Software\\Tovalin-test\\Registry";

std::vector<std::uint8_t> Utf16Z(std::string_view text) {
  std::vector<std::uint8_t> data = Utf8ToUtf16Bytes(text);
  data.push_back(0);
  data.push_back(0);
  return data;
}

class Registry : public testing::TestWithParam<test::WorldParam> {
 protected:
  void SetUp() override {
    world_ = GetParam().make();
    world_->DeleteTree(RootKey::CurrentUser, kBase);
  }

  static std::string Key(std::string_view sub) {
    return std::string(kBase) + "\\" + std::string(sub);
  }

  // The value as the registry holds it; type 0xFFFFFFFF when missing.
  std::pair<std::uint32_t, std::vector<std::uint8_t>> Raw(std::string_view key,
                                                          std::string_view name) {
    IRegistry& reg = world_->platform().Registry();
    std::uint32_t type = 0xFFFFFFFF;
    std::vector<std::uint8_t> data;
    RegHandle handle = 0;
    if (reg.OpenKey(reg.Root(RootKey::CurrentUser), key, win::kKeyRead, handle) == win::kSuccess) {
      if (reg.QueryValue(handle, name, type, &data) != win::kSuccess) type = 0xFFFFFFFF;
      reg.CloseKey(handle);
    }
    return {type, data};
  }

  std::unique_ptr<TZelRegistry> Open(std::string_view sub) {
    auto reg = std::make_unique<TZelRegistry>(world_->platform().Registry());
    EXPECT_TRUE(reg->OpenKeyRead("\\" + Key(sub)));
    return reg;
  }

  std::unique_ptr<test::World> world_;
};

TEST_P(Registry, SetRootKeepsTheKeyOnlyForTheSameRoot) {
  world_->SetString(RootKey::CurrentUser, Key("Root"), "v", "x");
  TZelRegistry reg(world_->platform().Registry());
  EXPECT_EQ(reg.Root(), RootKey::CurrentUser);
  ASSERT_TRUE(reg.OpenKeyRead("\\" + Key("Root")));
  reg.SetRoot(RootKey::CurrentUser);
  EXPECT_TRUE(reg.HasValue("v"));
  reg.SetRoot(RootKey::LocalMachine);
  EXPECT_FALSE(reg.HasCurrentKey());
  EXPECT_FALSE(reg.HasValue("v"));
}

TEST_P(Registry, RelativePathsFollowTheCurrentKey) {
  const std::string guid = "{7D1A0A52-0000-4000-8000-70766C696E00}";
  world_->SetString(RootKey::ClassesRoot, "Excel.Application\\CLSID", "", "{excel-clsid}");
  world_->CreateKey(RootKey::ClassesRoot, "CLSID\\" + guid);
  TZelRegistry reg(world_->platform().Registry());
  reg.SetRoot(RootKey::ClassesRoot);
  ASSERT_TRUE(reg.OpenKeyRead("\\Excel.Application"));
  ASSERT_TRUE(reg.OpenKeyRead("CLSID"));
  EXPECT_EQ(reg.ReadText(""), "{excel-clsid}");
  ASSERT_TRUE(reg.OpenKeyRead("\\CLSID"));
  const std::vector<std::string> subKeys = reg.ListSubKeys();
  EXPECT_NE(std::find(subKeys.begin(), subKeys.end(), guid), subKeys.end());
  // A failed open leaves the current key as it was.
  EXPECT_FALSE(reg.OpenKeyRead("no-such-key-here"));
  EXPECT_TRUE(reg.HasKey(guid));
  world_->DeleteTree(RootKey::ClassesRoot, "Excel.Application");
  world_->DeleteTree(RootKey::ClassesRoot, "CLSID\\" + guid);
}

TEST_P(Registry, EmptyPathOpensTheRoot) {
  world_->CreateKey(RootKey::CurrentUser, Key("x"));
  TZelRegistry reg(world_->platform().Registry());
  ASSERT_TRUE(reg.OpenKeyRead(""));
  const std::vector<std::string> subKeys = reg.ListSubKeys();
  EXPECT_TRUE(std::any_of(subKeys.begin(), subKeys.end(),
                          [](const std::string& s) { return EqualsNoCase(s, "Software"); }));
  TZelRegistry none(world_->platform().Registry());
  EXPECT_TRUE(none.ListSubKeys().empty());
  EXPECT_TRUE(none.ListValueNames().empty());
}

TEST_P(Registry, ReadOpenLowersTheRightsOfLaterWrites) {
  world_->SetDword(RootKey::CurrentUser, Key("Rights"), "n", 1);
  TZelRegistry reg(world_->platform().Registry());
  EXPECT_EQ(reg.Access(), win::kKeyAllAccess);
  ASSERT_TRUE(reg.OpenKeyRead("\\" + Key("Rights")));
  EXPECT_EQ(reg.Access(), win::kKeyRead);
  EXPECT_TRUE(reg.HasKey("\\" + Key("Rights")));
  EXPECT_EQ(reg.Access(), win::kKeyRead);
  ASSERT_TRUE(reg.OpenKeyWrite("\\" + Key("Rights"), false));
  EXPECT_THROW(
      try { reg.WriteDword("n", 2); } catch (const ERegistryException& e) {
        EXPECT_STREQ(e.what(), "'n' の設定に失敗しました");
        throw;
      },
      ERegistryException);
  EXPECT_EQ(reg.ReadDword("n"), 1);

  TZelRegistry fresh(world_->platform().Registry());
  ASSERT_TRUE(fresh.OpenKeyWrite("\\" + Key("Rights\\New\\Deeper"), true));
  fresh.WriteDword("n", -5);
  EXPECT_EQ(fresh.ReadDword("n"), -5);
  EXPECT_EQ(Raw(Key("Rights\\New\\Deeper"), "n").second,
            (std::vector<std::uint8_t>{0xFB, 0xFF, 0xFF, 0xFF}));
}

TEST_P(Registry, EraseKeyRemovesWholeTrees) {
  world_->SetString(RootKey::CurrentUser, Key("Erase\\a\\b\\c"), "v", "1");
  world_->SetString(RootKey::CurrentUser, Key("Erase\\a\\d"), "", "2");
  world_->SetDword(RootKey::CurrentUser, Key("Erase"), "top", 3);
  world_->CreateKey(RootKey::CurrentUser, Key("Kept"));
  TZelRegistry reg(world_->platform().Registry());
  EXPECT_TRUE(reg.EraseKey("\\" + Key("Erase")));
  EXPECT_FALSE(world_->KeyExists(RootKey::CurrentUser, Key("Erase")));
  EXPECT_TRUE(world_->KeyExists(RootKey::CurrentUser, Key("Kept")));
  EXPECT_FALSE(reg.EraseKey("\\" + Key("Erase")));
  // Relative to the current key, as the read-only verb is removed.
  world_->CreateKey(RootKey::CurrentUser, Key("shell\\ReadOnly\\command"));
  TZelRegistry rel(world_->platform().Registry());
  ASSERT_TRUE(rel.OpenKeyWrite("\\" + Key("shell"), false));
  EXPECT_TRUE(rel.EraseKey("ReadOnly"));
  EXPECT_FALSE(world_->KeyExists(RootKey::CurrentUser, Key("shell\\ReadOnly")));
  EXPECT_TRUE(world_->KeyExists(RootKey::CurrentUser, Key("shell")));
}

TEST_P(Registry, RenameKeyMovesTheTreeWithTypesAndData) {
  const std::string from = Key("Layout");
  world_->SetString(RootKey::CurrentUser, from, "", "default");
  world_->SetString(RootKey::CurrentUser, from, "1", "00000411");
  world_->SetString(RootKey::CurrentUser, from + "\\a\\b", "e", "%windir%", win::kRegExpandSz);
  world_->SetValue(RootKey::CurrentUser, from + "\\a\\b", "m", win::kRegMultiSz,
                   Utf16Z(std::string("x\0y\0", 4)));
  world_->SetBinary(RootKey::CurrentUser, from + "\\a", "bin", {1, 2, 3});
  world_->SetBinary(RootKey::CurrentUser, from + "\\a", "empty", {});
  world_->SetDword(RootKey::CurrentUser, from + "\\a\\b\\c", "d", 7);
  TZelRegistry reg(world_->platform().Registry());
  reg.RenameKey("\\" + from, "\\" + from + "_bak");
  EXPECT_FALSE(world_->KeyExists(RootKey::CurrentUser, from));
  const std::string to = from + "_bak";
  EXPECT_EQ(Raw(to, "").second, Utf16Z("default"));
  EXPECT_EQ(Raw(to, "1").second, Utf16Z("00000411"));
  EXPECT_EQ(Raw(to + "\\a\\b", "e"), std::make_pair(win::kRegExpandSz, Utf16Z("%windir%")));
  EXPECT_EQ(Raw(to + "\\a\\b", "m").first, win::kRegMultiSz);
  EXPECT_EQ(Raw(to + "\\a", "bin"),
            std::make_pair(win::kRegBinary, std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(Raw(to + "\\a", "empty").first, 0xFFFFFFFF) << "zero-length values are not copied";
  EXPECT_EQ(Raw(to + "\\a\\b\\c", "d").first, win::kRegDword);
}

TEST_P(Registry, RenameKeyRefusesWhatItCannotDoCleanly) {
  world_->SetString(RootKey::CurrentUser, Key("Src\\sub"), "v", "src");
  world_->SetString(RootKey::CurrentUser, Key("Dst"), "v", "dst");
  TZelRegistry reg(world_->platform().Registry());
  reg.RenameKey("\\" + Key("Src"), "\\" + Key("Dst"));
  reg.RenameKey("\\" + Key("Missing"), "\\" + Key("New"));
  reg.RenameKey("\\" + Key("Src"), "\\" + Key("Src\\sub\\inside"));
  EXPECT_EQ(Raw(Key("Src\\sub"), "v").second, Utf16Z("src"));
  EXPECT_EQ(Raw(Key("Dst"), "v").second, Utf16Z("dst"));
  EXPECT_FALSE(world_->KeyExists(RootKey::CurrentUser, Key("Dst\\sub")));
  EXPECT_FALSE(world_->KeyExists(RootKey::CurrentUser, Key("New")));
  EXPECT_FALSE(world_->KeyExists(RootKey::CurrentUser, Key("Src\\sub\\inside")));
}

TEST_P(Registry, ReadTextAcceptsTextAndBinaryUtf16) {
  const std::string key = Key("Text");
  world_->SetBinary(RootKey::CurrentUser, key, "UserName", Utf16Z("山田 太郎"));
  world_->SetBinary(RootKey::CurrentUser, key, "Empty", {});
  world_->SetBinary(RootKey::CurrentUser, key, "Big", std::vector<std::uint8_t>(522, 0x41));
  std::vector<std::uint8_t> full(520, 0);
  for (std::size_t i = 0; i < full.size(); i += 2) full[i] = 'a';
  world_->SetBinary(RootKey::CurrentUser, key, "Full", full);
  world_->SetString(RootKey::CurrentUser, key, "Sz", "会社");
  world_->SetString(RootKey::CurrentUser, key, "Exp", "%TEMP%\\x", win::kRegExpandSz);
  world_->SetValue(RootKey::CurrentUser, key, "SzEmpty", win::kRegSz, {});
  world_->SetDword(RootKey::CurrentUser, key, "Dw", 1);
  world_->SetValue(RootKey::CurrentUser, key, "Multi", win::kRegMultiSz,
                   Utf16Z(std::string("a\0", 2)));
  const auto reg = Open("Text");
  EXPECT_EQ(reg->ReadText("UserName"), "山田 太郎");
  EXPECT_EQ(reg->ReadText("Empty"), "");
  EXPECT_EQ(reg->ReadText("Missing"), "");
  EXPECT_EQ(reg->ReadText("Full"), std::string(260, 'a'));
  EXPECT_EQ(reg->ReadText("Sz"), "会社");
  EXPECT_EQ(reg->ReadText("Exp"), "%TEMP%\\x");
  EXPECT_EQ(reg->ReadText("SzEmpty"), "");
  for (const char* name : {"Big", "Dw", "Multi"}) {
    try {
      reg->ReadText(name);
      ADD_FAILURE() << name << " did not raise";
    } catch (const ERegistryDataTypeException& e) {
      EXPECT_EQ(e.what(), "HKEY_CURRENT_USER\\" + key + " の値 " + name + " のデータ型が不正です");
    }
  }
}

TEST_P(Registry, WriteTextKeepsTheStoredForm) {
  const std::string key = Key("Write");
  world_->SetBinary(RootKey::CurrentUser, key, "Bin", Utf16Z("old value"));
  world_->SetString(RootKey::CurrentUser, key, "Exp", "%x%", win::kRegExpandSz);
  world_->SetBinary(RootKey::CurrentUser, key, "Long", {0, 0});
  TZelRegistry reg(world_->platform().Registry());
  ASSERT_TRUE(reg.OpenKeyWrite("\\" + key, false));
  reg.WriteText("Bin", "Taro");
  reg.WriteText("New", "太郎");
  reg.WriteText("Exp", "plain");
  reg.WriteText("Long", std::string(300, 'z'));
  EXPECT_EQ(Raw(key, "Bin"), std::make_pair(win::kRegBinary, Utf16Z("Taro")));
  EXPECT_EQ(Raw(key, "Bin").second.size(), 10u);
  EXPECT_EQ(Raw(key, "New"), std::make_pair(win::kRegSz, Utf16Z("太郎")));
  EXPECT_EQ(Raw(key, "Exp"), std::make_pair(win::kRegSz, Utf16Z("plain")));
  EXPECT_EQ(Raw(key, "Long"), std::make_pair(win::kRegBinary, Utf16Z(std::string(259, 'z'))));
  EXPECT_EQ(reg.ReadText("Long"), std::string(259, 'z'));
}

TEST_P(Registry, ReadDwordRaisesOnWhatItCannotRead) {
  const std::string key = Key("Dword");
  world_->SetDword(RootKey::CurrentUser, key, "ok", 0x12345678);
  world_->SetString(RootKey::CurrentUser, key, "long", "text");
  world_->SetValue(RootKey::CurrentUser, key, "short", win::kRegSz, {0, 0});
  const auto reg = Open("Dword");
  EXPECT_EQ(reg->ReadDword("ok"), 0x12345678);
  auto message = [&](const char* name) {
    try {
      reg->ReadDword(name);
    } catch (const ERegistryException& e) {
      return std::string(e.what());
    }
    return std::string("no error");
  };
  EXPECT_EQ(message("missing"), "'missing' の取得に失敗しました");
  EXPECT_EQ(message("long"), "'long' の取得に失敗しました");
  EXPECT_EQ(message("short"), "HKEY_CURRENT_USER\\" + key + " の値 short のデータ型が不正です");
}

TEST_P(Registry, ListingStopsAtANameTooLongForTheBuffer) {
  if (!world_->Supports(test::Feature::LongKeyNames)) GTEST_SKIP() << "no long key names";
  const std::string fits = "b" + std::string(258, 'x');     // 259 units and the NUL: fits
  const std::string tooLong = "c" + std::string(259, 'x');  // 260 units: does not
  for (const std::string& name : {std::string("a"), fits, tooLong, std::string("d")}) {
    world_->CreateKey(RootKey::CurrentUser, Key("Long\\" + name));
  }
  EXPECT_EQ(Open("Long")->ListSubKeys(), (std::vector<std::string>{"a", fits}));
}

INSTANTIATE_TEST_SUITE_P(All, Registry, testing::ValuesIn(test::AllWorlds()),
                         [](const auto& info) { return test::WorldName(info.param); });

// Rights a world cannot set up on every backend.
TEST(MemoryRegistryAccess, QueryOnlyKeyOpensForReadingButRefusesWrites) {
  MemoryPlatform platform;
  platform.registry.SetDword(RootKey::LocalMachine, "Software\\Locked", "n", 5);
  platform.registry.SetAccess(RootKey::LocalMachine, "Software\\Locked", win::kKeyQueryValue);
  TZelRegistry reg(platform.registry);
  reg.SetRoot(RootKey::LocalMachine);
  EXPECT_FALSE(reg.HasKey("\\Software\\Locked"));
  ASSERT_TRUE(reg.OpenKeyRead("\\Software\\Locked"));
  EXPECT_EQ(reg.Access(), win::kKeyQueryValue);
  EXPECT_EQ(reg.ReadDword("n"), 5);
  EXPECT_TRUE(reg.ListSubKeys().empty());
  ASSERT_TRUE(reg.OpenKeyWrite("\\Software\\Locked", false));
  try {
    reg.WriteText("t", "x");
    ADD_FAILURE() << "write through a query-only key succeeded";
  } catch (const ERegistryException& e) {
    EXPECT_STREQ(e.what(), "'t' の設定に失敗しました");
  }
  EXPECT_FALSE(reg.EraseKey("\\Software\\Locked"));
  EXPECT_EQ(platform.registry.OpenHandleCount(), 1u);
  reg.CloseCurrent();
  EXPECT_EQ(platform.registry.OpenHandleCount(), 0u);
}

TEST(MemoryRegistryAccess, ARenameStoppedByAnErrorLeavesNoKeyOpen) {
  MemoryPlatform platform;
  platform.registry.SetDword(RootKey::CurrentUser, "Software\\Src\\a\\b", "n", 1);
  // The store refuses the copy's first value, as a prefix refuses changes while Wine runs.
  int changes = 0;
  platform.registry.writeGuard = [&](std::string& why) -> long {
    if (++changes <= 3) return win::kSuccess;
    why = "refused";
    return win::kBusy;
  };
  {
    TZelRegistry reg(platform.registry);
    EXPECT_THROW(reg.RenameKey("\\Software\\Src", "\\Software\\Dst"), ERegistryException);
  }
  EXPECT_EQ(platform.registry.OpenHandleCount(), 0u);
}

TEST(MemoryRegistryAccess, EmptyPathDeletesTheOpenKey) {
  MemoryPlatform platform;
  platform.registry.SetDword(RootKey::CurrentUser, "Software\\Gone\\sub", "n", 1);
  TZelRegistry reg(platform.registry);
  ASSERT_TRUE(reg.OpenKeyWrite("\\Software\\Gone", false));
  EXPECT_TRUE(reg.EraseKey(""));
  EXPECT_EQ(platform.registry.Find(RootKey::CurrentUser, "Software\\Gone"), nullptr);
  EXPECT_NE(platform.registry.Find(RootKey::CurrentUser, "Software"), nullptr);
  EXPECT_NE(platform.registry.DeleteKey(platform.registry.Root(RootKey::CurrentUser), ""),
            win::kSuccess);
}

// A key of many values is looked up through an index; whatever is done to the list, lookups
// agree with a plain scan and the values keep their order.
TEST(MemoryRegistryAccess, ManyValuesAreFoundByNameWhateverHappensToTheList) {
  RegNode key;
  for (int n = 0; n < 100; ++n) {
    // Appended: GCC 12 at -O3 reports a false -Wrestrict overlap for "V" + std::to_string(...).
    std::string name = "V";
    name += std::to_string(n);
    key.PutValue(name, win::kRegDword, {});
  }
  auto names = [](const RegNode& node) {
    std::string out;
    for (const RegValue& v : node.Values()) out += v.name + ",";
    return out;
  };
  EXPECT_TRUE(key.RemoveValue("v50"));
  key.PutValue("Neu", win::kRegSz, {});
  std::reverse(key.EditValues().begin(),
               key.EditValues().end());  // in place, as a writer sorts them
  RegNode copy = key;
  for (const RegNode* node : {&key, &copy}) {
    EXPECT_EQ(node->FindValue("V50"), nullptr);
    ASSERT_NE(node->FindValue("neu"), nullptr);
    EXPECT_EQ(node->FindValue("v99")->name, "V99");
    EXPECT_EQ(names(*node).substr(0, 12), "Neu,V99,V98,");
  }
}

}  // namespace
}  // namespace tovalin
