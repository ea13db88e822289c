// The item catalogue each application slot gets, and the dispatch of item ids to settings and
// repairs.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "office/ZelMso.h"
#include "support/platform/memory/MemoryPlatform.h"

namespace tovalin {
namespace {

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++n;
  }
  return n;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", start)) {
    lines.push_back(text.substr(start, at - start));
    start = at + 2;
  }
  lines.push_back(text.substr(start));
  return lines;
}

// A model whose slots are exactly the ones named, with the catalogue built for them.
class Catalogue : public testing::Test {
 protected:
  void Build(std::initializer_list<int> present) {
    mso_ = std::make_unique<TZelMso>(platform_);
    for (auto& slot : mso_->Slots) slot.reset();
    for (int index : present) {
      mso_->Slots[index] = std::make_unique<TZelMsoInfo>(platform_);
      mso_->Slots[index]->AppName = kMsoApps[index].AppName;
    }
    mso_->BuildItemCatalogue();
  }

  std::vector<int> Ids(int index) const {
    std::vector<int> ids;
    for (const auto& item : mso_->Slots[index]->Items) ids.push_back(item.ItemId);
    return ids;
  }

  const TZelMsoItem& Item(int index, int itemId) const {
    for (const auto& item : mso_->Slots[index]->Items) {
      if (item.ItemId == itemId) return item;
    }
    ADD_FAILURE() << "no item " << itemId;
    static const TZelMsoItem none;
    return none;
  }

  MemoryPlatform platform_;
  std::unique_ptr<TZelMso> mso_;
};

TEST_F(Catalogue, EachApplicationGetsItsItemsInOrder) {
  Build({0, 1, 2, 3, 4, 5});
  EXPECT_EQ(Ids(0), (std::vector<int>{51, 52}));
  EXPECT_EQ(Ids(1), (std::vector<int>{151}));
  EXPECT_EQ(Ids(2), (std::vector<int>{201, 202, 251, 252}));
  EXPECT_EQ(Ids(3), (std::vector<int>{301, 302, 351}));
  EXPECT_EQ(Ids(4), (std::vector<int>{401, 402}));
  EXPECT_EQ(Ids(5), (std::vector<int>{501, 502, 551, 552}));
}

TEST_F(Catalogue, AbsentSlotsGetNothingAndPresentOnesAreUnaffected) {
  Build({3});
  EXPECT_EQ(Ids(3), (std::vector<int>{301, 302, 351}));
  for (int index : {0, 1, 2, 4, 5}) EXPECT_EQ(mso_->Slots[index], nullptr);

  Build({2, 5});
  EXPECT_EQ(Ids(2), (std::vector<int>{201, 202, 251, 252}));
  EXPECT_EQ(Ids(5), (std::vector<int>{501, 502, 551, 552}));
}

TEST_F(Catalogue, KindsAndCaptionsMatchTheItemType) {
  Build({0, 1, 2, 3, 4, 5});
  for (const auto& slot : mso_->Slots) {
    for (const auto& item : slot->Items) {
      // A setting can be read and changed, a repair run; nothing else.
      const TZelItemRow* row = FindItemRow(item.ItemId);
      ASSERT_NE(row, nullptr) << item.ItemId;
      EXPECT_EQ(row->Get != nullptr && row->Set != nullptr, item.Kind == 1) << item.ItemId;
      EXPECT_EQ(row->Repair != nullptr, item.Kind == 2) << item.ItemId;
      const int n = item.ItemId % 100;
      if (n >= 51) {
        EXPECT_EQ(item.Kind, 1) << item.ItemId;
        EXPECT_EQ(item.Captions.size(), 2u) << item.ItemId;
      } else {
        EXPECT_EQ(item.Kind, 2) << item.ItemId;
        EXPECT_EQ(item.Captions.size(), 1u) << item.ItemId;
      }
    }
  }
  EXPECT_EQ(Item(0, 51).Captions, (std::vector<std::string>{"使用する", "使用しない"}));
  EXPECT_EQ(Item(0, 52).Captions, (std::vector<std::string>{"表示する", "表示しない"}));
  EXPECT_EQ(Item(2, 201).Captions, (std::vector<std::string>{"再表示"}));
  EXPECT_EQ(Item(2, 202).Captions, (std::vector<std::string>{"修復"}));
  EXPECT_EQ(Item(2, 251).Captions, (std::vector<std::string>{"連携させる", "連携させない"}));
  EXPECT_EQ(Item(2, 252).Captions, (std::vector<std::string>{"追加する", "追加しない"}));
  EXPECT_EQ(Item(5, 552).Captions, (std::vector<std::string>{"プレビュー", "編集モード"}));
  // Equal titles on different applications stay apart by id.
  EXPECT_EQ(Item(2, 201).Title, Item(4, 401).Title);
  EXPECT_EQ(Item(5, 552).Title, "編集モードの使用可否");
}

TEST_F(Catalogue, DescriptionsNameTheirApplicationAndUseCrLfWithoutTrailingBreak) {
  Build({0, 2, 3, 5});
  const std::string powerpoint = Item(5, 551).Description;
  EXPECT_EQ(Count(powerpoint, "Powerpoint"), 3u);
  EXPECT_EQ(Count(Item(3, 351).Description, "Word"), 3u);
  EXPECT_EQ(Count(Item(2, 251).Description, "Excel"), 3u);
  EXPECT_EQ(
      Item(5, 552).Description,
      "InternetExplorer(IE)からPowerpointが開かれる場合に編集モードで開くかどうかを設定します。");
  for (const auto& slot : mso_->Slots) {
    if (!slot) continue;
    for (const auto& item : slot->Items) {
      EXPECT_EQ(item.Description.find("%0:s"), std::string::npos) << item.ItemId;
      EXPECT_NE(item.Description.substr(item.Description.size() - 2), "\r\n") << item.ItemId;
      EXPECT_EQ(Count(item.Description, "\n"), Count(item.Description, "\r\n")) << item.ItemId;
    }
  }
  const std::vector<std::string> ime = Lines(Item(0, 52).Description);
  ASSERT_EQ(ime.size(), 10u);
  EXPECT_EQ(ime[3], "");
  EXPECT_EQ(ime[4], "[ユーザー名に全角文字を使用してはいけない理由]");
  EXPECT_EQ(Lines(Item(2, 202).Description).size(), 3u);
  EXPECT_EQ(Lines(Item(2, 252).Description).size(), 3u);
}

TEST_F(Catalogue, IdsOutsideTheDispatchTableDoNothing) {
  Build({2});
  platform_.registry.Ensure(RootKey::ClassesRoot, ".xls");
  for (int id : {0, 1, 50, 53, 150, 201, 202, 253, 301, 999, -51}) {
    EXPECT_EQ(mso_->GetItemState(id), -1) << id;
    EXPECT_FALSE(mso_->SetItemState(id, 0)) << id;
    EXPECT_FALSE(mso_->SetItemState(id, 1)) << id;
  }
  EXPECT_EQ(platform_.registry.Find(RootKey::ClassesRoot, ".xls")->Values().size(), 0u);
  // A setting id is not a repair.
  platform_.registry.SetValueDirect(
      RootKey::CurrentUser, "SOFTWARE\\Microsoft\\Office\\11.0\\Word\\Data", "x", 4, {1, 0, 0, 0});
  mso_->Versions = {TZelMsoVersion{"11.0", "", "", "", ""}};
  for (int id : {251, 51, 300, 303, 351}) mso_->RunRepair(id);
  EXPECT_NE(platform_.registry.Find(RootKey::CurrentUser,
                                    "SOFTWARE\\Microsoft\\Office\\11.0\\Word\\Data"),
            nullptr);
  mso_->RunRepair(301);
  EXPECT_EQ(platform_.registry.Find(RootKey::CurrentUser,
                                    "SOFTWARE\\Microsoft\\Office\\11.0\\Word\\Data"),
            nullptr);
}

TEST_F(Catalogue, SetReportsFailureWhenTheReadBackStaysUndetermined) {
  Build({0});
  mso_->OfficeVersion = "11.0";
  mso_->Versions = {TZelMsoVersion{"11.0", "", "", "", ""}};
  // No Common\General key: the setter writes nothing and the state stays -1.
  EXPECT_FALSE(mso_->SetItemState(51, 1));
  EXPECT_EQ(mso_->GetItemState(51), -1);
  platform_.registry.Ensure(RootKey::CurrentUser,
                            "SOFTWARE\\Microsoft\\Office\\11.0\\Common\\General");
  EXPECT_TRUE(mso_->SetItemState(51, 1));
  EXPECT_EQ(mso_->GetItemState(51), 1);
}

}  // namespace
}  // namespace tovalin
