#include "support/regfile/RegeditWriter.h"

#include "support/LittleEndian.h"
#include "support/Text.h"
#include "support/platform/Platform.h"

namespace tovalin {

namespace {

// Regedit continues a line of hex data once it has reached this many characters.
constexpr std::size_t kHexLineWidth = 77;

const std::u16string kLineEnd = u"\r\n";

std::u16string HexDigits(std::uint32_t value, int width) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string digits;
  do {
    digits.insert(digits.begin(), kDigits[value % 16]);
    value /= 16;
  } while (value != 0);
  if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), u'0');
  return digits;
}

std::u16string Quoted(std::u16string_view text) {
  std::u16string quoted = u"\"";
  for (const char16_t unit : text) {
    if (unit == u'\\' || unit == u'"') quoted.push_back(u'\\');
    quoted.push_back(unit);
  }
  quoted.push_back(u'"');
  return quoted;
}

// The text of REG_SZ data that a quoted string gives back unit for unit on import: one NUL at
// the very end and nowhere else, and nothing a line or a quoted string could not hold (control
// characters, half a surrogate pair). Anything else is written as hex(1), as its bytes.
bool PlainText(const std::vector<std::uint8_t>& data, std::u16string& text) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  text = Utf16FromBytes(data.data(), data.size());
  if (text.back() != u'\0') return false;
  text.pop_back();
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit < 0x20) return false;
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (low) return false;
    if (high) {
      if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) return false;
      ++i;
    }
  }
  return true;
}

std::u16string NamePart(std::string_view name) {
  return (name.empty() ? u"@" : Quoted(Utf8ToUtf16(name))) + u"=";
}

}  // namespace

RegeditWriter::RegeditWriter(std::string_view comment) {
  text_ = u"Windows Registry Editor Version 5.00" + kLineEnd;
  if (comment.empty()) return;
  std::string line(comment);
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  text_ += u"; " + Utf8ToUtf16(line) + kLineEnd;
}

void RegeditWriter::Key(std::string_view name, bool remove) {
  text_ += kLineEnd + (remove ? u"[-" : u"[") + Utf8ToUtf16(name) + u"]" + kLineEnd;
}

void RegeditWriter::DeletedValue(std::string_view name) {
  text_ += NamePart(name) + u"-" + kLineEnd;
}

void RegeditWriter::Value(std::string_view name, std::uint32_t type,
                          const std::vector<std::uint8_t>& data) {
  std::u16string line = NamePart(name);
  std::u16string text;
  if (type == win::kRegSz && PlainText(data, text)) {
    text_ += line + Quoted(text) + kLineEnd;
    return;
  }
  if (type == win::kRegDword && data.size() == 4) {
    text_ += line + u"dword:" + HexDigits(LoadLe32(data.data()), 8) + kLineEnd;
    return;
  }
  line += type == win::kRegBinary ? u"hex:" : u"hex(" + HexDigits(type, 1) + u"):";
  // Regedit counts the width from the start of the line, the name and type included.
  std::size_t width = line.size();
  for (std::size_t i = 0; i < data.size(); ++i) {
    line += HexDigits(data[i], 2);
    if (i + 1 == data.size()) break;
    line += u",";
    width += 3;
    if (width >= kHexLineWidth) {
      line += u"\\" + kLineEnd + u"  ";
      width = 2;
    }
  }
  text_ += line + kLineEnd;
}

std::vector<std::uint8_t> RegeditWriter::Bytes() const {
  const std::u16string whole = text_ + kLineEnd;
  std::vector<std::uint8_t> bytes;
  bytes.reserve(2 + 2 * whole.size());
  AppendLe16(bytes, 0xFEFF);
  for (const char16_t unit : whole) AppendLe16(bytes, unit);
  return bytes;
}

}  // namespace tovalin
