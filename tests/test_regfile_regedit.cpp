// Regedit exports applied to an in-memory registry: both versions, both encodings, every value
// form, deletions, and malformed files refused whole with the file and line.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "support/Text.h"
#include "support/platform/exports/ExportsPlatform.h"
#include "support/regfile/RegeditFile.h"

namespace tovalin {
namespace {

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

std::vector<std::uint8_t> Utf16File(std::string_view text) {
  std::vector<std::uint8_t> out = {0xFF, 0xFE};
  const std::vector<std::uint8_t> body = Utf8ToUtf16Bytes(text);
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

std::vector<std::uint8_t> Utf16Z(std::string_view text) {
  std::vector<std::uint8_t> data = Utf8ToUtf16Bytes(text);
  data.push_back(0);
  data.push_back(0);
  return data;
}

const RegValue* Find(const TreeRegistry& registry, RootKey root, std::string_view key,
                     std::string_view name) {
  const RegNode* node = registry.Find(root, key);
  return node == nullptr ? nullptr : node->FindValue(name);
}

TEST(RegeditFile, Version5InUtf16) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "; exported\r\n"
      "[HKEY_CURRENT_USER\\Software\\Tovalin\\日本]\r\n"
      "@=\"既定\"\r\n"
      "\"名前\"=\"山田 \\\"太郎\\\" C:\\\\x\"\r\n"
      "\"Count\"=dword:0000002a\r\n"
      "\"Bin\"=hex:01,02,\\\r\n"
      "  03,ff\r\n"
      "\"Exp\"=hex(2):25,00,54,00,45,00,4d,00,50,00,25,00,00,00\r\n"
      "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
      "\"None\"=hex(0):\r\n\r\n"
      "[HKLM\\SOFTWARE\\Microsoft\\Office\\11.0]\r\n"
      "[HKEY_CLASSES_ROOT\\.xls]\r\n@=\"Excel.Sheet.8\"\r\n"
      "[HKU\\.DEFAULT\\Keyboard Layout\\Preload]\r\n\"1\"=\"00000411\"\r\n"
      // Lone surrogates, which UTF-16 files can hold.
      "[HKCU\\Sub\xED\xA0\x80Key]\r\n\"N\xED\xB0\x80\"=\"\xED\xAF\xBF\"\r\n";
  TreeRegistry registry;
  ApplyRegeditFile(Utf16File(text), "export.reg", registry);
  EXPECT_EQ(registry.GetString(RootKey::CurrentUser, "Sub\xED\xA0\x80Key", "N\xED\xB0\x80"),
            "\xED\xAF\xBF");
  const std::string key = "Software\\Tovalin\\日本";
  EXPECT_EQ(registry.GetString(RootKey::CurrentUser, key, ""), "既定");
  EXPECT_EQ(registry.GetString(RootKey::CurrentUser, key, "名前"), "山田 \"太郎\" C:\\x");
  EXPECT_EQ(registry.GetDword(RootKey::CurrentUser, key, "Count"), 42u);
  EXPECT_EQ(Find(registry, RootKey::CurrentUser, key, "Bin")->data,
            (std::vector<std::uint8_t>{1, 2, 3, 0xFF}));
  const RegValue* exp = Find(registry, RootKey::CurrentUser, key, "Exp");
  EXPECT_EQ(exp->type, win::kRegExpandSz);
  EXPECT_EQ(exp->data, Utf16Z("%TEMP%"));
  EXPECT_EQ(Find(registry, RootKey::CurrentUser, key, "Multi")->data,
            Utf16Z(std::string("a\0b\0", 4)));
  EXPECT_EQ(Find(registry, RootKey::CurrentUser, key, "None")->type, win::kRegNone);
  EXPECT_NE(registry.Find(RootKey::LocalMachine, "SOFTWARE\\Microsoft\\Office\\11.0"), nullptr);
  EXPECT_EQ(registry.GetString(RootKey::ClassesRoot, ".xls", ""), "Excel.Sheet.8");
  EXPECT_EQ(registry.GetString(RootKey::Users, ".DEFAULT\\Keyboard Layout\\Preload", "1"),
            "00000411");
}

TEST(RegeditFile, Regedit4KeepsStringTypesAsAnsiBytes) {
  const std::string text =
      "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\T]\n"
      "\"Exp\"=hex(2):25,77,69,6e,64,69,72,25,00\n"
      "\"Multi\"=hex(7):e6,97,a5,00,62,00,00\n"
      "\"Bin\"=hex:e6,97\n"
      "\"S\"=\"会社\"\n";
  for (const std::string& prefix : {std::string(), std::string("\xEF\xBB\xBF")}) {
    TreeRegistry registry;
    ApplyRegeditFile(Bytes(prefix + text), "ansi.reg", registry);
    const std::string key = "Software\\T";
    EXPECT_EQ(Find(registry, RootKey::LocalMachine, key, "Exp")->data, Utf16Z("%windir%"));
    EXPECT_EQ(Find(registry, RootKey::LocalMachine, key, "Multi")->data,
              Utf16Z(std::string("日\0b\0", 6)));
    EXPECT_EQ(Find(registry, RootKey::LocalMachine, key, "Bin")->data,
              (std::vector<std::uint8_t>{0xE6, 0x97}));
    EXPECT_EQ(registry.GetString(RootKey::LocalMachine, key, "S"), "会社");
  }
}

TEST(RegeditFile, ShiftJisExportsAndContinuedHexData) {
  // Shift_JIS as Japanese Windows writes REGEDIT4: 表 and ソ end in 0x5C, a backslash in ASCII.
  const std::string sjis =
      "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\\x95\x5c]\r\n"
      "\"\x96\xbc\"=\"\x83\x5c\x83\x74\x83\x67\"\r\n\"E\"=hex(2):95,5c,00\r\n";
  const struct {
    std::string file, key, name;
    std::vector<std::uint8_t> data;
  } cases[] = {
      {sjis, "Software\\表", "名", Utf16Z("ソフト")},
      {sjis, "Software\\表", "E", Utf16Z("表")},
      {"REGEDIT4\n[HKCU\\A]\n\"E\"=hex(2):95,5c,00\n", "A", "E", Utf16Z("表")},
      {"REGEDIT4\n[HKCU\\A]\n\"B\"=hex:01,02,\\\n\n  ; note\n  03\n", "A", "B", {1, 2, 3}},
  };
  for (const auto& c : cases) {
    TreeRegistry registry;
    ApplyRegeditFile(Bytes(c.file), "x.reg", registry);
    const RegValue* value = Find(registry, RootKey::CurrentUser, c.key, c.name);
    ASSERT_NE(value, nullptr) << c.file;
    EXPECT_EQ(value->data, c.data) << c.file;
  }
}

TEST(RegeditFile, DeletionsRemoveTreesAndValues) {
  TreeRegistry registry;
  registry.SetString(RootKey::CurrentUser, "Software\\A\\B\\C", "v", "x");
  registry.SetString(RootKey::CurrentUser, "Software\\Keep", "", "d");
  registry.SetString(RootKey::CurrentUser, "Software\\Keep", "gone", "x");
  for (RegNode* n : {registry.Find(RootKey::CurrentUser, "Software"),
                     registry.Find(RootKey::CurrentUser, "Software\\Keep")}) {
    n->MarkSaved();
  }
  std::vector<std::string> changed;
  registry.onChange = [&](RegNode& node) { changed.push_back(node.Path()); };
  ApplyRegeditFile(Bytes("Windows Registry Editor Version 5.00\n"
                         "[-HKCU\\Software\\A]\n\"ignored\"=\"under a deleted key\"\n"
                         "[-HKCU\\Software\\Never\\There]\n"
                         "[HKCU\\Software\\Keep]\n\"gone\"=-\n@=-\n\"missing\"=-\n"),
                   "del.reg", registry);
  EXPECT_EQ(registry.Find(RootKey::CurrentUser, "Software\\A"), nullptr);
  const RegNode* keep = registry.Find(RootKey::CurrentUser, "Software\\Keep");
  ASSERT_NE(keep, nullptr);
  EXPECT_TRUE(keep->Values().empty());
  EXPECT_TRUE(keep->Modified());
  EXPECT_TRUE(registry.Find(RootKey::CurrentUser, "Software")->Modified());
  EXPECT_EQ(changed, (std::vector<std::string>{"Software", "Software\\Keep", "Software\\Keep"}));
}

TEST(RegeditFile, MalformedFilesNameTheLineAndChangeNothing) {
  const std::string head = "Windows Registry Editor Version 5.00\n\n";
  const struct {
    std::string text;
    std::size_t line;
    std::string says;
  } cases[] = {
      {"REGEDIT5\n", 1, "レジストリの書き出しファイルではありません"},
      {head + "\"v\"=\"x\"\n", 3, "キーより前に値があります"},
      {head + "[HKEY_CURRENT_CONFIG\\X]\n", 3,
       "ルートキー HKEY_CURRENT_CONFIG には対応していません"},
      {head + "[HKCU\\X\n", 3, "キー名の後に ] がありません"},
      {head + "[HKCU\\X] tail\n", 3, "キー名の後に余分な文字があります"},
      {head + "[-HKCU]\n", 3, "ルートキーは削除できません"},
      {head + "[HKCU\\X]\n\"v\"=\"open\n", 4, "文字列の終わりの \" がありません"},
      {head + "[HKCU\\X]\n\"v\"=\"\\q\"\n", 4, "不明なエスケープ \\q"},
      {head + "[HKCU\\X]\n\"v\"=dword:1234567890\n", 4, "dword の値"},
      {head + "[HKCU\\X]\n\"v\"=dword:\n", 4, "dword の値"},
      {head + "[HKCU\\X]\n\"v\"=hex:1,2\n", 4, "16 進数のデータが正しくありません"},
      {head + "[HKCU\\X]\n\"v\"=hex(2:00\n", 4, "hex( の型番号"},
      {head + "[HKCU\\X]\n\"v\"=hex:00,\\\n  01,\\\n", 5, "ファイルが終わっています"},
      {head + "[HKCU\\X]\n\"v\"=qword:1\n", 4, "値の形式が不明です"},
      {head + "[HKCU\\X]\nv=1\n", 4, "解釈できない行です"},
      {head + "[HKCU\\X]\n\"v\" 1\n", 4, "値の名前の後に = がありません"},
      {head + "[HKCU\\X]\n\"v\"=\"x\" y\n", 4, "値の後に余分な文字があります"},
      {head + "[HKCU\\X]\n\"v\"=\"\xFF\"\n", 4, "UTF-8 でも Shift_JIS でもありません"},
      {"REGEDIT4\n[HKCU\\X]\n\"v\"=hex(1):ff,\\\n  00\n", 3, "UTF-8 でも Shift_JIS でもありません"},
      // A continued value is never cut short by what follows it.
      {head + "[HKCU\\X]\n\"v\"=hex:00,\\\n\n[HKCU\\Y]\n", 6, "続きのはずの行に別の内容があります"},
      {head + "[HKCU\\X]\n\"v\"=hex:00,\\\n; c\n\"w\"=\"x\"\n", 6,
       "続きのはずの行に別の内容があります"},
      {head + "[HKCU\\X]\n\"v\"=hex:00,\\\n\n", 5, "ファイルが終わっています"},
      // A Shift_JIS lead byte alone.
      {"REGEDIT4\n[HKCU\\X]\n\"v\"=\"\x82\"\n", 3, "UTF-8 でも Shift_JIS でもありません"},
  };
  for (const auto& [text, line, says] : cases) {
    TreeRegistry registry;
    registry.SetString(RootKey::CurrentUser, "Before", "v", "kept");
    const std::string withChange = "[HKCU\\Before]\n\"v\"=\"changed\"\n";
    std::string file = text;
    // A change ahead of the fault must not be applied either.
    const bool insert =
        text.rfind(head, 0) == 0 && text.size() > head.size() && text[head.size()] == '[';
    if (insert) file.insert(head.size(), withChange);
    const std::size_t expectedLine = insert ? line + 2 : line;
    try {
      ApplyRegeditFile(Bytes(file), "bad.reg", registry);
      ADD_FAILURE() << "accepted: " << file;
    } catch (const RegFileError& e) {
      EXPECT_EQ(e.line, expectedLine) << file;
      const std::string what = e.what();
      EXPECT_EQ(what.rfind("bad.reg の " + std::to_string(expectedLine) + " 行目: ", 0), 0u)
          << what;
      EXPECT_NE(what.find(says), std::string::npos) << what;
    }
    EXPECT_EQ(registry.GetString(RootKey::CurrentUser, "Before", "v"), "kept") << file;
  }
  TreeRegistry registry;
  EXPECT_THROW(LoadRegeditFile("/nonexistent/tovalin/export.reg", registry), RegFileError);
  // Faults of the whole file, with no line to blame.
  const struct {
    std::vector<std::uint8_t> bytes;
    std::string says;
  } files[] = {
      {{}, "odd.reg は空のファイルです。"},
      {{0xFF, 0xFE}, "odd.reg は空のファイルです。"},
      {{0xEF, 0xBB, 0xBF}, "odd.reg は空のファイルです。"},
      {{0xFF, 0xFE, 0x41}, "odd.reg は UTF-16 のテキストが途中で切れています"},
      {{0xFE, 0xFF, 0x00, 0x41}, "odd.reg はビッグエンディアンの UTF-16"},
  };
  for (const auto& f : files) {
    try {
      ApplyRegeditFile(f.bytes, "odd.reg", registry);
      ADD_FAILURE() << "accepted: " << f.says;
    } catch (const RegFileError& e) {
      EXPECT_EQ(e.line, 0u) << e.what();
      EXPECT_EQ(std::string(e.what()).rfind(f.says, 0), 0u) << e.what();
    }
  }
}

// The machine tovalin-cli reads exports on: the files' registry, HKEY_CLASSES_ROOT as the
// machine's classes, and nothing else to look at.
TEST(RegeditFile, ExportsMachineHoldsTheFilesRegistryAndNothingElse) {
  const std::filesystem::path file = std::filesystem::temp_directory_path() /
                                     ("tovalin-exports-" + std::to_string(getpid()) + ".reg");
  std::ofstream(file, std::ios::binary) << "REGEDIT4\r\n\r\n[HKEY_CLASSES_ROOT\\.doc]\r\n"
                                           "@=\"Word.Document.8\"\r\n\r\n"
                                           "[HKEY_CURRENT_USER\\Software\\T]\r\n"
                                           "\"n\"=dword:00000005\r\n";
  for (const bool writable : {false, true}) {
    SCOPED_TRACE(writable);
    const std::unique_ptr<Platform> platform = OpenRegeditExports({file.string()}, writable);
    IRegistry& registry = platform->Registry();
    RegHandle key = 0;
    ASSERT_EQ(registry.OpenKey(registry.Root(RootKey::LocalMachine), "Software\\Classes\\.doc",
                               win::kKeyRead, key),
              win::kSuccess);
    registry.CloseKey(key);
    ASSERT_EQ(registry.OpenKey(registry.Root(RootKey::CurrentUser), "Software\\T",
                               win::kKeyAllAccess, key),
              win::kSuccess);
    EXPECT_EQ(registry.SetValue(key, "n", win::kRegDword, {1, 0, 0, 0}),
              writable ? win::kSuccess : win::kAccessDenied);
    EXPECT_EQ(registry.LastErrorDetail(), "");
    registry.CloseKey(key);
    EXPECT_EQ(platform->Files().GetFileAttributes("C:\\Windows"), win::kInvalidFileAttributes);
    EXPECT_FALSE(platform->Environment().GetVariable("TEMP"));
    std::vector<ProcessEntry> running;
    EXPECT_TRUE(platform->Processes().Snapshot(running));
    EXPECT_TRUE(running.empty());
  }
  std::filesystem::remove(file);
}

TEST(RegeditFile, HostileInputNeverCrashes) {
  const std::string valid =
      "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\T\\日本]\r\n"
      "@=\"a\\\"b\\\\c\"\r\n\"Bin\"=hex:01,02,\\\r\n  03\r\n\"D\"=dword:00000001\r\n"
      "\"E\"=hex(2):25,00,00,00\r\n[-HKCU\\Software\\T\\Old]\r\n\"x\"=-\r\n";
  const std::vector<std::uint8_t> utf16 = Utf16File(valid);
  const std::vector<std::uint8_t> utf8 = Bytes(valid);
  auto apply = [](const std::vector<std::uint8_t>& content) {
    TreeRegistry registry;
    try {
      ApplyRegeditFile(content, "x.reg", registry);
    } catch (const RegFileError&) {
    }
  };
  for (const auto* file : {&utf16, &utf8}) {
    for (std::size_t n = 0; n <= file->size(); ++n) {
      apply(std::vector<std::uint8_t>(file->begin(), file->begin() + static_cast<long>(n)));
    }
  }
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::uint8_t> content = round % 2 ? utf16 : utf8;
    for (int e = 0; e < 3; ++e) {
      content[random() % content.size()] = static_cast<std::uint8_t>(random() % 256);
    }
    apply(content);
  }
}

}  // namespace
}  // namespace tovalin
