// Wine's registry files: every value form Wine writes, untouched keys kept byte for byte,
// changed keys written the way wineserver writes them, and malformed or hostile input refused
// with the file and line.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/LittleEndian.h"
#include "support/Text.h"
#include "support/ZelRegistry.h"
#include "support/regfile/WineRegFile.h"
#include "support/registry/TreeRegistry.h"

namespace tovalin {
namespace {

using namespace std::literals;

// Written by wineserver (Wine 8) after importing test values with regedit; every key carries
// the same stamp so that a hive regenerated at that time must come out identical.
constexpr std::string_view kStampLines = "] 1796683903\n#time=1dd869d879e1058\n";
constexpr std::uint64_t kStamp = 0x1dd869d879e1058ull;

const std::string kSample = std::string(R"(WINE REGISTRY Version 2
;; All keys relative to REGISTRY\\User\\S-1-5-21-0-0-0-1000

#arch=win64

[Software\\_under)") + std::string(kStampLines) +
                            R"(#class="cls \"q\""
"v"="1"

[Software\\Test\\a\[b\]c)" + std::string(kStampLines) +
                            R"(
[Software\\Test\\\x65e5\x672c)" +
                            std::string(kStampLines) + R"(@="default"
"[br]"="]["
"a"="x"
"B"=hex:54,00,61,00
"Bin0"=hex:
"ctl"="A\t\n\r\0011\e\0002"
"D"=dword:00000001
"dw3"=hex(4):01,02,03
"E"=str(2):"%windir%"
"Empty"=""
"hexnext"="\x65e51"
"M"=str(7):"a\0b\0"
"q"="q\"uo\\te"
"UserName"="\x5c71\x7530 \x592a\x90ce"
"Zz"=hex(0):

[Software\\Wow6432Node\\AppId)" +
                            std::string(kStampLines) + R"(#link
"SymbolicLinkValue"=hex(6):5c,00,52,00,65,00,67,00,69,00,73,00,74,00,72,00,79,\
  00,5c,00,4d,00,61,00,63,00,68,00,69,00,6e,00,65,00,5c,00,53,00,6f,00,66,00,\
  74,00,77,00,61,00,72,00,65,00,5c,00,43,00,6c,00,61,00,73,00,73,00,65,00,73,\
  00,5c,00,41,00,70,00,70,00,49,00,64,00
)";

std::vector<std::uint8_t> Utf16(std::u16string_view units) {
  std::vector<std::uint8_t> out;
  for (const char16_t u : units) AppendLe16(out, u);
  return out;
}

const RegValue& Value(const WineHive& hive, std::string_view key, std::string_view name) {
  RegNode* node = hive.root.get();
  for (const std::string& part : SplitPath(key)) {
    node = node->FindChild(part);
    if (node == nullptr) throw std::runtime_error("no key " + std::string(key));
  }
  const RegValue* value = node->FindValue(name);
  if (value == nullptr) throw std::runtime_error("no value " + std::string(name));
  return *value;
}

void MarkAll(RegNode& node) {
  node.MarkModified();
  for (auto& child : node.children) MarkAll(*child);
}

// Every key's path, state, own text and values in enumeration order.
std::string Describe(const RegNode& node) {
  std::string out = node.Path() + (node.Modified() ? " *" : "") + "\n" + std::string(node.fileText);
  for (const RegValue& value : node.Values()) out += "<" + value.name + ">";
  for (const auto& child : node.children) out += Describe(*child);
  return out;
}

TEST(WineRegFile, ReadsEveryValueForm) {
  const WineHive hive = ParseWineRegistry(kSample, "user.reg");
  EXPECT_EQ(hive.relative, "REGISTRY\\User\\S-1-5-21-0-0-0-1000");
  EXPECT_EQ(hive.arch, "win64");
  const std::string jp = "Software\\Test\\日本";
  auto is = [&](std::string_view name, std::uint32_t type, std::vector<std::uint8_t> data) {
    const RegValue& v = Value(hive, jp, name);
    EXPECT_EQ(v.type, type) << name;
    EXPECT_EQ(v.data, data) << name;
  };
  is("", win::kRegSz, Utf16(u"default\0"sv));
  is("[br]", win::kRegSz, Utf16(u"][\0"sv));
  is("B", win::kRegBinary, {0x54, 0, 0x61, 0});
  is("Bin0", win::kRegBinary, {});
  is("ctl", win::kRegSz,
     Utf16(u"A\t\n\r\x0001"
           u"1\x001b\0"
           u"2\0"sv));
  is("D", win::kRegDword, {1, 0, 0, 0});
  is("dw3", win::kRegDword, {1, 2, 3});
  is("E", win::kRegExpandSz, Utf16(u"%windir%\0"sv));
  is("Empty", win::kRegSz, {0, 0});
  is("hexnext", win::kRegSz,
     Utf16(u"\x65e5"
           u"1\0"sv));
  is("M", win::kRegMultiSz, Utf16(u"a\0b\0\0"sv));
  is("q", win::kRegSz, Utf16(u"q\"uo\\te\0"sv));
  is("UserName", win::kRegSz, Utf16(u"山田 太郎\0"sv));
  is("Zz", win::kRegNone, {});
  EXPECT_EQ(Value(hive, "Software\\Wow6432Node\\AppId", "SymbolicLinkValue").data,
            Utf16(u"\\Registry\\Machine\\Software\\Classes\\AppId"sv));

  RegNode* software = hive.root->FindChild("Software");
  ASSERT_NE(software, nullptr);
  EXPECT_TRUE(software->fileText.empty()) << "implied by its subkeys only";
  EXPECT_NE(software->FindChild("Test")->FindChild("a[b]c"), nullptr);
  EXPECT_EQ(software->FindChild("_under")->className, "cls \"q\"");
  EXPECT_TRUE(software->FindChild("Wow6432Node")->FindChild("AppId")->link);
  EXPECT_FALSE(software->FindChild("_under")->Modified());
}

TEST(WineRegFile, UntouchedHiveIsWrittenBackByteForByte) {
  EXPECT_EQ(FormatWineRegistry(ParseWineRegistry(kSample, "user.reg"), 1), kSample);
  // Whatever a hand-edited file holds stays as it was: CR LF, comments, stray blank lines,
  // a key without a time, a name spelled with other escapes, a missing last line break.
  const std::string odd =
      "WINE REGISTRY Version 2\r\n;; comment\r\n\r\n[A] 1\r\n; note\r\n\"x\"=str:\"\\x41\"\r\n"
      "\r\n\r\n[A\\\\B]\n#time=1\n\"h\"=hex(3):1,  2 ,\\\n\t3\n  \n[C] 5\n\"d\"=dword:ff";
  EXPECT_EQ(FormatWineRegistry(ParseWineRegistry(odd, "odd.reg"), 1), odd);
}

TEST(WineRegFile, KeysNestedDeeperThanTheCallStackAreReadWrittenAndFreed) {
  std::string path = "k";
  for (int depth = 1; depth < 200000; ++depth) path += "\\\\k";
  const std::string text = "WINE REGISTRY Version 2\n\n[" + path + "] 1\n\"v\"=dword:00000001\n";
  WineHive hive = ParseWineRegistry(text, "deep.reg");
  EXPECT_EQ(FormatWineRegistry(hive, kStamp), text);
  RegNode* deepest = hive.root.get();
  while (!deepest->children.empty()) deepest = deepest->children.front().get();
  deepest->MarkModified();
  const std::string changed = FormatWineRegistry(hive, kStamp);
  EXPECT_NE(changed.find("[" + path + "] "), std::string::npos);
}

TEST(WineRegFile, ChangedKeysAreWrittenAsWineserverWritesThem) {
  WineHive hive = ParseWineRegistry(kSample, "user.reg");
  MarkAll(*hive.root);
  EXPECT_EQ(FormatWineRegistry(hive, kStamp), kSample);

  hive = ParseWineRegistry(kSample, "user.reg");
  TreeRegistry registry;
  registry.SetRootNode(RootKey::CurrentUser, hive.root);
  TZelRegistry reg(registry);
  ASSERT_TRUE(reg.OpenKeyWrite("\\Software\\Test\\a[b]c", false));
  reg.WriteText("n", "v");
  reg.WriteText("m", "w");
  reg.MakeKey("\\Software\\New\\Deep");
  EXPECT_TRUE(reg.EraseKey("\\Software\\_under"));
  reg.CloseCurrent();
  // One second later.
  const std::string later = FormatWineRegistry(hive, kStamp + 10000000);
  std::string expected = kSample;
  const std::size_t under = expected.find("\n[Software\\\\_under");
  const std::size_t japanese = expected.find("\n[Software\\\\Test\\\\\\x");
  expected.replace(under, japanese - under,
                   "\n[Software\\\\New\\\\Deep] 1796683904\n#time=1dd869d8836a6d8\n"
                   "\n[Software\\\\Test\\\\a\\[b\\]c] 1796683904\n#time=1dd869d8836a6d8\n"
                   "\"m\"=\"w\"\n\"n\"=\"v\"\n");
  EXPECT_EQ(later, expected);

  // Saved, the hive is what reading the file back would give: a later save writes it as it is.
  EXPECT_EQ(JoinPieces(FormatWineRegistryAsSaved(hive, kStamp + 10000000)), expected);
  EXPECT_EQ(Describe(*hive.root), Describe(*ParseWineRegistry(expected, "user.reg").root));
  EXPECT_EQ(FormatWineRegistry(hive, kStamp + 20000000), expected);
}

TEST(WineRegFile, NamesWithLoneSurrogatesComeBackAsRead) {
  // Windows allows a name any UTF-16 units; such a key rewritten must keep its name and values.
  const std::string key =
      "[Software\\\\Classes\\\\JSEFile\\\\Sub\\xd800Key" + std::string(kStampLines);
  const std::string value = "\"N\\xdc00\"=\"\\xdbff\"\n";
  const std::string text = "WINE REGISTRY Version 2\n\n" + key + value + "\"Other\"=\"1\"\n";
  WineHive hive = ParseWineRegistry(text, "system.reg");
  TreeRegistry registry;
  registry.SetRootNode(RootKey::LocalMachine, hive.root);
  TZelRegistry reg(registry);
  reg.SetRoot(RootKey::LocalMachine);
  ASSERT_TRUE(reg.OpenKeyWrite("\\Software\\Classes\\JSEFile\\Sub\xED\xA0\x80Key", false));
  EXPECT_EQ(reg.ReadText("N\xED\xB0\x80"), "\xED\xAF\xBF");
  reg.WriteText("Other", "2");
  reg.CloseCurrent();
  const std::string saved = FormatWineRegistry(hive, kStamp);
  EXPECT_EQ(saved, "WINE REGISTRY Version 2\n\n" + key + value + "\"Other\"=\"2\"\n");
  EXPECT_EQ(FormatWineRegistry(ParseWineRegistry(saved, "system.reg"), kStamp), saved);
}

TEST(WineRegFile, ValuesOfAKeyOfManyAreFoundInItsTextAsReadingThemAllFindsThem) {
  // Each value of a key of many is looked up in the key's text, without reading the others; a
  // name given twice has its later data, in the place of the first.
  std::string text = "WINE REGISTRY Version 2\n\n[Many]\n@=\"default\"\n";
  for (int n = 0; n < 5000; ++n) {
    text += "\"Value" + std::to_string(n) + "\"=\"data " + std::to_string(n) + "\"\n";
  }
  text += "\"\\x65e5\"=dword:00000007\n\"Bin\"=hex:01,02,\\\n  03\n";
  for (const std::string& twice : {""s, "\"value7\"=dword:00000008\n"s}) {
    const WineHive looked = ParseWineRegistry(text + twice, "system.reg");
    const WineHive all = ParseWineRegistry(text + twice, "system.reg");
    const RegNode& many = *looked.root->FindChild("Many");
    const RegNode& read = *all.root->FindChild("Many");
    ASSERT_GT(read.Values().size(), 5000u);
    for (const char* name : {"", "Value0", "VALUE4999", "value7", "日", "bin", "Value5000"}) {
      const RegValue* value = many.FindValue(name);
      const RegValue* expected = read.FindValue(name);
      ASSERT_EQ(value == nullptr, expected == nullptr) << name;
      if (value == nullptr) continue;
      EXPECT_EQ(value->name, expected->name);
      EXPECT_EQ(value->type, expected->type) << name;
      EXPECT_EQ(value->data, expected->data) << name;
    }
    EXPECT_EQ(many.Values().size(), read.Values().size());
  }
}

TEST(WineRegFile, AHiveMadeFromScratchHasWinesHeader) {
  WineHive hive;
  hive.relative = "REGISTRY\\Machine";
  hive.arch = "win32";
  RegNode* key = hive.root->AddChild("Software")->AddChild("日本 x");
  key->PutValue("Bin", win::kRegBinary, std::vector<std::uint8_t>(30, 0xab));
  key->PutValue("", win::kRegSz, {'a', 0});  // no NUL unit: kept as raw bytes
  EXPECT_EQ(FormatWineRegistry(hive, kStamp),
            "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win32\n"
            "\n[Software\\\\\\x65e5\\x672c x] 1796683903\n#time=1dd869d879e1058\n@=hex(1):61,00\n"
            "\"Bin\"=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\n"
            "  ab,ab,ab,ab,ab,ab,ab\n");
}

TEST(WineRegFile, MalformedInputNamesFileAndLine) {
  const std::string head = "WINE REGISTRY Version 2\n\n";
  const struct {
    std::string text;
    std::size_t line;
    std::string says;
  } cases[] = {
      {"WINE REGISTRY Version 1\n", 1, "Wine のレジストリファイルではありません"},
      {head + "\"v\"=\"x\"\n", 3, "キーより前に値があります"},
      {head + "[A]\n\"v\"=\"unterminated\n", 4, "文字列の終わりの \" がありません"},
      {head + "[A]\n\"v\"=\"bad \\q escape\"\n", 4, "不明なエスケープ \\q"},
      {head + "[A]\n\"v\"=\"\\x\"\n", 4, "\\x の後に 16 進数がありません"},
      {head + "[A]\n\"v\"=hex:12,zz\n", 4, "16 進数のデータが正しくありません"},
      {head + "[A]\n\"v\"=hex:12,\\\n", 4, "ファイルが終わっています"},
      {head + "[A]\n\"v\"=dword:123456789\n", 4, "dword の値"},
      {head + "[A]\n\"v\"=text:1\n", 4, "値の形式が不明です"},
      {head + "[A]\n\"v\" \"x\"\n", 4, "値の名前の後に = がありません"},
      {head + "[A]\n\"v\"=\"x\" tail\n", 4, "値の後に余分な文字があります"},
      {head + "[A\\\\\\\\B]\n", 3, "キーのパスに空の名前があります"},
      {head + "[A] x\n", 3, "キー名の後に余分な文字があります"},
      {head + "[A\n", 3, "文字列の終わりの ] がありません"},
      {head + "[A]\n\"v\"=\"\xC3\"\n", 4, "UTF-8 の文字として正しくない"},
      {head + "[A]\ngarbage\n", 4, "解釈できない行です"},
      {head + "[A]\n#time=\n", 4, "#time= の行"},
      {head + "[A]\n\"v\"=str(x):\"\"\n", 4, "str( の型番号"},
      {head + "[A]\n\"v\"=hex(x):00\n", 4, "hex( の型番号"},
      {head + "[A]\n\"v\"=hex:01,\\\n  02,\\\n  zz\n", 6, "16 進数のデータの続きのはずの行"},
      // A continued value is never cut short by what follows it.
      {head + "[A]\n\"v\"=hex:01,\\\n\n[B]\n", 6, "16 進数のデータの続きのはずの行"},
      {head + "[A]\n\"v\"=hex:01,\\\n;c\n\n", 6, "ファイルが終わっています"},
  };
  for (const auto& c : cases) {
    try {
      ParseWineRegistry(c.text, "bad.reg");
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const RegFileError& e) {
      EXPECT_EQ(e.line, c.line) << c.text;
      EXPECT_EQ(e.file, "bad.reg");
      const std::string what = e.what();
      EXPECT_EQ(what.rfind("bad.reg の " + std::to_string(c.line) + " 行目: ", 0), 0u) << what;
      EXPECT_NE(what.find(c.says), std::string::npos) << what;
    }
  }
  // An empty file has no line to blame.
  try {
    ParseWineRegistry("", "empty.reg");
    ADD_FAILURE() << "accepted an empty file";
  } catch (const RegFileError& e) {
    EXPECT_EQ(e.line, 0u);
    EXPECT_STREQ(e.what(), "empty.reg は空のファイルです。");
  }
  EXPECT_THROW(LoadWineRegistryFile("/nonexistent/tovalin/system.reg"), RegFileError);
  // Blank and comment lines between continued lines are passed over, as regedit does.
  EXPECT_EQ(
      Value(ParseWineRegistry(head + "[A]\n\"v\"=hex:01,\\\n\n;c\n  02\n", "x.reg"), "A", "v").data,
      (std::vector<std::uint8_t>{1, 2}));
}

TEST(WineRegFile, HostileInputNeverCrashes) {
  // Whatever parses must also come out as a file that parses to the same text again, and its
  // values, checked while it was read, must be read later without fault.
  auto check = [](const std::string& text) {
    WineHive hive;
    try {
      hive = ParseWineRegistry(text, "x.reg");
    } catch (const RegFileError&) {
      return;
    }
    const std::string out = FormatWineRegistry(hive, kStamp);
    EXPECT_EQ(FormatWineRegistry(ParseWineRegistry(out, "x.reg"), kStamp), out);
    MarkAll(*hive.root);
    const std::string written = FormatWineRegistry(hive, kStamp);
    WineHive again = ParseWineRegistry(written, "x.reg");
    MarkAll(*again.root);
    EXPECT_EQ(FormatWineRegistry(again, kStamp), written);
  };
  for (std::size_t n = 0; n <= kSample.size(); ++n) check(kSample.substr(0, n));
  std::mt19937 random(20240611);
  const std::string alphabet = "[]\\\"@=:,()#;x0a\n\r \t\x80\xE6\xFF";
  for (int round = 0; round < 3000; ++round) {
    std::string text = kSample;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = random() % text.size();
      const char c =
          random() % 2 ? static_cast<char>(random() % 256) : alphabet[random() % alphabet.size()];
      switch (random() % 3) {
        case 0:
          text[at] = c;
          break;
        case 1:
          text.insert(at, 1, c);
          break;
        default:
          text.erase(at, 1);
      }
    }
    check(text);
  }
}

// Every key of the tree below `node`, the node first.
std::vector<RegNode*> Keys(RegNode& node) {
  std::vector<RegNode*> keys{&node};
  for (std::size_t k = 0; k < keys.size(); ++k) {
    for (auto& child : keys[k]->children) keys.push_back(child.get());
  }
  return keys;
}

TEST(WineRegFile, SubtreeTextsWriteWhatTheKeysHold) {
  // A key whose subtree is written as one piece of the file must come out as writing its keys
  // one by one would: files in wineserver's order or not, keys named twice, any changes.
  const char* const names[] = {"a", "A", "b", "_", "Z", "日", "k"};
  std::mt19937 random(7);
  auto pick = [&](std::size_t n) { return static_cast<std::size_t>(random() % n); };
  auto change = [&](RegNode& root) {
    const std::vector<RegNode*> keys = Keys(root);
    RegNode& key = *keys[pick(keys.size())];
    switch (pick(4)) {
      case 0:
        key.PutValue(names[pick(7)], win::kRegDword, {1, 2, 3, 4});
        break;
      case 1:
        key.AddChild(names[pick(7)])->PutValue("", win::kRegSz, {'n', 0, 0, 0});
        break;
      case 2:
        if (!key.children.empty()) key.RemoveChild(key.children[pick(key.children.size())]->name);
        break;
      default:
        key.MarkModified();
    }
  };
  auto check = [](WineHive& hive) {
    const std::string written = FormatWineRegistry(hive, kStamp);
    std::vector<std::pair<RegNode*, std::string_view>> kept;
    for (RegNode* key : Keys(*hive.root)) {
      kept.emplace_back(key, std::exchange(key->subtreeText, {}));
    }
    EXPECT_EQ(FormatWineRegistry(hive, kStamp), written);
    for (auto& [key, text] : kept) key->subtreeText = text;
  };
  for (int round = 0; round < 400; ++round) {
    // A file as wineserver writes it, then perhaps with two key blocks swapped or one repeated.
    WineHive made;
    for (int k = 0; k < 8; ++k) change(*made.root);
    for (RegNode* key : Keys(*made.root)) key->MarkModified();
    std::string text = FormatWineRegistry(made, kStamp);
    std::vector<std::size_t> blocks;
    for (std::size_t at = text.find("\n["); at != std::string::npos;
         at = text.find("\n[", at + 1)) {
      blocks.push_back(at);
    }
    if (blocks.size() >= 2 && pick(3) != 0) {
      const std::size_t k = pick(blocks.size() - 1);
      const std::size_t end = k + 2 < blocks.size() ? blocks[k + 2] : text.size();
      const std::string first = text.substr(blocks[k], blocks[k + 1] - blocks[k]);
      const std::string second = text.substr(blocks[k + 1], end - blocks[k + 1]);
      text.replace(blocks[k], end - blocks[k], pick(2) ? second + first : first + second + first);
    }
    WineHive hive = ParseWineRegistry(text, "x.reg");
    check(hive);
    for (int saves = 0; saves < 3; ++saves) {
      for (int k = static_cast<int>(pick(3)); k > 0; --k) change(*hive.root);
      check(hive);
      FormatWineRegistryAsSaved(hive, kStamp);
      check(hive);
    }
  }
}

}  // namespace
}  // namespace tovalin
