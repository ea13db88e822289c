// The undo file of an action, byte for byte as regedit writes its exports, and the native key
// names it is written with on the plain trees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/LittleEndian.h"
#include "support/Text.h"
#include "support/action/PlanningRegistry.h"
#include "support/action/UndoRegFile.h"
#include "support/platform/exports/ExportsPlatform.h"
#include "support/platform/memory/MemoryPlatform.h"

namespace tovalin {
namespace {

std::vector<std::uint8_t> Sz(std::string_view text) {
  std::vector<std::uint8_t> data = Utf8ToUtf16Bytes(text);
  data.insert(data.end(), {0, 0});
  return data;
}

RegData Of(std::uint32_t type, std::vector<std::uint8_t> data) {
  return {type, std::move(data)};
}

TEST(UndoFile, WrittenAsRegeditWritesIt) {
  std::vector<std::uint8_t> counting(60);
  for (std::size_t i = 0; i < counting.size(); ++i) counting[i] = static_cast<std::uint8_t>(i);
  const RegData after = Of(win::kRegDword, Le32Bytes(0));
  const RegChangeSet changes{{
      {RootKey::CurrentUser,
       "Software\\T",
       true,
       true,
       {
           {"", Of(win::kRegSz, Sz("q\"uo\\te 日本語")), after},
           {"Count", Of(win::kRegDword, Le32Bytes(0x2a)), after},
           {"Added", std::nullopt, after},
           {"長い名前の値", Of(win::kRegBinary, counting), std::nullopt},
           // Text that a quoted string would not give back exactly goes as its bytes.
           {"Lines", Of(win::kRegSz, Sz("a\nb")), after},
           {"NoNul", Of(win::kRegSz, {0x41, 0}), after},
           {"Empty", Of(win::kRegSz, {}), after},
           {"Exp", Of(win::kRegExpandSz, Sz("%A")), after},
           {"Multi", Of(win::kRegMultiSz, {0x61, 0, 0, 0, 0, 0}), after},
           {"Short", Of(win::kRegDword, {1, 2}), after},
           {"None", Of(win::kRegNone, {}), after},
           {"Q", Of(11, {11, 0, 0, 0, 0, 0, 0, 0}), after},
           {"Odd", Of(0xffff0001, {1}), after},
       }},
      {RootKey::LocalMachine, "Software\\App\\Made\\Below", false, true, {{"v", {}, after}}},
      {RootKey::LocalMachine, "Software\\App\\Made", false, true, {}},
      {RootKey::LocalMachine,
       "Software\\App\\Old\\Sub",
       true,
       false,
       {{"Leaf", Of(win::kRegSz, Sz("葉")), std::nullopt}}},
      {RootKey::LocalMachine, "Software\\App\\Old", true, false, {}},
      {RootKey::CurrentUser, "Software\\SubkeysOnly", true, true, {}},
      {RootKey::ClassesRoot, "Tovalin.Doc", false, true, {}},
  }};
  const NativeKeyNames names = [](RootKey root, std::string_view path) -> std::string {
    if (root == RootKey::ClassesRoot) return {};  // a store that cannot tell
    if (root == RootKey::CurrentUser) return "HKEY_CURRENT_USER\\" + std::string(path);
    return "HKEY_LOCAL_MACHINE\\Software\\Wow6432Node" + std::string(path.substr(8));
  };
  const std::vector<std::uint8_t> bytes = UndoRegFile(changes, names, "元に戻す:\nExcel の設定");

  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(LoadLe16(bytes.data()), 0xFEFF);
  EXPECT_EQ(Utf16ToUtf8(Utf16FromBytes(bytes.data() + 2, bytes.size() - 2)),
            "Windows Registry Editor Version 5.00\r\n"
            "; 元に戻す: Excel の設定\r\n"
            "\r\n"
            "[-HKEY_CLASSES_ROOT\\Tovalin.Doc]\r\n"
            "\r\n"
            "[-HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\App\\Made]\r\n"
            "\r\n"
            "[HKEY_CURRENT_USER\\Software\\T]\r\n"
            "@=\"q\\\"uo\\\\te 日本語\"\r\n"
            "\"Count\"=dword:0000002a\r\n"
            "\"Added\"=-\r\n"
            "\"長い名前の値\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,"
            "14,15,\\\r\n"
            "  16,17,18,19,1a,1b,1c,1d,1e,1f,20,21,22,23,24,25,26,27,28,29,2a,2b,2c,2d,2e,\\\r\n"
            "  2f,30,31,32,33,34,35,36,37,38,39,3a,3b\r\n"
            "\"Lines\"=hex(1):61,00,0a,00,62,00,00,00\r\n"
            "\"NoNul\"=hex(1):41,00\r\n"
            "\"Empty\"=hex(1):\r\n"
            "\"Exp\"=hex(2):25,00,41,00,00,00\r\n"
            "\"Multi\"=hex(7):61,00,00,00,00,00\r\n"
            "\"Short\"=hex(4):01,02\r\n"
            "\"None\"=hex(0):\r\n"
            "\"Q\"=hex(b):0b,00,00,00,00,00,00,00\r\n"
            "\"Odd\"=hex(ffff0001):01\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\App\\Old]\r\n"
            "\r\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\App\\Old\\Sub]\r\n"
            "\"Leaf\"=\"葉\"\r\n"
            "\r\n");
}

// Without redirection a key is its path, in the case the tree keeps; a missing key is named on
// from the nearest one there; a key below two roots (the exports' classes) by the machine's.
TEST(UndoFile, PlainTreesNameKeysByTheirPath) {
  MemoryPlatform memory;
  memory.registry.Ensure(RootKey::CurrentUser, "Software\\Tovalin\\Deep");
  PlanningRegistry planning(memory.registry);
  RegHandle made = 0;
  ASSERT_EQ(planning.CreateKey(planning.Root(RootKey::CurrentUser), "Software\\Planned",
                               win::kKeyWrite, made),
            win::kSuccess);
  planning.CloseKey(made);
  const auto exports = OpenRegeditExports({}, false);

  const struct {
    IRegistry& registry;
    RootKey root;
    const char* path;
    const char* name;
  } cases[] = {
      {memory.registry, RootKey::CurrentUser, "software\\TOVALIN\\deep",
       "HKEY_CURRENT_USER\\Software\\Tovalin\\Deep"},
      {memory.registry, RootKey::CurrentUser, "Software\\tovalin\\Missing\\More",
       "HKEY_CURRENT_USER\\Software\\Tovalin\\Missing\\More"},
      {memory.registry, RootKey::LocalMachine, "", "HKEY_LOCAL_MACHINE"},
      {memory.registry, RootKey::Users, "\\.Default\\x\\", "HKEY_USERS\\.Default\\x"},
      {planning, RootKey::CurrentUser, "Software\\Planned", "HKEY_CURRENT_USER\\Software\\Planned"},
      {exports->Registry(), RootKey::ClassesRoot, ".xls\\shell",
       "HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.xls\\shell"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.registry.NativeKeyName(c.root, c.path), c.name) << c.path;
  }
}

}  // namespace
}  // namespace tovalin
