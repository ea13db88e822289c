// Reading a Wine hive file: each key keeps the text it was read from.
#include <algorithm>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

#include "support/LittleEndian.h"
#include "support/Text.h"
#include "support/regfile/RegFileFaults.h"
#include "support/regfile/RegFileInput.h"
#include "support/regfile/WineRegFile.h"
#include "support/regfile/WineRegFileFormat.h"

namespace tovalin {

using namespace wine_regfile;

namespace {

constexpr const char* kBadTime = "#time= の行が正しくありません。";
constexpr const char* kBadClass = "#class= の行が正しくありません。";

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

// Names are nearly always ASCII.
std::string ToUtf8(std::u16string_view text) {
  if (std::any_of(text.begin(), text.end(), [](char16_t u) { return u >= 0x80; })) {
    return Utf16ToUtf8(text);
  }
  std::string out(text.size(), '\0');
  for (std::size_t k = 0; k < text.size(); ++k) out[k] = static_cast<char>(text[k]);
  return out;
}

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
  Parser(std::shared_ptr<const std::string> text, const std::string& fileName)
      : whole_(std::move(text)), text_(*whole_), file_(fileName) {}

  // The values of one key's text, which the whole file's reading checked already.
  static std::vector<RegValue> ReadKeyValues(const RegNode& key) {
    static const std::string kNoFile;
    std::vector<RegValue> values;
    Parser parser(key.fileText, kNoFile, &values);
    values.reserve(parser.CountValueLines());
    while (parser.NextLine()) {
      const std::string_view line = parser.content_;
      const std::size_t i = SkipBlanks(line, 0);
      if (i < line.size() && (line[i] == '"' || line[i] == '@')) parser.ParseValue();
    }
    MergeDuplicateValues(values);
    return values;
  }

  static void ValueLines(const RegNode& key,
                         const std::function<void(std::uint32_t, std::string_view)>& found) {
    static const std::string kNoFile;
    Parser parser(key.fileText, kNoFile, nullptr);
    parser.keepName_ = true;
    while (parser.NextLine()) {
      const std::string_view line = parser.content_;
      const std::size_t i = SkipBlanks(line, 0);
      if (i < line.size() && (line[i] == '"' || line[i] == '@')) {
        const auto at = static_cast<std::uint32_t>(parser.lineBegin_);
        parser.ParseValue();
        found(at, parser.name_);
      }
    }
  }

  static RegValue ValueAt(const RegNode& key, std::uint32_t at) {
    static const std::string kNoFile;
    std::vector<RegValue> one;
    Parser parser(key.fileText.substr(at), kNoFile, &one);
    parser.NextLine();
    parser.ParseValue();
    return std::move(one.back());
  }

  // Checks the values of a key's text when `into` is null, else reads them into it.
  Parser(std::string_view block, const std::string& fileName, std::vector<RegValue>* into)
      : text_(block), file_(fileName), into_(into) {}

  // Lines that begin a value: exactly as many values as there are, before any is merged.
  std::size_t CountValueLines() const {
    std::size_t count = 0;
    for (std::size_t at = 0; at < text_.size();) {
      const std::size_t i = SkipBlanks(text_, at);
      if (i < text_.size() && (text_[i] == '"' || text_[i] == '@')) ++count;
      const std::size_t newline = text_.find('\n', i);
      at = newline == std::string_view::npos ? text_.size() : newline + 1;
    }
    return count;
  }

  WineHive Run() {
    WineHive hive;
    hive_ = &hive;
    hive.texts.push_back(whole_);
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
        if (key_ == nullptr) firstBlock_ = blockStart_;
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
    Close(0, lastContentEnd_);
    if (rootValid_ && key_ != nullptr) {
      hive.root->subtreeText = text_.substr(firstBlock_, lastContentEnd_ - firstBlock_);
    }
    KeepJoinedTexts();
    hive.trailer = std::string(text_.substr(lastContentEnd_));
    return hive;
  }

 private:
  static const RegValueSource kWineValues;

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
      const std::string_view block = text_.substr(blockStart_, lastContentEnd_ - blockStart_);
      const bool metBefore = !key_->fileText.empty();
      const bool earlier = metBefore && key_->Modified();
      if (!metBefore) {
        key_->fileText = block;
      } else {
        // Its text is all its blocks, joined once the whole file is read.
        auto [it, first] = joined_.try_emplace(key_);
        if (first) it->second = key_->fileText;
        it->second += block;
      }
      if (earlier || respelled_) {
        key_->MarkModified();
        KeyRewritten();
      }
      // Checked now, read when first asked for.
      if (blockValues_ > 0) key_->DeferValues(&kWineValues);
      blockValues_ = 0;
    }
    headerDone_ = true;
  }

  // The keys of the chain from `level` down are left behind at `end`: their subtrees are whole.
  void Close(std::size_t level, std::size_t end) {
    for (std::size_t k = opens_.size(); k-- > level;) {
      if (opens_[k].valid) {
        chainNodes_[k]->subtreeText = text_.substr(opens_[k].start, end - opens_[k].start);
      }
    }
    opens_.resize(std::min(level, opens_.size()));
  }

  // Whether the key just met (path_) comes after the last one (prevPath_) where wineserver
  // writes keys: below it, or after it among the subkeys of the keys they share (`shared`).
  bool InWineOrder(std::size_t shared) const {
    if (key_ == nullptr) return true;
    if (shared == prevEnds_.size()) return shared < ends_.size();
    if (shared == ends_.size()) return false;
    const auto part = [](const std::u16string& path, const std::vector<std::size_t>& ends,
                         std::size_t level) {
      const std::size_t start = level == 0 ? 0 : ends[level - 1] + 1;
      return std::u16string_view(path).substr(start, ends[level] - start);
    };
    return WineCompare16(part(path_, ends_, shared), part(prevPath_, prevEnds_, shared)) > 0;
  }

  // The key just met is out of wineserver's order: the subtree texts of the keys it shares
  // with the last one (the root's included) do not hold, nor do those of keys met from now on.
  void Disordered(std::size_t shared) {
    ordered_ = false;
    rootValid_ = false;
    for (std::size_t k = 0; k < shared; ++k) opens_[k].valid = false;
  }

  // The current key is written from the tree: no subtree text above it holds.
  void KeyRewritten() {
    rootValid_ = false;
    for (Open& open : opens_) open.valid = false;
  }

  // The joined texts of keys named more than once, kept together in one text of the hive's.
  void KeepJoinedTexts() {
    if (joined_.empty()) return;
    auto kept = std::make_shared<std::string>();
    std::vector<std::pair<RegNode*, std::size_t>> starts;
    for (const auto& [key, text] : joined_) {
      starts.emplace_back(key, kept->size());
      *kept += text;
    }
    for (const auto& [key, start] : starts) {
      key->fileText = std::string_view(*kept).substr(start, joined_.at(key).size());
    }
    hive_->texts.push_back(std::move(kept));
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
    Close(level, blockStart_);
    if (!InWineOrder(level)) Disordered(level);
    chainNodes_.resize(level);
    for (; level < ends_.size(); ++level) {
      const std::u16string_view part(path_.data() + start, ends_[level] - start);
      if (part.empty()) Fail("キーのパスに空の名前があります。");
      node = Child(*node, ToUtf8(part));
      // Met again out of order: the text it had does not hold its whole subtree.
      if (!node->subtreeText.empty()) node->subtreeText = {};
      chainNodes_.push_back(node);
      opens_.push_back({blockStart_, ordered_});
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
    child->MarkSaved();
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
  // Checked only when `data` is null.
  void ParseHexBytes(std::size_t i, std::vector<std::uint8_t>* data) {
    std::string_view s = content_;
    if (data != nullptr) ReserveHexLine(s, i, *data);
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
        if (data != nullptr) ReserveHexLine(s, i, *data);
        continue;
      }
      const int high = HexValue(s[i]);
      if (high < 0) Fail(regfile_fault::kBadHexData);
      int value = high;
      ++i;
      if (i < s.size() && HexValue(s[i]) >= 0) value = value * 16 + HexValue(s[i++]);
      if (data != nullptr) data->push_back(static_cast<std::uint8_t>(value));
      i = SkipBlanks(s, i);
      if (i >= s.size()) return;
      if (s[i] == ',') {
        ++i;
      } else if (s[i] != '\\') {
        Fail(regfile_fault::kBadHexData);
      }
    }
  }

  // Reads the value on the current line into into_, or when it is null only checks it.
  void ParseValue() {
    std::string_view s = content_;
    std::size_t i = SkipBlanks(s, 0);
    std::string name;
    if (keepName_) name_.clear();
    if (s[i] == '@') {
      ++i;
    } else {
      i = ParseQuoted(s, i + 1, '"', text16_);
      if (into_ != nullptr) name = ToUtf8(text16_);
      if (keepName_) name_ = ToUtf8(text16_);
    }
    i = SkipBlanks(s, i);
    if (i >= s.size() || s[i] != '=') Fail(regfile_fault::kMissingEquals);
    i = SkipBlanks(s, i + 1);
    const std::string_view rest = s.substr(i);

    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    auto stringData = [&](std::size_t at) {
      if (into_ == nullptr || s.size() - at > kLongString) {
        // Counted first, then written straight into data of the exact size: no second copy
        // and no slack for a string of hundreds of megabytes.
        UnitCounter counter;
        ExpectLineEnd(s, ParseQuoted(s, at, '"', counter));
        if (into_ == nullptr) return;
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
      ParseHexBytes(i + 4, into_ != nullptr ? &data : nullptr);
    } else if (rest.starts_with("hex(")) {
      std::size_t k = i + 4;
      type = ParseHexNumber(s, k, 8, ok);
      if (!ok || s.substr(k, 2) != "):") Fail(regfile_fault::kBadHexType);
      ParseHexBytes(k + 2, into_ != nullptr ? &data : nullptr);
    } else {
      Fail(regfile_fault::kUnknownValueType);
    }
    if (into_ != nullptr) {
      into_->push_back(RegValue{std::move(name), type, std::move(data)});
    } else {
      ++blockValues_;
    }
  }

  // A name given twice in one key: the later data wins, in the earlier place. wineserver
  // writes values sorted, so a strictly ascending list (the usual case) has no duplicates.
  static void MergeDuplicateValues(std::vector<RegValue>& values) {
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

  std::shared_ptr<const std::string> whole_;
  std::string_view text_;
  const std::string& file_;
  std::vector<RegValue>* into_ = nullptr;  // null: values are checked, not kept
  bool keepName_ = false;                  // each value's name is kept in name_ even so
  std::string name_;
  std::size_t blockValues_ = 0;  // values checked in the current key's block
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
  // The text of each key's subtree, from the block where it is met first to the end of the last
  // one below it, holds when the file lists its keys in the order wineserver writes them.
  struct Open {
    std::size_t start;
    bool valid;
  };
  std::vector<Open> opens_;  // for chainNodes_
  bool ordered_ = true;      // every key so far came in wineserver's order
  bool rootValid_ = true;
  std::size_t firstBlock_ = 0;
  // The keys the file names more than once, with their blocks joined so far.
  std::unordered_map<RegNode*, std::string> joined_;
};

const RegValueSource Parser::kWineValues = {&Parser::ReadKeyValues, &Parser::ValueLines,
                                            &Parser::ValueAt};

}  // namespace

WineHive ParseWineRegistry(std::string text, const std::string& fileName) {
  return Parser(std::make_shared<const std::string>(std::move(text)), fileName).Run();
}

WineHive LoadWineRegistryFile(const std::string& path) {
  return ParseWineRegistry(ReadRegistryFile(path), path);
}

}  // namespace tovalin
