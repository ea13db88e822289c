// Faults the fuzz targets found: a hive written back unreadable or with renamed keys, and an
// environment expansion that never ended. Each case is the smallest input that showed it.
#include <gtest/gtest.h>

#include <string>

#include "support/ZelSysUtils.h"
#include "support/regfile/WineRegFile.h"
#include "tests/World.h"

namespace tovalin {
namespace {

using namespace std::literals;

void MarkModified(RegNode& node) {
  node.MarkModified();
  for (auto& child : node.children) MarkModified(*child);
}

TEST(WineRegFileFindings, KeysReorderedAfterALastLineWithoutBreakStayReadable) {
  // [A] sorts first but was read last, from a file that ends without a line break: written
  // back, its last line must not run into the next key's line.
  const std::string text = "WINE REGISTRY Version 2\n[B]\n\"x\"=\"1\"\n[A]\n\"v\"=\"1\"";
  const WineHive hive = ParseWineRegistry(text, "system.reg");
  const std::string written = FormatWineRegistry(hive, 1);
  EXPECT_EQ(written, "WINE REGISTRY Version 2\n[A]\n\"v\"=\"1\"\n[B]\n\"x\"=\"1\"\n");
  const WineHive again = ParseWineRegistry(written, "system.reg");
  ASSERT_NE(again.root->FindChild("A"), nullptr);
  EXPECT_NE(again.root->FindChild("A")->FindValue("v"), nullptr);
  EXPECT_NE(again.root->FindChild("B")->FindValue("x"), nullptr);
  // A file that ends without a line break and needs no reordering still comes back unchanged.
  const std::string sorted = "WINE REGISTRY Version 2\n[A]\n\"v\"=\"1\"\n[B]\n\"x\"=\"1\"";
  EXPECT_EQ(FormatWineRegistry(ParseWineRegistry(sorted, "s.reg"), 1), sorted);
}

TEST(WineRegFileFindings, AKeyAfterATextEndingInNulStartsWhereAnyOtherWould) {
  // A last NUL was taken for "nothing written yet": the key ran into the line before it, and
  // writing the result again moved it.
  for (const std::string& last : {";x"s, ";\0"s}) {
    WineHive hive = ParseWineRegistry("WINE REGISTRY Version 2\n" + last, "system.reg");
    hive.root->AddChild("A");
    const std::string written = FormatWineRegistry(hive, 1);
    EXPECT_EQ(written.substr(24), last + "\n\n[A] 0\n#time=000000001\n");
    const WineHive again = ParseWineRegistry(written, "system.reg");
    MarkModified(*again.root->FindChild("A"));
    EXPECT_EQ(FormatWineRegistry(again, 1), written);
  }
}

TEST(WineRegFileFindings, NamesEndingInNulKeepTheirNul) {
  // Only string data ends in a terminator; a name's last NUL is part of the name.
  WineHive hive;
  hive.relative = "REGISTRY\\Machine";
  RegNode* key = hive.root->AddChild("Key\0"sv);
  key->PutValue("v\0"sv, win::kRegDword, {1, 0, 0, 0});
  const std::string written = FormatWineRegistry(hive, 1);
  EXPECT_NE(written.find("[Key\\0]"), std::string::npos) << written;
  EXPECT_NE(written.find("\"v\\0\"=dword:00000001"), std::string::npos) << written;
  const WineHive again = ParseWineRegistry(written, "system.reg");
  ASSERT_EQ(again.root->children.size(), 1u);
  EXPECT_EQ(again.root->children[0]->name, "Key\0"sv);
  ASSERT_EQ(again.root->children[0]->Values().size(), 1u);
  EXPECT_EQ(again.root->children[0]->Values()[0].name, "v\0"sv);
  // Text data still drops its terminator when written.
  MarkModified(*again.root);
  again.root->children[0]->PutValue("s", win::kRegSz, {'a', 0, 0, 0});
  EXPECT_NE(FormatWineRegistry(again, 1).find("\"s\"=\"a\"\n"), std::string::npos);
}

class ExpansionFindings : public testing::TestWithParam<test::WorldParam> {
 protected:
  void SetUp() override { world_ = GetParam().make(); }
  std::unique_ptr<test::World> world_;
};

TEST_P(ExpansionFindings, ValuesHoldingTokensAreInsertedOnceAndNeverExpanded) {
  world_->SetEnv("TOVALIN_SELF", "%TOVALIN_SELF%%TOVALIN_SELF%");
  world_->SetEnv("TOVALIN_OTHER", "[%TOVALIN_X%]");
  world_->SetEnv("TOVALIN_X", "x");
  Platform& platform = world_->platform();
  // Every occurrence becomes the value, and what was inserted is not looked at again; this
  // used to grow without end.
  EXPECT_EQ(ExpandEnvironmentText(platform, "%TOVALIN_SELF%-%TOVALIN_SELF%"),
            "%TOVALIN_SELF%%TOVALIN_SELF%-%TOVALIN_SELF%%TOVALIN_SELF%");
  EXPECT_EQ(ExpandEnvironmentText(platform, "%TOVALIN_OTHER%%TOVALIN_X%%TOVALIN_OTHER%"),
            "[%TOVALIN_X%]x[%TOVALIN_X%]");
  // Tokens between the occurrences are still expanded.
  EXPECT_EQ(ExpandEnvironmentText(platform, "%TOVALIN_X%/%TOVALIN_UNSET_7%/%TOVALIN_X%"),
            "x/%TOVALIN_UNSET_7%/x");
}

INSTANTIATE_TEST_SUITE_P(All, ExpansionFindings, testing::ValuesIn(test::AllWorlds()),
                         [](const auto& info) { return test::WorldName(info.param); });

}  // namespace
}  // namespace tovalin
