#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "support/LittleEndian.h"
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
}

TEST(Text, LoneSurrogatesSurviveTheRoundTrip) {
  // UTF-16 as Windows allows it in names, and its WTF-8 form.
  const struct {
    std::u16string units;
    std::string bytes;
  } cases[] = {
      {u"Sub\xD800Key", "Sub\xED\xA0\x80Key"},
      {u"N\xDC00", "N\xED\xB0\x80"},
      {u"\xDBFF", "\xED\xAF\xBF"},
      {u"\xDC00\xD800", "\xED\xB0\x80\xED\xA0\x80"},            // in the wrong order
      {u"\xD800\xD800\xDC00", "\xED\xA0\x80\xF0\x90\x80\x80"},  // then a pair
      {u"\xD83D\xDE00", "\xF0\x9F\x98\x80"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf16ToUtf8(c.units), c.bytes);
    EXPECT_EQ(Utf8ToUtf16(c.bytes), c.units) << c.bytes;
    EXPECT_EQ(Utf16Length(c.bytes), c.units.size()) << c.bytes;
    EXPECT_TRUE(IsUtf8(c.bytes, true)) << c.bytes;
    EXPECT_EQ(IsUtf8(c.bytes), c.bytes.find('\xED') == std::string::npos) << c.bytes;
    EXPECT_EQ(CompareNoCase(c.bytes, AsciiLowerCase(c.bytes)), 0) << c.bytes;
    EXPECT_EQ(FoldNoCase(c.bytes), AsciiUpperCase(c.bytes)) << c.bytes;
  }
  // Names that differ only in their surrogate are two names, ordered by their units.
  EXPECT_LT(CompareNoCase("a\xED\xA0\x80", "a\xED\xA0\x81"), 0);
  EXPECT_NE(FoldNoCase("a\xED\xA0\x80"), FoldNoCase("a\xED\xA0\x81"));
  EXPECT_LT(CompareNoCase("a\xED\xBF\xBF", "a\xEE\x80\x80"), 0);
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

TEST(LittleEndian, ChecksEveryReadAgainstTheEnd) {
  const std::vector<std::uint8_t> b = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
  const std::size_t huge = static_cast<std::size_t>(-1);
  EXPECT_EQ(ReadLe16(b, 0), 0x0201u);
  EXPECT_EQ(ReadLe16(b, 7), 0x0908u);
  EXPECT_EQ(ReadLe32(b, 5), 0x09080706u);
  EXPECT_EQ(ReadLe64(b, 1), 0x0908070605040302u);
  // One byte short, at the end, past it, and far enough past it that at + size wraps.
  for (const std::size_t at : {b.size() - 1, b.size(), b.size() + 1, huge - 1, huge}) {
    EXPECT_FALSE(ReadLe16(b, at).has_value()) << at;
  }
  for (const std::size_t at : {b.size() - 3, b.size(), huge - 3}) {
    EXPECT_FALSE(ReadLe32(b, at).has_value()) << at;
  }
  EXPECT_FALSE(ReadLe64(b, 2).has_value());
  EXPECT_FALSE(ReadLe16({}, 0).has_value());
}

TEST(LittleEndian, WritesReadBack) {
  std::vector<std::uint8_t> out;
  AppendLe16(out, 0xBEEF);
  AppendLe32(out, 0xFEEF04BD);
  EXPECT_EQ(out, (std::vector<std::uint8_t>{0xEF, 0xBE, 0xBD, 0x04, 0xEF, 0xFE}));
  StoreLe32(&out[2], 0x11223344);
  StoreLe16(&out[0], 0x5566);
  EXPECT_EQ(LoadLe32(&out[2]), 0x11223344u);
  EXPECT_EQ(LoadLe16(&out[0]), 0x5566u);
  EXPECT_EQ(Le32Bytes(0x80000001u), (std::vector<std::uint8_t>{0x01, 0x00, 0x00, 0x80}));
}

}  // namespace
}  // namespace tovalin
