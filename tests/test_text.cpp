#include <gtest/gtest.h>

#include "support/Text.h"

namespace tovalin {
namespace {

TEST(Text, Utf16RoundTripAndHostileBytes) {
  const std::string japanese = "山田 太郎\xF0\x9F\x98\x80";
  EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(japanese)), japanese);
  EXPECT_EQ(Utf16Length(japanese), 7u);  // the emoji is a surrogate pair
  // Truncated and overlong sequences become U+FFFD instead of stopping the conversion.
  EXPECT_EQ(Utf8ToUtf16("a\xE3\x81"), std::u16string(u"a\uFFFD\uFFFD"));
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), std::u16string(u"\uFFFD\uFFFD"));
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(Text, CaseInsensitiveOrderMatchesTheRegistry) {
  // Wine keeps {90170411-…} < {901a0411-…} < {901E0411-…}.
  EXPECT_LT(CompareNoCase("{90170411-x}", "{901a0411-x}"), 0);
  EXPECT_LT(CompareNoCase("{901a0411-x}", "{901E0411-x}"), 0);
  EXPECT_EQ(CompareNoCase("PowerPoint", "Powerpoint"), 0);
  EXPECT_LT(CompareNoCase("Shell", "Shellex"), 0);
  // '_' sorts after upper-case letters, as with Windows' upper-case comparison.
  EXPECT_LT(CompareNoCase("Z", "_"), 0);
}

TEST(Text, CutUtf8NeverSplitsACharacter) {
  EXPECT_EQ(CutUtf8("あい", 4), "あ");
  EXPECT_EQ(CutUtf8("あい", 6), "あい");
  EXPECT_EQ(CutUtf8("abc", 2), "ab");
}

}  // namespace
}  // namespace tovalin
