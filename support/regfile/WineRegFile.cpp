#include "support/regfile/WineRegFile.h"

#include <algorithm>
#include <chrono>
#include <unordered_map>
#include <vector>

#include "support/LittleEndian.h"
#include "support/Text.h"
#include "support/regfile/RegFileFaults.h"
#include "support/regfile/RegFileInput.h"

namespace tovalin {

namespace {

constexpr std::string_view kMagic = "WINE REGISTRY Version 2";
constexpr std::string_view kRelativePrefix = ";; All keys relative to ";
constexpr const char* kBadTime = "#time= の行が正しくありません。";
constexpr const char* kBadClass = "#class= の行が正しくありません。";
constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
constexpr std::uint64_t kTicksPerSecond = 10000000ull;

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

bool IsBlankLine(std::string_view line) {
  return std::all_of(line.begin(), line.end(), [](char c) { return IsBlank(c); });
}

std::size_t SkipBlanks(std::string_view s, std::size_t i) {
  while (i < s.size() && IsBlank(s[i])) ++i;
  return i;
}

// wineserver orders names by their lower-cased UTF-16 units, shorter first on a tie.
char16_t WineLowerUnit(char16_t u) {
  if (u < 0x80) return (u >= u'A' && u <= u'Z') ? static_cast<char16_t>(u + 32) : u;
  if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char16_t>(u + 32);
  if (u >= 0x391 && u <= 0x3A9 && u != 0x3A2) return static_cast<char16_t>(u + 32);
  if (u >= 0x410 && u <= 0x42F) return static_cast<char16_t>(u + 32);
  if (u >= 0x400 && u <= 0x40F) return static_cast<char16_t>(u + 80);
  if (u >= 0xFF21 && u <= 0xFF3A) return static_cast<char16_t>(u + 32);
  return u;
}

int WineCompare(std::string_view a, std::string_view b) {
  const bool ascii = std::none_of(a.begin(), a.end(), [](char c) { return c & 0x80; }) &&
                     std::none_of(b.begin(), b.end(), [](char c) { return c & 0x80; });
  if (ascii) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
      const auto x = static_cast<unsigned char>(AsciiLower(a[i]));
      const auto y = static_cast<unsigned char>(AsciiLower(b[i]));
      if (x != y) return x < y ? -1 : 1;
    }
  } else {
    const std::u16string wa = Utf8ToUtf16(a);
    const std::u16string wb = Utf8ToUtf16(b);
    const std::size_t n = std::min(wa.size(), wb.size());
    for (std::size_t i = 0; i < n; ++i) {
      const char16_t x = WineLowerUnit(wa[i]);
      const char16_t y = WineLowerUnit(wb[i]);
      if (x != y) return x < y ? -1 : 1;
    }
    if (wa.size() != wb.size()) return wa.size() < wb.size() ? -1 : 1;
    return 0;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// Names are nearly always ASCII.
std::string ToUtf8(std::u16string_view text) {
  if (std::any_of(text.begin(), text.end(), [](char16_t u) { return u >= 0x80; })) {
    return Utf16ToUtf8(text);
  }
  std::string out(text.size(), '\0');
  for (std::size_t k = 0; k < text.size(); ++k) out[k] = static_cast<char>(text[k]);
  return out;
}

// ---------------------------------------------------------------------------------------------
// Reading

// Strings longer than this are sized before they are read.
constexpr std::size_t kLongString = 4096;

// Counts the UTF-16 units of a string.
struct UnitCounter {
  std::size_t units = 0;
  void clear() { units = 0; }
  void push_back(char16_t) { ++units; }
  template <class It>
  void append(It begin, It end) {
    units += static_cast<std::size_t>(end - begin);
  }
};

// Writes the UTF-16 units of a string as little-endian bytes.
struct Utf16Bytes {
  std::vector<std::uint8_t>& data;
  void clear() { data.clear(); }
  void push_back(char16_t u) { AppendLe16(data, u); }
  template <class It>
  void append(It begin, It end) {
    for (; begin != end; ++begin) push_back(static_cast<unsigned char>(*begin));
  }
};

class Parser {
 public:
  Parser(std::string_view text, const std::string& fileName) : text_(text), file_(fileName) {}

  WineHive Run() {
    WineHive hive;
    hive_ = &hive;
    if (!NextLine()) throw RegFileError(file_, EmptyRegistryFileMessage(file_));
    if (content_ != kMagic) {
      Fail("Wine のレジストリファイルではありません（1 行目が " + std::string(kMagic) +
           " ではありません）。");
    }
    lastContentEnd_ = lineNext_;
    while (NextLine()) {
      if (IsBlankLine(content_)) continue;
      const char first = content_[SkipBlanks(content_, 0)];
      if (first == '[') {
        FinishBlock();
        blockStart_ = lastContentEnd_;
        lastContentEnd_ = lineNext_;
        StartKey();
        continue;
      }
      if (first == '"' || first == '@') {
        if (key_ == nullptr) Fail(regfile_fault::kValueOutsideKey);
        ParseValue();
      } else if (first == '#') {
        ParseOption();
      } else if (first == ';') {
        if (key_ == nullptr && content_.starts_with(kRelativePrefix)) {
          hive_->relative = UnescapePath(content_.substr(kRelativePrefix.size()));
        }
      } else {
        Fail(regfile_fault::kUnrecognisedLine);
      }
      // ParseValue may have read continuation lines; the block runs to the end of the last one.
      lastContentEnd_ = lineNext_;
    }
    FinishBlock();
    hive.trailer = std::string(text_.substr(lastContentEnd_));
    return hive;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const { throw RegFileError(file_, line_, what); }

  // Advances to the next physical line: content_ without its line break.
  bool NextLine() {
    if (pos_ >= text_.size()) return false;
    lineBegin_ = pos_;
    const std::size_t newline = text_.find('\n', pos_);
    const std::size_t end = newline == std::string_view::npos ? text_.size() : newline;
    lineNext_ = newline == std::string_view::npos ? text_.size() : newline + 1;
    std::size_t contentEnd = end;
    if (contentEnd > lineBegin_ && text_[contentEnd - 1] == '\r') --contentEnd;
    content_ = text_.substr(lineBegin_, contentEnd - lineBegin_);
    pos_ = lineNext_;
    ++line_;
    return true;
  }

  // "REGISTRY\\Machine" → "REGISTRY\Machine". Only a comment: anything odd is kept as it is.
  static std::string UnescapePath(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
      if (s[i] == '\\' && i + 1 < s.size()) ++i;
      out.push_back(s[i]);
    }
    while (!out.empty() && IsBlank(out.back())) out.pop_back();
    return out;
  }

  void FinishBlock() {
    if (key_ == nullptr) {
      if (!headerDone_) hive_->header = std::string(text_.substr(0, lastContentEnd_));
    } else {
      // A key met again under another spelling keeps its first name; its text as read would
      // name it otherwise, so it is written from the tree instead.
      const bool earlier = !key_->fileText.empty() && key_->modified;
      key_->fileText.append(text_.substr(blockStart_, lastContentEnd_ - blockStart_));
      key_->modified = earlier || respelled_;
      MergeDuplicateValues(*key_);
    }
    headerDone_ = true;
  }

  // Appends one UTF-8 encoded character starting at s[i] as UTF-16 units; returns the next index.
  template <class Out>
  std::size_t DecodeUtf8(std::string_view s, std::size_t i, Out& out) const {
    char32_t cp = 0;
    const std::size_t len = DecodeUtf8Char(s, i, cp);
    if (len == 0) Fail("UTF-8 の文字として正しくないバイトがあります。");
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    return i + len;
  }

  // Reads an escaped string from s[i] up to the unescaped `close`, as UTF-16 units into `out`
  // (a std::u16string or one of the sinks below); returns the index after it.
  template <class Out>
  std::size_t ParseQuoted(std::string_view s, std::size_t i, char close, Out& out) {
    out.clear();
    while (true) {
      if (i >= s.size()) Fail(regfile_fault::Unterminated(close));
      const char c = s[i];
      if (c == close) return i + 1;
      if (static_cast<unsigned char>(c) >= 0x80) {
        i = DecodeUtf8(s, i, out);
        continue;
      }
      if (c != '\\') {
        std::size_t end = i + 1;
        while (end < s.size() && s[end] != close && s[end] != '\\' &&
               static_cast<unsigned char>(s[end]) < 0x80) {
          ++end;
        }
        out.append(s.begin() + static_cast<std::ptrdiff_t>(i),
                   s.begin() + static_cast<std::ptrdiff_t>(end));
        i = end;
        continue;
      }
      if (++i >= s.size()) Fail(regfile_fault::Unterminated(close));
      const char e = s[i++];
      switch (e) {
        case '\\':
        case '"':
        case '[':
        case ']':
          out.push_back(static_cast<char16_t>(e));
          break;
        case 'a':
          out.push_back(7);
          break;
        case 'b':
          out.push_back(8);
          break;
        case 't':
          out.push_back(9);
          break;
        case 'n':
          out.push_back(10);
          break;
        case 'v':
          out.push_back(11);
          break;
        case 'f':
          out.push_back(12);
          break;
        case 'r':
          out.push_back(13);
          break;
        case 'e':
          out.push_back(27);
          break;
        case 'x': {
          unsigned value = 0;
          int digits = 0;
          while (digits < 4 && i < s.size() && HexValue(s[i]) >= 0) {
            value = value * 16 + static_cast<unsigned>(HexValue(s[i++]));
            ++digits;
          }
          if (digits == 0) Fail("\\x の後に 16 進数がありません。");
          out.push_back(static_cast<char16_t>(value));
          break;
        }
        default:
          if (e >= '0' && e <= '7') {
            unsigned value = static_cast<unsigned>(e - '0');
            int digits = 1;
            while (digits < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7') {
              value = value * 8 + static_cast<unsigned>(s[i++] - '0');
              ++digits;
            }
            out.push_back(static_cast<char16_t>(value));
            break;
          }
          Fail(regfile_fault::BadEscape(e));
      }
    }
  }

  void ExpectLineEnd(std::string_view s, std::size_t i,
                     const char* what = regfile_fault::kUnexpectedAfterValue) {
    if (SkipBlanks(s, i) != s.size()) Fail(what);
  }

  void StartKey() {
    std::string_view s = content_;
    std::size_t i = SkipBlanks(s, 0) + 1;
    i = ParseQuoted(s, i, ']', path_);
    // "] <unix time>": the number is optional; wineserver takes the time from "#time=".
    i = SkipBlanks(s, i);
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    ExpectLineEnd(s, i, regfile_fault::kUnexpectedAfterKey);

    // Consecutive keys share most of their path: reuse the nodes of the previous key.
    ends_.clear();
    for (std::size_t k = 0; k < path_.size(); ++k) {
      if (path_[k] == u'\\') ends_.push_back(k);
    }
    if (!path_.empty()) ends_.push_back(path_.size());
    RegNode* node = hive_->root.get();
    std::size_t level = 0;
    std::size_t start = 0;
    while (level < ends_.size() && level < prevEnds_.size() && ends_[level] == prevEnds_[level] &&
           std::equal(path_.begin() + static_cast<std::ptrdiff_t>(start),
                      path_.begin() + static_cast<std::ptrdiff_t>(ends_[level]),
                      prevPath_.begin() + static_cast<std::ptrdiff_t>(start))) {
      node = chainNodes_[level];
      start = ends_[level] + 1;
      ++level;
    }
    chainNodes_.resize(level);
    for (; level < ends_.size(); ++level) {
      const std::u16string_view part(path_.data() + start, ends_[level] - start);
      if (part.empty()) Fail("キーのパスに空の名前があります。");
      node = Child(*node, ToUtf8(part));
      chainNodes_.push_back(node);
      start = ends_[level] + 1;
    }
    respelled_ = false;
    if (!ends_.empty()) {
      const std::size_t lastStart = ends_.size() > 1 ? ends_[ends_.size() - 2] + 1 : 0;
      respelled_ = ToUtf8(std::u16string_view(path_.data() + lastStart,
                                              ends_.back() - lastStart)) != node->name;
    }
    prevPath_.swap(path_);
    prevEnds_.swap(ends_);
    key_ = node;
  }

  // Wine files list siblings in order, so a new child nearly always goes last.
  static RegNode* Child(RegNode& parent, std::string name) {
    auto& children = parent.children;
    if (children.empty() || CompareNoCase(children.back()->name, name) < 0) {
      auto child = std::make_shared<RegNode>();
      child->name = std::move(name);
      child->parent = &parent;
      children.push_back(std::move(child));
      return children.back().get();
    }
    if (RegNode* existing = parent.FindChild(name)) return existing;
    RegNode* child = parent.AddChild(name);
    child->modified = false;
    return child;
  }

  void ParseOption() {
    const std::string_view s = content_.substr(SkipBlanks(content_, 0));
    if (s.starts_with("#arch=")) {
      if (key_ != nullptr) return;  // only meaningful in the header
      hive_->arch = std::string(s.substr(6));
      while (!hive_->arch.empty() && IsBlank(hive_->arch.back())) hive_->arch.pop_back();
      return;
    }
    if (key_ == nullptr) return;
    if (s.starts_with("#time=")) {
      std::size_t i = 6;
      while (i < s.size() && HexValue(s[i]) >= 0) ++i;
      if (i == 6 || i - 6 > 16) Fail(kBadTime);
      ExpectLineEnd(s, i, kBadTime);
    } else if (s.starts_with("#class=")) {
      if (s.size() < 8 || s[7] != '"') Fail(kBadClass);
      const std::size_t i = ParseQuoted(s, 8, '"', text16_);
      ExpectLineEnd(s, i, kBadClass);
      key_->className = ToUtf8(text16_);
    } else if (s.starts_with("#link")) {
      key_->link = true;
    }
    // Other options are wineserver's business; they stay in the key's text.
  }

  // Room for the bytes one line can hold (one per comma and one more), growing at least twofold:
  // a value written on one line of hundreds of megabytes is read without slack.
  static void ReserveHexLine(std::string_view s, std::size_t i, std::vector<std::uint8_t>& data) {
    const std::size_t most = static_cast<std::size_t>(std::count(
                                 s.begin() + static_cast<std::ptrdiff_t>(i), s.end(), ',')) +
                             1;
    if (data.size() + most > data.capacity()) {
      data.reserve(std::max(data.size() + most, data.capacity() * 2));
    }
  }

  static std::uint32_t ParseHexNumber(std::string_view s, std::size_t& i, int maxDigits, bool& ok) {
    std::uint32_t value = 0;
    int digits = 0;
    while (i < s.size() && HexValue(s[i]) >= 0) {
      if (++digits > maxDigits) {
        ok = false;
        return 0;
      }
      value = value * 16 + static_cast<std::uint32_t>(HexValue(s[i++]));
    }
    ok = digits > 0;
    return value;
  }

  // Comma-separated bytes, continued on the next line after a trailing backslash. Blank and
  // comment lines between continued lines are passed over, as regedit does; what follows them
  // must be more of the data, so that a value is never cut short without a word.
  void ParseHexBytes(std::size_t i, std::vector<std::uint8_t>& data) {
    std::string_view s = content_;
    ReserveHexLine(s, i, data);
    while (true) {
      i = SkipBlanks(s, i);
      if (i >= s.size()) return;
      if (s[i] == '\\') {
        if (SkipBlanks(s, i + 1) != s.size()) Fail(regfile_fault::kBadHexData);
        do {
          if (!NextLine()) Fail(regfile_fault::kHexPastEnd);
          i = SkipBlanks(content_, 0);
        } while (i >= content_.size() || content_[i] == ';');
        s = content_;
        if (s[i] != '\\' && HexValue(s[i]) < 0) Fail(regfile_fault::kHexByOtherText);
        ReserveHexLine(s, i, data);
        continue;
      }
      const int high = HexValue(s[i]);
      if (high < 0) Fail(regfile_fault::kBadHexData);
      int value = high;
      ++i;
      if (i < s.size() && HexValue(s[i]) >= 0) value = value * 16 + HexValue(s[i++]);
      data.push_back(static_cast<std::uint8_t>(value));
      i = SkipBlanks(s, i);
      if (i >= s.size()) return;
      if (s[i] == ',') {
        ++i;
      } else if (s[i] != '\\') {
        Fail(regfile_fault::kBadHexData);
      }
    }
  }

  void ParseValue() {
    std::string_view s = content_;
    std::size_t i = SkipBlanks(s, 0);
    std::string name;
    if (s[i] == '@') {
      ++i;
    } else {
      i = ParseQuoted(s, i + 1, '"', text16_);
      name = ToUtf8(text16_);
    }
    i = SkipBlanks(s, i);
    if (i >= s.size() || s[i] != '=') Fail(regfile_fault::kMissingEquals);
    i = SkipBlanks(s, i + 1);
    const std::string_view rest = s.substr(i);

    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    auto stringData = [&](std::size_t at) {
      if (s.size() - at > kLongString) {
        // Counted first, then written straight into data of the exact size: no second copy
        // and no slack for a string of hundreds of megabytes.
        UnitCounter counter;
        ExpectLineEnd(s, ParseQuoted(s, at, '"', counter));
        data.reserve((counter.units + 1) * 2);
        Utf16Bytes bytes{data};
        ParseQuoted(s, at, '"', bytes);
        data.push_back(0);
        data.push_back(0);
        return;
      }
      const std::size_t after = ParseQuoted(s, at, '"', text16_);
      ExpectLineEnd(s, after);
      data.resize((text16_.size() + 1) * 2);
      std::size_t k = 0;
      for (const char16_t u : text16_) {
        StoreLe16(&data[k], u);
        k += 2;
      }
      data[k++] = 0;
      data[k++] = 0;
    };
    bool ok = false;
    if (rest.starts_with("\"")) {
      type = win::kRegSz;
      stringData(i + 1);
    } else if (rest.starts_with("str:\"")) {
      type = win::kRegSz;
      stringData(i + 5);
    } else if (rest.starts_with("str(")) {
      std::size_t k = i + 4;
      type = ParseHexNumber(s, k, 8, ok);
      if (!ok || s.substr(k, 3) != "):\"") Fail("str( の型番号が正しくありません。");
      stringData(k + 3);
    } else if (rest.starts_with("dword:")) {
      std::size_t k = i + 6;
      const std::uint32_t value = ParseHexNumber(s, k, 8, ok);
      if (!ok) Fail(regfile_fault::kBadDword);
      ExpectLineEnd(s, k);
      type = win::kRegDword;
      data = Le32Bytes(value);
    } else if (rest.starts_with("hex:")) {
      type = win::kRegBinary;
      ParseHexBytes(i + 4, data);
    } else if (rest.starts_with("hex(")) {
      std::size_t k = i + 4;
      type = ParseHexNumber(s, k, 8, ok);
      if (!ok || s.substr(k, 2) != "):") Fail(regfile_fault::kBadHexType);
      ParseHexBytes(k + 2, data);
    } else {
      Fail(regfile_fault::kUnknownValueType);
    }
    key_->values.push_back(RegValue{std::move(name), type, std::move(data)});
  }

  // A name given twice in one key: the later data wins, in the earlier place. wineserver
  // writes values sorted, so a strictly ascending list (the usual case) has no duplicates.
  static void MergeDuplicateValues(RegNode& key) {
    std::vector<RegValue>& values = key.values;
    bool ascending = true;
    for (std::size_t k = 1; k < values.size() && ascending; ++k) {
      ascending = WineCompare(values[k - 1].name, values[k].name) < 0;
    }
    if (ascending) return;
    std::unordered_map<std::string, std::size_t> first;
    std::vector<RegValue> merged;
    merged.reserve(values.size());
    for (RegValue& v : values) {
      const auto [it, inserted] = first.try_emplace(FoldNoCase(v.name), merged.size());
      if (inserted) {
        merged.push_back(std::move(v));
      } else {
        merged[it->second].type = v.type;
        merged[it->second].data = std::move(v.data);
      }
    }
    values = std::move(merged);
  }

  std::string_view text_;
  const std::string& file_;
  WineHive* hive_ = nullptr;
  std::size_t pos_ = 0;
  std::size_t line_ = 0;
  std::size_t lineBegin_ = 0;
  std::size_t lineNext_ = 0;
  std::string_view content_;
  std::size_t blockStart_ = 0;
  std::size_t lastContentEnd_ = 0;
  bool headerDone_ = false;
  RegNode* key_ = nullptr;
  std::u16string path_;
  std::u16string text16_;
  std::u16string prevPath_;
  std::vector<std::size_t> ends_;
  std::vector<std::size_t> prevEnds_;
  bool respelled_ = false;  // the current key was named otherwise where it was first met
  std::vector<RegNode*> chainNodes_;
};

// ---------------------------------------------------------------------------------------------
// Writing

constexpr char kHexDigits[] = "0123456789abcdef";

void AppendHex(std::string& out, std::uint64_t value, int minDigits) {
  char buffer[16];
  int n = 0;
  do {
    buffer[n++] = kHexDigits[value & 0xF];
    value >>= 4;
  } while (value != 0);
  for (int k = n; k < minDigits; ++k) out.push_back('0');
  while (n > 0) out.push_back(buffer[--n]);
}

void AppendOctal(std::string& out, unsigned value, int minDigits) {
  char buffer[8];
  int n = 0;
  do {
    buffer[n++] = static_cast<char>('0' + (value & 7));
    value >>= 3;
  } while (value != 0);
  for (int k = n; k < minDigits; ++k) out.push_back('0');
  while (n > 0) out.push_back(buffer[--n]);
}

bool IsAsciiHexDigit(char16_t u) {
  return u < 128 && HexValue(static_cast<char>(u)) >= 0;
}

// Writes UTF-16 units escaped as wineserver does; returns the number of characters written.
// In string data a NUL as the very last unit is the terminator and is left out; a name has no
// terminator among its units, so a NUL at its end is part of it and is written.
template <class UnitAt>
std::size_t AppendEscaped(std::string& out, std::size_t count, UnitAt unitAt, char escape1,
                          char escape2, bool terminated = true) {
  static constexpr char kEscapes[33] = ".......abtnvfr.............e....";
  const std::size_t before = out.size();
  for (std::size_t k = 0; k < count; ++k) {
    const char16_t u = unitAt(k);
    const bool hasNext = k + 1 < count;
    if (u > 127) {
      out += "\\x";
      AppendHex(out, u, hasNext && IsAsciiHexDigit(unitAt(k + 1)) ? 4 : 1);
      continue;
    }
    if (u < 32) {
      if (u == 0 && !hasNext && terminated) continue;
      if (kEscapes[u] != '.') {
        out.push_back('\\');
        out.push_back(kEscapes[u]);
      } else {
        out.push_back('\\');
        const char16_t next = hasNext ? unitAt(k + 1) : 0;
        AppendOctal(out, u, next >= u'0' && next <= u'7' ? 3 : 1);
      }
      continue;
    }
    const char c = static_cast<char>(u);
    if (c == '\\' || c == escape1 || c == escape2) out.push_back('\\');
    out.push_back(c);
  }
  return out.size() - before;
}

std::size_t AppendEscapedName(std::string& out, std::string_view name, char escape1, char escape2) {
  const bool plain = std::all_of(name.begin(), name.end(), [&](char c) {
    return c >= 32 && c < 127 && c != '\\' && c != escape1 && c != escape2;
  });
  if (plain) {
    out.append(name);
    return name.size();
  }
  const std::u16string wide = Utf8ToUtf16(name);
  return AppendEscaped(
      out, wide.size(), [&](std::size_t k) { return wide[k]; }, escape1, escape2, false);
}

void AppendValue(std::string& out, const RegValue& value) {
  std::size_t count = 0;
  if (!value.name.empty()) {
    out.push_back('"');
    count = 1 + AppendEscapedName(out, value.name, '"', '"');
    out += "\"=";
    count += 2;
  } else {
    out += "@=";
    count = 2;
  }
  const std::vector<std::uint8_t>& data = value.data;
  const std::size_t size = data.size();
  switch (value.type) {
    case win::kRegSz:
    case win::kRegExpandSz:
    case win::kRegMultiSz:
      // Only a properly terminated string is written as text.
      if (size >= 2 && size % 2 == 0 && data[size - 2] == 0 && data[size - 1] == 0) {
        if (value.type != win::kRegSz) {
          out += "str(";
          AppendHex(out, value.type, 1);
          out += "):";
        }
        out.push_back('"');
        AppendEscaped(
            out, size / 2,
            [&](std::size_t k) { return static_cast<char16_t>(LoadLe16(&data[2 * k])); }, '"', '"');
        out += "\"\n";
        return;
      }
      break;
    case win::kRegDword:
      if (size == 4) {
        out += "dword:";
        AppendHex(out, LoadLe32(data.data()), 8);
        out.push_back('\n');
        return;
      }
      break;
    default:
      break;
  }
  const std::size_t typeStart = out.size();
  if (value.type == win::kRegBinary) {
    out += "hex:";
  } else {
    out += "hex(";
    AppendHex(out, value.type, 1);
    out += "):";
  }
  count += out.size() - typeStart;
  for (std::size_t k = 0; k < size; ++k) {
    out.push_back(kHexDigits[data[k] >> 4]);
    out.push_back(kHexDigits[data[k] & 0xF]);
    count += 2;
    if (k + 1 < size) {
      out.push_back(',');
      if (++count > 76) {
        out += "\\\n  ";
        count = 2;
      }
    }
  }
  out.push_back('\n');
}

// A block of key text must begin on a line of its own, even after the last line of a file that
// had no line break at its end, now written before other keys.
void StartLine(std::string& out) {
  if (!out.empty() && out.back() != '\n') out.push_back('\n');
}

class Writer {
 public:
  // A key written anew, with where its text lies in the output (empty: implied by its subkeys).
  struct Written {
    const RegNode* node;
    std::size_t begin, end;
  };

  Writer(std::string& out, std::uint64_t now, std::vector<Written>* written = nullptr)
      : out_(out), now_(now), written_(written) {}

  // Depth first with a stack of its own: a hive may nest keys deeper than the call stack allows.
  void Write(const RegNode& root) {
    if (root.deleted) return;
    Own(root);
    std::vector<std::pair<std::vector<const RegNode*>, std::size_t>> stack;
    stack.emplace_back(Children(root), 0);
    while (!stack.empty()) {
      auto& [children, next] = stack.back();
      if (next == children.size()) {
        stack.pop_back();
        if (!path_.empty()) path_.pop_back();  // path_ holds the keys below the root
        continue;
      }
      const RegNode* child = children[next++];
      if (child->deleted) continue;
      path_.push_back(child);
      Own(*child);
      stack.emplace_back(Children(*child), 0);
    }
  }

 private:
  void Own(const RegNode& node) {
    if (!node.modified) {
      if (!node.fileText.empty()) StartLine(out_);
      out_ += node.fileText;
    } else if (!node.values.empty() || node.children.empty() || !node.className.empty() ||
               node.link) {
      // Like wineserver: a key with subkeys and nothing of its own is implied by its subkeys.
      StartLine(out_);
      const std::size_t begin = out_.size();
      Generated(node);
      if (written_ != nullptr) written_->push_back({&node, begin, out_.size()});
    } else if (written_ != nullptr) {
      written_->push_back({&node, 0, 0});
    }
  }

  // In wineserver's order.
  static std::vector<const RegNode*> Children(const RegNode& node) {
    std::vector<const RegNode*> sorted;
    sorted.reserve(node.children.size());
    for (const auto& child : node.children) sorted.push_back(child.get());
    bool ordered = true;
    for (std::size_t k = 1; k < sorted.size() && ordered; ++k) {
      ordered = WineCompare(sorted[k - 1]->name, sorted[k]->name) < 0;
    }
    if (!ordered) {
      std::stable_sort(sorted.begin(), sorted.end(), [](const RegNode* a, const RegNode* b) {
        return WineCompare(a->name, b->name) < 0;
      });
    }
    return sorted;
  }

  void Generated(const RegNode& node) {
    StartLine(out_);
    out_ += "\n[";
    for (std::size_t k = 0; k < path_.size(); ++k) {
      if (k > 0) out_ += "\\\\";
      AppendEscapedName(out_, path_[k]->name, '[', ']');
    }
    out_ += "] ";
    const std::uint64_t unixTime =
        now_ > kUnixEpochAsFileTime ? (now_ - kUnixEpochAsFileTime) / kTicksPerSecond : 0;
    out_ += std::to_string(static_cast<std::uint32_t>(unixTime));
    out_ += "\n#time=";
    AppendHex(out_, now_ >> 32, 1);
    AppendHex(out_, now_ & 0xFFFFFFFFu, 8);
    out_.push_back('\n');
    if (!node.className.empty()) {
      out_ += "#class=\"";
      AppendEscapedName(out_, node.className, '"', '"');
      out_ += "\"\n";
    }
    if (node.link) out_ += "#link\n";
    std::vector<const RegValue*> values;
    values.reserve(node.values.size());
    for (const RegValue& v : node.values) values.push_back(&v);
    std::stable_sort(values.begin(), values.end(), [](const RegValue* a, const RegValue* b) {
      return WineCompare(a->name, b->name) < 0;
    });
    for (const RegValue* v : values) AppendValue(out_, *v);
  }

  std::string& out_;
  std::uint64_t now_;
  std::vector<Written>* written_;
  std::vector<const RegNode*> path_;
};

std::size_t TextSize(const RegNode& root) {
  std::size_t size = 0;
  std::vector<const RegNode*> pending{&root};
  while (!pending.empty()) {
    const RegNode* node = pending.back();
    pending.pop_back();
    size += node->fileText.size();
    for (const auto& child : node->children) pending.push_back(child.get());
  }
  return size;
}

}  // namespace

WineHive ParseWineRegistry(std::string_view text, const std::string& fileName) {
  return Parser(text, fileName).Run();
}

WineHive LoadWineRegistryFile(const std::string& path) {
  return ParseWineRegistry(ReadRegistryFile(path), path);
}

namespace {

std::string Format(const WineHive& hive, std::uint64_t fileTimeNow,
                   std::vector<Writer::Written>* written) {
  std::string out;
  out.reserve(hive.header.size() + TextSize(*hive.root) + hive.trailer.size() + 4096);
  if (!hive.header.empty()) {
    out += hive.header;
  } else {
    out += kMagic;
    out += '\n';
    out += kRelativePrefix;
    const std::vector<std::string> parts = SplitPath(hive.relative);
    for (std::size_t k = 0; k < parts.size(); ++k) {
      if (k > 0) out += "\\\\";
      AppendEscapedName(out, parts[k], '[', ']');
    }
    out += '\n';
    if (!hive.arch.empty()) out += "\n#arch=" + hive.arch + "\n";
  }
  Writer(out, fileTimeNow, written).Write(*hive.root);
  if (!hive.trailer.empty()) StartLine(out);
  out += hive.trailer;
  return out;
}

}  // namespace

std::string FormatWineRegistry(const WineHive& hive, std::uint64_t fileTimeNow) {
  return Format(hive, fileTimeNow, nullptr);
}

std::string FormatWineRegistryAsSaved(WineHive& hive, std::uint64_t fileTimeNow) {
  std::vector<Writer::Written> written;
  std::string out = Format(hive, fileTimeNow, &written);
  // Each written key keeps the text it was written as, exactly what reading the output back
  // would give it.
  for (const Writer::Written& key : written) {
    // The nodes are the caller's own, reached through its non-const hive.
    RegNode& node = const_cast<RegNode&>(*key.node);
    node.modified = false;
    node.fileText.assign(out, key.begin, key.end - key.begin);
    std::stable_sort(
        node.values.begin(), node.values.end(),
        [](const RegValue& a, const RegValue& b) { return WineCompare(a.name, b.name) < 0; });
  }
  return out;
}

std::string FormatWineRegistry(const WineHive& hive) {
  return FormatWineRegistry(hive, FileTimeNow());
}

std::uint64_t FileTimeNow() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  const auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(since).count() / 100;
  return kUnixEpochAsFileTime + static_cast<std::uint64_t>(ticks);
}

}  // namespace tovalin
