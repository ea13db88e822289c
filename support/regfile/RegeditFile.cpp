#include "support/regfile/RegeditFile.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "support/LittleEndian.h"
#include "support/Text.h"
#include "support/regfile/RegFileFaults.h"
#include "support/regfile/RegFileInput.h"

namespace tovalin {

namespace {

constexpr std::string_view kVersion4 = "REGEDIT4";
constexpr std::string_view kVersion5 = "Windows Registry Editor Version 5.00";

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::size_t SkipBlanks(std::string_view s, std::size_t i) {
  while (i < s.size() && IsBlank(s[i])) ++i;
  return i;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::optional<RootKey> RootByName(std::string_view name) {
  if (EqualsNoCase(name, "HKEY_LOCAL_MACHINE") || EqualsNoCase(name, "HKLM")) {
    return RootKey::LocalMachine;
  }
  if (EqualsNoCase(name, "HKEY_CURRENT_USER") || EqualsNoCase(name, "HKCU")) {
    return RootKey::CurrentUser;
  }
  if (EqualsNoCase(name, "HKEY_CLASSES_ROOT") || EqualsNoCase(name, "HKCR")) {
    return RootKey::ClassesRoot;
  }
  if (EqualsNoCase(name, "HKEY_USERS") || EqualsNoCase(name, "HKU")) return RootKey::Users;
  return std::nullopt;
}

// Takes the text with room for one more byte (its terminator) already reserved.
std::vector<std::uint8_t> Utf16Data(std::string& text) {
  text.push_back('\0');
  return Utf8ToUtf16Bytes(text);
}

// Text of a string type in a REGEDIT4 file: ANSI bytes, which are Shift_JIS on Japanese
// Windows; UTF-8 when they are valid as such (a file written by other tools).
bool AnsiToUtf8(std::string_view bytes, bool shiftJisFile, std::string& out) {
  if (!shiftJisFile && IsUtf8(bytes)) {
    out.assign(bytes);
    return true;
  }
  return Cp932ToUtf8(bytes, out);
}

struct Operation {
  enum class Kind { CreateKey, DeleteKey, SetValue, DeleteValue };
  Kind kind = Kind::CreateKey;
  RootKey root = RootKey::LocalMachine;
  std::string path;
  std::string name;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

// What the file's bytes were before they became the parser's UTF-8 text.
enum class Encoding { Utf8, Utf16, ShiftJis };

class Parser {
 public:
  Parser(std::string_view text, const std::string& fileName, Encoding encoding)
      : text_(text), file_(fileName), encoding_(encoding) {}

  std::vector<Operation> Run() {
    if (!NextLine()) throw RegFileError(file_, EmptyRegistryFileMessage(file_));
    const std::string_view first = TrimRight(line_);
    if (first == kVersion5) {
      unicode_ = true;
    } else if (first != kVersion4) {
      Fail("レジストリの書き出しファイルではありません（1 行目が " + std::string(kVersion4) +
           " でも " + std::string(kVersion5) + " でもありません）。");
    }
    while (NextLine()) {
      const std::size_t i = SkipBlanks(line_, 0);
      if (i >= line_.size() || line_[i] == ';') continue;
      if (line_[i] == '[') {
        Key(i);
      } else if (line_[i] == '"' || line_[i] == '@') {
        if (!haveKey_) Fail(regfile_fault::kValueOutsideKey);
        Value(i);
      } else {
        Fail(regfile_fault::kUnrecognisedLine);
      }
    }
    return std::move(ops_);
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    throw RegFileError(file_, lineNumber_, what);
  }

  bool NextLine() {
    if (pos_ >= text_.size()) return false;
    const std::size_t newline = text_.find('\n', pos_);
    const std::size_t end = newline == std::string_view::npos ? text_.size() : newline;
    line_ = text_.substr(pos_, end - pos_);
    if (!line_.empty() && line_.back() == '\r') line_.remove_suffix(1);
    pos_ = newline == std::string_view::npos ? text_.size() : newline + 1;
    ++lineNumber_;
    return true;
  }

  void Key(std::size_t i) {
    const std::size_t close = line_.rfind(']');
    if (close == std::string_view::npos || close < i) Fail("キー名の後に ] がありません。");
    if (SkipBlanks(line_, close + 1) != line_.size()) Fail(regfile_fault::kUnexpectedAfterKey);
    std::string_view path = line_.substr(i + 1, close - i - 1);
    const bool remove = !path.empty() && path.front() == '-';
    if (remove) path.remove_prefix(1);
    const std::size_t slash = path.find('\\');
    const std::string_view rootName = path.substr(0, slash);
    const std::optional<RootKey> root = RootByName(rootName);
    if (!root) Fail("ルートキー " + std::string(rootName) + " には対応していません。");
    const std::string_view sub =
        slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    if (!IsText(sub)) Fail("キー名が UTF-8 のテキストではありません。");
    Operation op;
    op.kind = remove ? Operation::Kind::DeleteKey : Operation::Kind::CreateKey;
    op.root = *root;
    op.path = std::string(sub);
    if (remove && SplitPath(op.path).empty()) Fail("ルートキーは削除できません。");
    haveKey_ = true;
    deletedKey_ = remove;
    root_ = *root;
    path_ = op.path;
    ops_.push_back(std::move(op));
  }

  // A quoted string from just after its opening quote; returns the index after the closing one.
  std::size_t Quoted(std::size_t i, std::string& out) {
    out.clear();
    while (true) {
      if (i >= line_.size()) Fail(regfile_fault::Unterminated('"'));
      const char c = line_[i++];
      if (c == '"') break;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (i >= line_.size()) Fail(regfile_fault::Unterminated('"'));
      const char e = line_[i++];
      switch (e) {
        case '\\':
        case '"':
          out.push_back(e);
          break;
        case 'n':
          out.push_back('\n');
          break;
        case 'r':
          out.push_back('\r');
          break;
        case '0':
          out.push_back('\0');
          break;
        default:
          Fail(regfile_fault::BadEscape(e));
      }
    }
    if (!IsText(out)) Fail("文字列が UTF-8 のテキストではありません。");
    return i;
  }

  // Names and text of a UTF-16 file may hold lone surrogates, which its decoding kept.
  bool IsText(std::string_view s) const { return IsUtf8(s, encoding_ == Encoding::Utf16); }

  void ExpectEnd(std::size_t i) {
    i = SkipBlanks(line_, i);
    if (i < line_.size() && line_[i] != ';') Fail(regfile_fault::kUnexpectedAfterValue);
  }

  std::uint32_t HexNumber(std::size_t& i, int maxDigits, const char* what) {
    std::uint32_t value = 0;
    int digits = 0;
    while (i < line_.size() && HexValue(line_[i]) >= 0) {
      if (++digits > maxDigits) Fail(what);
      value = value * 16 + static_cast<std::uint32_t>(HexValue(line_[i++]));
    }
    if (digits == 0) Fail(what);
    return value;
  }

  // Room for the bytes one line can hold, growing at least twofold: a value written on one line
  // of hundreds of megabytes is read without slack.
  void ReserveHexLine(std::size_t i, std::vector<std::uint8_t>& data) const {
    const std::size_t most =
        static_cast<std::size_t>(
            std::count(line_.begin() + static_cast<std::ptrdiff_t>(i), line_.end(), ',')) +
        1;
    if (data.size() + most > data.capacity()) {
      data.reserve(std::max(data.size() + most, data.capacity() * 2));
    }
  }

  // Blank and comment lines between continued lines are passed over, as regedit does; what
  // follows them must be more of the data, so that a value is never cut short without a word.
  void HexBytes(std::size_t i, std::vector<std::uint8_t>& data) {
    ReserveHexLine(i, data);
    while (true) {
      i = SkipBlanks(line_, i);
      if (i >= line_.size()) return;
      if (line_[i] == '\\') {
        if (SkipBlanks(line_, i + 1) != line_.size()) Fail(regfile_fault::kBadHexData);
        do {
          if (!NextLine()) Fail(regfile_fault::kHexPastEnd);
          i = SkipBlanks(line_, 0);
        } while (i >= line_.size() || line_[i] == ';');
        if (line_[i] != '\\' && HexValue(line_[i]) < 0) {
          Fail(regfile_fault::kHexByOtherText);
        }
        ReserveHexLine(i, data);
        continue;
      }
      if (line_[i] == ';') return;
      const int high = HexValue(line_[i]);
      const int low = i + 1 < line_.size() ? HexValue(line_[i + 1]) : -1;
      if (high < 0 || low < 0) Fail(regfile_fault::kBadHexData);
      data.push_back(static_cast<std::uint8_t>(high * 16 + low));
      i = SkipBlanks(line_, i + 2);
      if (i >= line_.size()) return;
      if (line_[i] == ',') {
        ++i;
      } else if (line_[i] != '\\' && line_[i] != ';') {
        Fail(regfile_fault::kBadHexData);
      }
    }
  }

  void Value(std::size_t i) {
    Operation op;
    op.root = root_;
    op.path = path_;
    if (line_[i] == '@') {
      ++i;
    } else {
      i = Quoted(i + 1, op.name);
    }
    i = SkipBlanks(line_, i);
    if (i >= line_.size() || line_[i] != '=') Fail(regfile_fault::kMissingEquals);
    i = SkipBlanks(line_, i + 1);
    const std::string_view rest = line_.substr(i);
    if (rest.starts_with("-")) {
      ExpectEnd(i + 1);
      op.kind = Operation::Kind::DeleteValue;
    } else if (rest.starts_with("\"")) {
      std::string text;
      text.reserve(rest.size());  // the text and its terminator fit in what is left of the line
      ExpectEnd(Quoted(i + 1, text));
      op.kind = Operation::Kind::SetValue;
      op.type = win::kRegSz;
      op.data = Utf16Data(text);
    } else if (rest.starts_with("dword:")) {
      std::size_t k = i + 6;
      const std::uint32_t value = HexNumber(k, 8, regfile_fault::kBadDword);
      ExpectEnd(k);
      op.kind = Operation::Kind::SetValue;
      op.type = win::kRegDword;
      op.data = Le32Bytes(value);
    } else if (rest.starts_with("hex:") || rest.starts_with("hex(")) {
      std::size_t k = i + 4;
      op.type = win::kRegBinary;
      if (rest[3] == '(') {
        op.type = HexNumber(k, 8, regfile_fault::kBadHexType);
        if (line_.substr(k, 2) != "):") Fail(regfile_fault::kBadHexType);
        k += 2;
      }
      op.kind = Operation::Kind::SetValue;
      const std::size_t firstLine = lineNumber_;
      HexBytes(k, op.data);
      const bool text =
          op.type == win::kRegSz || op.type == win::kRegExpandSz || op.type == win::kRegMultiSz;
      if (text && !unicode_) {
        // REGEDIT4 keeps string types as ANSI bytes; the registry holds them as UTF-16.
        const std::string_view bytes(reinterpret_cast<const char*>(op.data.data()), op.data.size());
        std::string utf8;
        if (!AnsiToUtf8(bytes, encoding_ == Encoding::ShiftJis, utf8)) {
          lineNumber_ = firstLine;
          Fail("文字列のデータが UTF-8 でも Shift_JIS でもありません。");
        }
        op.data = Utf8ToUtf16Bytes(utf8);
      }
    } else {
      Fail(regfile_fault::kUnknownValueType);
    }
    // Values under a "[-Key]" line belong to a deleted key: regedit passes over them.
    if (!deletedKey_) ops_.push_back(std::move(op));
  }

  std::string_view text_;
  const std::string& file_;
  Encoding encoding_ = Encoding::Utf8;
  std::size_t pos_ = 0;
  std::size_t lineNumber_ = 0;
  std::string_view line_;
  bool unicode_ = false;
  bool haveKey_ = false;
  bool deletedKey_ = false;
  RootKey root_ = RootKey::LocalMachine;
  std::string path_;
  std::vector<Operation> ops_;
};

void Notify(TreeRegistry& registry, RegNode& node) {
  if (registry.onChange) registry.onChange(node);
}

void Apply(Operation& op, TreeRegistry& registry) {
  switch (op.kind) {
    case Operation::Kind::CreateKey: {
      const bool existed = registry.Find(op.root, op.path) != nullptr;
      RegNode* node = registry.Ensure(op.root, op.path);
      if (!existed) Notify(registry, *node);
      return;
    }
    case Operation::Kind::DeleteKey: {
      const std::string name = SplitPath(op.path).back();
      RegNode* parent = registry.Find(op.root, ParentPath(op.path));
      if (parent != nullptr && parent->RemoveChild(name)) {
        parent->MarkModified();
        Notify(registry, *parent);
      }
      return;
    }
    case Operation::Kind::SetValue: {
      RegNode* node = registry.Ensure(op.root, op.path);
      node->PutValue(op.name, op.type, std::move(op.data));
      Notify(registry, *node);
      return;
    }
    case Operation::Kind::DeleteValue: {
      RegNode* node = registry.Find(op.root, op.path);
      if (node != nullptr && node->RemoveValue(op.name)) Notify(registry, *node);
      return;
    }
  }
}

}  // namespace

namespace {

bool IsHeaderLine(std::string_view line) {
  line = TrimRight(line);
  return line == kVersion4 || line == kVersion5;
}

// The text without its byte-order mark, decoded into `decoded` when it is not UTF-8 already.
std::string_view DecodeExport(std::string_view content, const std::string& fileName,
                              std::string& decoded, Encoding& encoding) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(content[k]); };
  if (content.size() >= 2 && byte(0) == 0xFF && byte(1) == 0xFE) {
    if (content.size() % 2 != 0)
      throw RegFileError(
          fileName, fileName + " は UTF-16 のテキストが途中で切れています（バイト数が奇数です）。");
    // In slices, so that no second UTF-16 copy of a large file is made; a slice does not end
    // between the two halves of a surrogate pair.
    constexpr std::size_t kSliceUnits = 1 << 16;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(content.data()) + 2;
    const std::size_t units = (content.size() - 2) / 2;
    decoded.reserve(units);
    for (std::size_t at = 0; at < units;) {
      std::size_t n = std::min(kSliceUnits, units - at);
      const std::size_t last = 2 * (at + n - 1);
      if (at + n < units && bytes[last + 1] >= 0xD8 && bytes[last + 1] <= 0xDB) --n;
      decoded += Utf16ToUtf8(Utf16FromBytes(bytes + 2 * at, 2 * n));
      at += n;
    }
    encoding = Encoding::Utf16;
    return decoded;
  }
  if (content.size() >= 2 && byte(0) == 0xFE && byte(1) == 0xFF) {
    throw RegFileError(fileName,
                       fileName +
                           " はビッグエンディアンの UTF-16 で書かれていて、読めません（UTF-16LE か "
                           "UTF-8 で書き出してください）。");
  }
  if (content.size() >= 3 && byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
    return content.substr(3);
  }
  // Without a byte-order mark, a file that is not UTF-8 is what Japanese Windows writes:
  // Shift_JIS. One that does not even begin as an export is left for the parser to refuse.
  if (IsUtf8(content) || !IsHeaderLine(content.substr(0, content.find('\n')))) return content;
  std::size_t badAt = 0;
  if (!Cp932ToUtf8(content, decoded, &badAt)) {
    const std::size_t line =
        1 + static_cast<std::size_t>(std::count(
                content.begin(), content.begin() + static_cast<std::ptrdiff_t>(badAt), '\n'));
    throw RegFileError(fileName, line, "テキストが UTF-8 でも Shift_JIS でもありません。");
  }
  encoding = Encoding::ShiftJis;
  return decoded;
}

void ApplyExport(std::string_view content, const std::string& fileName, TreeRegistry& registry) {
  std::string decoded;
  Encoding encoding = Encoding::Utf8;
  const std::string_view text = DecodeExport(content, fileName, decoded, encoding);
  std::vector<Operation> ops = Parser(text, fileName, encoding).Run();
  std::string().swap(decoded);
  for (Operation& op : ops) Apply(op, registry);
}

}  // namespace

void ApplyRegeditFile(const std::vector<std::uint8_t>& content, const std::string& fileName,
                      TreeRegistry& registry) {
  ApplyExport(std::string_view(reinterpret_cast<const char*>(content.data()), content.size()),
              fileName, registry);
}

void LoadRegeditFile(const std::string& path, TreeRegistry& registry) {
  ApplyExport(ReadRegistryFile(path), path, registry);
}

}  // namespace tovalin
