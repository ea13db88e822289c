// Name order and key lookups of the in-memory registry: the order must be the one a full UTF-16
// comparison gives, and lookups must find every key whatever order they come in, also while keys
// come and go.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "support/Text.h"
#include "support/ZelRegistry.h"
#include "support/registry/TreeRegistry.h"

namespace tovalin {
namespace {

int Sign(int v) {
  return (v > 0) - (v < 0);
}

TEST(RegistryNameOrder, MatchesTheFullUtf16Comparison) {
  const std::vector<std::string> names = {"",
                                          "a",
                                          "A",
                                          "ab",
                                          "Ab\xC3\xA9",
                                          "ab\xC3\xA9z",
                                          "ABC",
                                          "abd",
                                          "_x",
                                          "[x",
                                          "\xE6\x97\xA5",
                                          "\xE6\x97\xA5\xE6\x9C\xAC",
                                          "x\xE6\x97\xA5",
                                          "X\xEF\xBD\x81",
                                          "x\xEF\xBC\xA1",
                                          "\xC3\xA0",
                                          "\xC3\x80",
                                          "zz",
                                          "\xFF",
                                          "a\xFFz"};
  for (const std::string& a : names) {
    for (const std::string& b : names) {
      EXPECT_EQ(Sign(CompareNoCase(a, b)), Sign(CompareNoCase16(Utf8ToUtf16(a), Utf8ToUtf16(b))))
          << '"' << a << "\" vs \"" << b << '"';
    }
  }
}

TEST(RegistryLookup, FindsEveryKeyInAnyOrderWhileKeysComeAndGo) {
  TreeRegistry registry;
  std::vector<std::string> names;
  for (int i = 0; i < 400; ++i) names.push_back("Class." + std::to_string(i * 7 % 400));
  for (const std::string& name : names) registry.Ensure(RootKey::ClassesRoot, name + "\\Shell");
  std::vector<std::string> order = names;
  std::mt19937 random(7);
  auto openAll = [&](const std::vector<std::string>& keys, bool present) {
    for (const std::string& name : keys) {
      TZelRegistry reg(registry);
      reg.SetRoot(RootKey::ClassesRoot);
      EXPECT_EQ(reg.OpenKeyRead("\\" + name + "\\Shell"), present) << name;
      // Appended: GCC 12 at -O3 reports a false -Wrestrict overlap for "\\" + std::string(...).
      std::string upper = "\\";
      upper += AsciiUpperCase(name);
      EXPECT_EQ(reg.HasKey(upper), present) << name;
    }
  };
  std::sort(order.begin(), order.end(),
            [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; });
  openAll(order, true);
  std::reverse(order.begin(), order.end());
  openAll(order, true);
  std::shuffle(order.begin(), order.end(), random);
  openAll(order, true);

  // Every other key removed, then new keys in between: nothing stale is found, nothing missed.
  RegNode* root = registry.RootNode(RootKey::ClassesRoot).get();
  EXPECT_NE(root->FindChildAside(order[0]), nullptr);
  std::vector<std::string> removed;
  for (std::size_t i = 0; i < order.size(); i += 2) {
    ASSERT_TRUE(root->RemoveChild(order[i]));
    removed.push_back(order[i]);
  }
  openAll(removed, false);
  EXPECT_EQ(root->FindChildAside(order[0]), nullptr);
  for (const std::string& name : removed) registry.Ensure(RootKey::ClassesRoot, name + "x\\Shell");
  std::sort(order.begin(), order.end());
  for (const std::string& name : order) {
    const bool wasRemoved = std::find(removed.begin(), removed.end(), name) != removed.end();
    EXPECT_EQ(root->FindChild(name) != nullptr, !wasRemoved) << name;
    EXPECT_EQ(root->FindChild(name + "X") != nullptr, wasRemoved) << name;
    EXPECT_EQ(root->FindChildAside(name) != nullptr, !wasRemoved) << name;
    EXPECT_EQ(root->FindChildAside(name + "X") != nullptr, wasRemoved) << name;
  }
  EXPECT_TRUE(std::is_sorted(
      root->children.begin(), root->children.end(),
      [](const auto& a, const auto& b) { return CompareNoCase(a->name, b->name) < 0; }));
  EXPECT_EQ(registry.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace tovalin
