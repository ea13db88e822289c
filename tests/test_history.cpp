// The history of actions: a record kept durably before the first write that claims nothing until
// the action is saved, settled by the registry when an action was cut off; undo putting keys,
// values and files back, refusing where another program changed them since unless forced;
// the history bounded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "support/ErrorText.h"
#include "support/ZelRegistry.h"
#include "support/action/ActionHistory.h"
#include "support/action/HostFiles.h"
#include "support/action/PlanningRegistry.h"
#include "support/action/Undo.h"
#include "support/platform/memory/MemoryPlatform.h"

namespace tovalin {
namespace {

// A folder of the test's own, removed afterwards.
class Folder {
 public:
  Folder()
      : path_(std::filesystem::temp_directory_path() /
              ("tovalin-history-" +
               std::string(testing::UnitTest::GetInstance()->current_test_info()->name()))) {
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
  }
  ~Folder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

constexpr RootKey kCu = RootKey::CurrentUser;

class History : public testing::Test {
 protected:
  void SetUp() override {
    folder_.emplace();
    machine_.registry.SetString(kCu, "Software\\App", "Flags", "custom");
    machine_.registry.SetString(kCu, "Software\\App\\Toolbars", "Bar", "x");
  }

  // The changes a setter makes: its value switched, a subtree erased, a key made.
  ActionPlan PlanChange() {
    PlanningRegistry planning(machine_.registry);
    TZelRegistry reg(planning);
    reg.SetRoot(kCu);
    EXPECT_TRUE(reg.OpenKeyWrite("\\Software\\App", false));
    reg.WriteText("Flags", "8");
    reg.EraseKey("\\Software\\App\\Toolbars");
    reg.MakeKey("\\Software\\App\\New");
    return {planning.Changes(), {}};
  }

  void Perform(const ActionPlan& plan, IActionJournal& journal) {
    PerformChanges(machine_.registry, plan.registry, Win32ErrorText,
                   [&] { journal.Planned(plan, machine_.registry); });
    journal.Done();
  }

  ActionHistory Open() { return ActionHistory(HostPathText(folder_->Path())); }
  std::vector<std::string> Files() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_->Path())) {
      names.push_back(HostPathText(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  bool Performed(const RegChangeSet& changes) {
    PerformChanges(machine_.registry, changes, Win32ErrorText);
    return true;
  }

  std::optional<Folder> folder_;
  MemoryPlatform machine_;
};

TEST_F(History, AnActionUndoneLeavesTheRegistryAsBefore) {
  ActionHistory history = Open();
  Perform(PlanChange(), *history.Journal({151, false, "WSH", "Outlook", "使用しない", ""}));
  std::vector<ActionRecord> records = history.List(&machine_.registry);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].info.title, "WSH");
  EXPECT_THAT(records[0].nativeNames, testing::Contains("HKEY_CURRENT_USER\\Software\\App"));
  EXPECT_EQ(machine_.registry.GetString(kCu, "Software\\App", "Flags"), "8");

  const UndoOutcome outcome =
      UndoAction(machine_, history, records[0], false,
                 [this](const RegChangeSet& changes) { return Performed(changes); });
  EXPECT_FALSE(outcome.declined);
  EXPECT_EQ(machine_.registry.GetString(kCu, "Software\\App", "Flags"), "custom");
  EXPECT_EQ(machine_.registry.GetString(kCu, "Software\\App\\Toolbars", "Bar"), "x");
  EXPECT_EQ(machine_.registry.Find(kCu, "Software\\App\\New"), nullptr);
  records = history.List(&machine_.registry);
  EXPECT_TRUE(records[0].undone);
  EXPECT_THROW(UndoAction(machine_, history, records[0], false,
                          [this](const RegChangeSet& changes) { return Performed(changes); }),
               ERegistryException);
}

TEST_F(History, WhatChangedSinceIsNamedAndOnlyAForcedUndoGoesOn) {
  ActionHistory history = Open();
  Perform(PlanChange(), *history.Journal({151, false, "WSH", "Outlook", "使用しない", ""}));
  machine_.registry.SetString(kCu, "Software\\App", "Flags", "another tool's");
  const ActionRecord record = history.List(&machine_.registry).at(0);
  EXPECT_THAT(
      UndoConflicts(machine_, record),
      testing::ElementsAre("HKEY_CURRENT_USER\\Software\\App の値 Flags が変わっています。"));
  auto perform = [this](const RegChangeSet& changes) { return Performed(changes); };
  try {
    UndoAction(machine_, history, record, false, perform);
    ADD_FAILURE() << "undone";
  } catch (const ERegistryException& e) {
    EXPECT_THAT(e.what(), testing::HasSubstr("Flags が変わっています"));
  }
  EXPECT_EQ(machine_.registry.GetString(kCu, "Software\\App", "Flags"), "another tool's");
  UndoAction(machine_, history, record, true, perform);
  EXPECT_EQ(machine_.registry.GetString(kCu, "Software\\App", "Flags"), "custom");
  EXPECT_EQ(machine_.registry.GetString(kCu, "Software\\App\\Toolbars", "Bar"), "x");
}

// An action cut off after its record was stored: the next listing keeps it where the registry
// shows it made, and drops it where the registry shows nothing made. A refused action leaves no
// record at all.
TEST_F(History, ARecordClaimsOnlyWhatTheRegistryShowsMade) {
  ActionHistory history = Open();
  const ActionPlan plan = PlanChange();
  history.Journal({52, false, "IME", "Office", "表示しない", ""})->Planned(plan, machine_.registry);
  EXPECT_THAT(Files(), testing::ElementsAre("000001.pending.json"));
  EXPECT_TRUE(history.List(nullptr).empty());
  EXPECT_TRUE(history.List(&machine_.registry).empty());
  EXPECT_TRUE(Files().empty());

  history.Journal({52, false, "IME", "Office", "表示しない", ""})->Planned(plan, machine_.registry);
  ApplyChanges(machine_.registry, plan.registry);  // saved, then cut off
  const std::vector<ActionRecord> records = history.List(&machine_.registry);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_FALSE(records[0].undone);
  EXPECT_THAT(Files(), testing::ElementsAre("000001.json", "000001.reg"));

  machine_.registry.SetString(kCu, "Software\\App", "Flags", "again");
  machine_.registry.SetAccess(kCu, "Software\\App", win::kKeyRead);
  const auto journal = history.Journal({52, false, "IME", "Office", "表示しない", ""});
  EXPECT_THROW(PerformChanges(machine_.registry, PlanChange().registry, Win32ErrorText,
                              [&] { journal->Planned(PlanChange(), machine_.registry); }),
               ERegistryRefusedException);
  EXPECT_THAT(Files(), testing::ElementsAre("000001.json", "000001.reg"));
}

TEST_F(History, KeepsTheLastTwoHundredActions) {
  ActionHistory history = Open();
  for (int i = 0; i < 205; ++i) {
    machine_.registry.SetString(kCu, "Software\\App", "Flags", "v" + std::to_string(i));
    Perform(PlanChange(), *history.Journal({51, false, "Clip", "Office", "使用しない", ""}));
  }
  const std::vector<ActionRecord> records = history.List(&machine_.registry);
  ASSERT_EQ(records.size(), ActionHistory::kKept);
  EXPECT_EQ(records.front().sequence, 205);
  EXPECT_EQ(records.back().sequence, 6);
}

}  // namespace
}  // namespace tovalin
