// One action as one transaction: planning writes nothing and sees its own changes as the real
// registry would; the plan, applied, gives what the code run directly gives; reversed, it gives
// back the start; a refusal, checked first or met half-way, leaves the registry as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/ZelRegistry.h"
#include "support/action/ActionJson.h"
#include "support/action/PlanningRegistry.h"
#include "support/action/UndoRegFile.h"
#include "support/platform/memory/MemoryPlatform.h"
#include "support/regfile/RegeditFile.h"
#include "tests/RegistryDump.h"
#include "tests/World.h"

namespace tovalin {
namespace {

constexpr const char* kBase = "Software\\Tovalin-test\\Actions";
constexpr RootKey kCu = RootKey::CurrentUser;

std::string Key(std::string_view sub) {
  return std::string(kBase) + (sub.empty() ? "" : "\\") + std::string(sub);
}

std::vector<std::string> Dump(IRegistry& registry) {
  return test::DumpRegistry(registry, kCu, kBase);
}

struct Script {
  const char* name;
  std::function<void(IRegistry&)> run;
};
void PrintTo(const Script& script, std::ostream* os) {
  *os << script.name;
}

const Script kScripts[] = {
    {"ValuesSetAndDeleted",
     [](IRegistry& r) {
       TZelRegistry reg(r);
       reg.SetRoot(kCu);
       ASSERT_TRUE(reg.OpenKeyWrite("\\" + Key("A"), false));
       reg.WriteText("V", "new");
       reg.WriteText("Added", "x");
       reg.EraseValue("W");
       reg.WriteDword("W", 2);  // deleted, then written again
       reg.EraseValue("Gone");
     }},
    {"NestedKeysMade",
     [](IRegistry& r) {
       TZelRegistry reg(r);
       reg.SetRoot(kCu);
       reg.MakeKey("\\" + Key("A\\B\\C\\D"));
       ASSERT_TRUE(reg.OpenKeyWrite("\\" + Key("A\\B\\C"), false));
       reg.WriteDword("Deep", 7);
     }},
    {"TreeErased",
     [](IRegistry& r) {
       TZelRegistry reg(r);
       reg.SetRoot(kCu);
       EXPECT_TRUE(reg.EraseKey("\\" + Key("Tree")));
       EXPECT_FALSE(reg.HasKey("\\" + Key("Tree\\Sub1")));
     }},
    {"TreeRenamed",
     [](IRegistry& r) {
       TZelRegistry reg(r);
       reg.SetRoot(kCu);
       reg.RenameKey("\\" + Key("Tree"), "\\" + Key("Moved"));
     }},
    {"ErasedAndMadeAgain",
     [](IRegistry& r) {
       TZelRegistry reg(r);
       reg.SetRoot(kCu);
       EXPECT_TRUE(reg.EraseKey("\\" + Key("Tree\\Sub1")));
       ASSERT_TRUE(reg.OpenKeyWrite("\\" + Key("Tree\\Sub1"), true));
       reg.WriteText("Fresh", "1");
     }},
    {"MadeAndErasedAgain",
     [](IRegistry& r) {
       TZelRegistry reg(r);
       reg.SetRoot(kCu);
       reg.MakeKey("\\" + Key("Tmp\\X"));
       EXPECT_TRUE(reg.EraseKey("\\" + Key("Tmp")));
     }},
};

void Seed(test::World& world) {
  world.DeleteTree(kCu, kBase);
  world.SetString(kCu, Key("A"), "V", "old");
  world.SetDword(kCu, Key("A"), "W", 1);
  world.SetString(kCu, Key("A"), "Gone", "soon");
  world.SetString(kCu, Key("Tree"), "", "root");
  world.SetString(kCu, Key("Tree\\Sub1\\Leaf"), "L", "leaf");
  world.SetBinary(kCu, Key("Tree\\Sub1"), "Bin", {1, 2, 3});
  world.CreateKey(kCu, Key("Tree\\Sub2"));
}

class Actions : public testing::TestWithParam<std::tuple<test::WorldParam, Script>> {
 protected:
  void SetUp() override {
    world_ = std::get<0>(GetParam()).make();
    Seed(*world_);
  }
  void TearDown() override { world_->DeleteTree(kCu, kBase); }
  IRegistry& Registry() { return world_->platform().Registry(); }

  std::unique_ptr<test::World> world_;
};

TEST_P(Actions, PlanAppliedIsTheDirectRunAndReversedIsTheStart) {
  const Script& script = std::get<1>(GetParam());
  const std::vector<std::string> start = Dump(Registry());

  PlanningRegistry planning(Registry());
  script.run(planning);
  const std::vector<std::string> planned = Dump(planning);
  const RegChangeSet changes = planning.Changes();
  EXPECT_EQ(Dump(Registry()), start) << "planning wrote";

  // Through JSON, as an elevated process and the history get it.
  const RegChangeSet carried =
      ChangesFromJson(nlohmann::json::parse(ChangesToJson(changes).dump()));
  EXPECT_FALSE(CheckWriteAccess(Registry(), carried));
  EXPECT_THAT(Differences(Registry(), carried), testing::IsEmpty());
  ASSERT_FALSE(ApplyChanges(Registry(), carried));
  EXPECT_EQ(Dump(Registry()), planned);

  ASSERT_FALSE(ApplyChanges(Registry(), carried.Reversed()));
  EXPECT_EQ(Dump(Registry()), start);

  script.run(Registry());
  EXPECT_EQ(Dump(Registry()), planned) << "the planning view differs from the registry";
}

std::vector<std::tuple<test::WorldParam, Script>> Cases() {
  std::vector<std::tuple<test::WorldParam, Script>> cases;
  for (const test::WorldParam& world : test::AllWorlds()) {
    for (const Script& script : kScripts) cases.emplace_back(world, script);
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(All, Actions, testing::ValuesIn(Cases()), [](const auto& info) {
  return test::WorldName(std::get<0>(info.param)) + "_" + std::get<1>(info.param).name;
});

// Values of every kind, for the undo file to give back exactly.
const std::vector<std::pair<std::string, RegData>> kOddValues = {
    {"", {win::kRegSz, {'q', 0, '"', 0, '\\', 0, 0xE5, 0x65, 0, 0}}},
    {"改行", {win::kRegSz, {'a', 0, '\r', 0, '\n', 0, 0, 0}}},
    {"NoNul", {win::kRegSz, {'A', 0}}},
    {"Odd", {win::kRegSz, {'A', 0, 'B'}}},
    {"Empty", {win::kRegSz, {}}},
    {"Exp", {win::kRegExpandSz, {'%', 0, 'A', 0, 0, 0}}},
    {"Multi", {win::kRegMultiSz, {'a', 0, 0, 0, 'b', 0, 0, 0, 0, 0}}},
    {"Short", {win::kRegDword, {1, 2}}},
    {"Q", {11, {1, 2, 3, 4, 5, 6, 7, 8}}},
    {"None", {win::kRegNone, {}}},
    {"Big", {0xffff0001, std::vector<std::uint8_t>(300, 0xAB)}},
};

// The undo file, read back by our regedit reader, gives back the start.
class UndoFiles : public testing::TestWithParam<Script> {};

TEST_P(UndoFiles, ImportedTheyGiveBackTheStart) {
  const std::unique_ptr<test::World> world = test::MakeMemoryWorld();
  Seed(*world);
  for (const auto& [name, value] : kOddValues) {
    world->SetValue(kCu, Key("Odd"), name, value.type, value.data);
  }
  auto& registry = dynamic_cast<TreeRegistry&>(world->platform().Registry());
  const std::vector<std::string> start = Dump(registry);

  PlanningRegistry planning(registry);
  GetParam().run(planning);
  const RegChangeSet changes = planning.Changes();
  ASSERT_FALSE(ApplyChanges(registry, changes));
  if (!changes.Empty()) {
    ASSERT_NE(Dump(registry), start);
  }
  const NativeKeyNames names = [&registry](RootKey root, std::string_view path) {
    return registry.NativeKeyName(root, path);
  };
  ApplyRegeditFile(UndoRegFile(changes, names, GetParam().name), "undo.reg", registry);
  EXPECT_EQ(Dump(registry), start);
}

std::vector<Script> UndoScripts() {
  std::vector<Script> scripts(std::begin(kScripts), std::end(kScripts));
  scripts.push_back({"OddValuesOverwritten", [](IRegistry& r) {
                       TZelRegistry reg(r);
                       reg.SetRoot(kCu);
                       ASSERT_TRUE(reg.OpenKeyWrite("\\" + Key("Odd"), false));
                       for (const auto& [name, value] : kOddValues) reg.WriteDword(name, 0);
                       reg.EraseValue("Empty");
                     }});
  return scripts;
}

INSTANTIATE_TEST_SUITE_P(Memory, UndoFiles, testing::ValuesIn(UndoScripts()),
                         [](const auto& info) { return std::string(info.param.name); });

// A refusal the rights check finds names the key and nothing is written; one that only comes
// half-way (a store that refuses the third write) is put back.
TEST(ActionRefusals, CheckedFirstOrPutBackHalfWay) {
  MemoryPlatform machine;
  TreeRegistry& tree = machine.registry;
  tree.SetString(RootKey::LocalMachine, "Software\\Classes\\VBSFile", "", "VBScript");
  tree.SetString(RootKey::LocalMachine, "Software\\Classes\\JSFile", "", "JScript");
  auto script = [](IRegistry& r) {
    for (const char* name : {"VBSFile", "JSFile"}) {
      TZelRegistry reg(r);
      reg.SetRoot(RootKey::LocalMachine);
      reg.RenameKey(std::string("\\Software\\Classes\\") + name,
                    std::string("\\Software\\Classes\\") + name + ".Off");
    }
  };
  PlanningRegistry planning(tree);
  script(planning);
  const RegChangeSet changes = planning.Changes();

  tree.SetAccess(RootKey::LocalMachine, "Software\\Classes\\JSFile", win::kKeyRead);
  const RegRefusal refused = CheckWriteAccess(tree, changes);
  EXPECT_EQ(refused.key, "HKEY_LOCAL_MACHINE\\Software\\Classes\\JSFile");
  EXPECT_EQ(refused.code, win::kAccessDenied);
  EXPECT_TRUE(refused.machineWide);
  tree.SetAccess(RootKey::LocalMachine, "Software\\Classes\\JSFile", win::kKeyAllAccess);

  int writes = 0;
  tree.writeGuard = [&writes](std::string& why) {
    if (++writes != 3) return win::kSuccess;
    why = "the store refused";
    return win::kWriteFault;
  };
  const RegRefusal halfWay = ApplyChanges(tree, changes);
  tree.writeGuard = nullptr;
  EXPECT_EQ(halfWay.code, win::kWriteFault);
  EXPECT_EQ(halfWay.detail, "the store refused");
  EXPECT_FALSE(halfWay.restoreFailed);
  EXPECT_TRUE(tree.Find(RootKey::LocalMachine, "Software\\Classes\\VBSFile"));
  EXPECT_FALSE(tree.Find(RootKey::LocalMachine, "Software\\Classes\\VBSFile.Off"));
  EXPECT_FALSE(tree.Find(RootKey::LocalMachine, "Software\\Classes\\JSFile.Off"));
  EXPECT_EQ(tree.GetString(RootKey::LocalMachine, "Software\\Classes\\VBSFile", ""), "VBScript");
}

TEST(ActionRecords, DifferencesNameWhatChangedAndNamesSurviveJson) {
  MemoryPlatform machine;
  TreeRegistry& tree = machine.registry;
  // A name with a lone surrogate, as generalised UTF-8 keeps it.
  const std::string odd = "N\xED\xB0\x80";
  tree.SetString(kCu, "K", odd, "x");
  tree.SetString(kCu, "K", "Same", "y");
  PlanningRegistry planning(tree);
  {
    TZelRegistry reg(planning);
    reg.SetRoot(kCu);
    ASSERT_TRUE(reg.OpenKeyWrite("\\K", false));
    reg.EraseValue(odd);
    reg.WriteText("Same", "z");
  }
  const RegChangeSet changes =
      ChangesFromJson(nlohmann::json::parse(ChangesToJson(planning.Changes()).dump()));
  ASSERT_EQ(changes.keys.size(), 1u);
  EXPECT_EQ(changes.keys[0].values[0].name, odd);

  tree.SetString(kCu, "K", "Same", "changed meanwhile");
  EXPECT_THAT(Differences(tree, changes),
              testing::ElementsAre("HKEY_CURRENT_USER\\K の値 Same が変わっています。"));
  tree.Find(kCu, "")->RemoveChild("K");
  EXPECT_THAT(Differences(tree, changes),
              testing::ElementsAre("キー HKEY_CURRENT_USER\\K がありません。"));
}

}  // namespace
}  // namespace tovalin
