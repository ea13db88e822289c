#include "support/regfile/RegeditFile.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>

#include "support/Text.h"

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

bool IsUtf8(std::string_view s) {
  char32_t cp = 0;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t len = DecodeUtf8Char(s, i, cp);
    if (len == 0) return false;
    i += len;
  }
  return true;
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

std::vector<std::uint8_t> Utf16Data(std::string_view text) {
  std::vector<std::uint8_t> data = Utf8ToUtf16Bytes(text);
  data.push_back(0);
  data.push_back(0);
  return data;
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

class Parser {
 public:
  Parser(std::string_view text, const std::string& fileName) : text_(text), file_(fileName) {}

  std::vector<Operation> Run() {
    if (!NextLine()) {
      lineNumber_ = 1;
      Fail("empty file");
    }
    const std::string_view first = TrimRight(line_);
    if (first == kVersion5) {
      unicode_ = true;
    } else if (first != kVersion4) {
      Fail("not a registry export (the first line must be \"REGEDIT4\" or \"" +
           std::string(kVersion5) + "\")");
    }
    while (NextLine()) {
      const std::size_t i = SkipBlanks(line_, 0);
      if (i >= line_.size() || line_[i] == ';') continue;
      if (line_[i] == '[') {
        Key(i);
      } else if (line_[i] == '"' || line_[i] == '@') {
        if (!haveKey_) Fail("value outside of any key");
        Value(i);
      } else {
        Fail("unrecognised line");
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
    if (close == std::string_view::npos || close < i) Fail("missing \"]\" after the key name");
    if (SkipBlanks(line_, close + 1) != line_.size()) Fail("unexpected text after the key name");
    std::string_view path = line_.substr(i + 1, close - i - 1);
    const bool remove = !path.empty() && path.front() == '-';
    if (remove) path.remove_prefix(1);
    const std::size_t slash = path.find('\\');
    const std::string_view rootName = path.substr(0, slash);
    const std::optional<RootKey> root = RootByName(rootName);
    if (!root) Fail("unknown root key \"" + std::string(rootName) + "\"");
    const std::string_view sub =
        slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
    if (!IsUtf8(sub)) Fail("the key name is not UTF-8 text");
    Operation op;
    op.kind = remove ? Operation::Kind::DeleteKey : Operation::Kind::CreateKey;
    op.root = *root;
    op.path = std::string(sub);
    if (remove && SplitPath(op.path).empty()) Fail("a root key cannot be deleted");
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
      if (i >= line_.size()) Fail("unterminated string");
      const char c = line_[i++];
      if (c == '"') break;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (i >= line_.size()) Fail("unterminated string");
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
          Fail(std::string("bad escape \"\\") + e + "\"");
      }
    }
    if (!IsUtf8(out)) Fail("the text is not UTF-8");
    return i;
  }

  void ExpectEnd(std::size_t i) {
    i = SkipBlanks(line_, i);
    if (i < line_.size() && line_[i] != ';') Fail("unexpected text after the value");
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

  void HexBytes(std::size_t i, std::vector<std::uint8_t>& data) {
    while (true) {
      i = SkipBlanks(line_, i);
      if (i >= line_.size()) return;
      if (line_[i] == '\\') {
        if (SkipBlanks(line_, i + 1) != line_.size()) Fail("bad hex data");
        if (!NextLine()) Fail("hex data continued past the end of the file");
        i = 0;
        continue;
      }
      if (line_[i] == ';') return;
      const int high = HexValue(line_[i]);
      const int low = i + 1 < line_.size() ? HexValue(line_[i + 1]) : -1;
      if (high < 0 || low < 0) Fail("bad hex data");
      data.push_back(static_cast<std::uint8_t>(high * 16 + low));
      i = SkipBlanks(line_, i + 2);
      if (i >= line_.size()) return;
      if (line_[i] == ',') {
        ++i;
      } else if (line_[i] != '\\' && line_[i] != ';') {
        Fail("bad hex data");
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
    if (i >= line_.size() || line_[i] != '=') Fail("missing \"=\" after the value name");
    i = SkipBlanks(line_, i + 1);
    const std::string_view rest = line_.substr(i);
    if (rest.starts_with("-")) {
      ExpectEnd(i + 1);
      op.kind = Operation::Kind::DeleteValue;
    } else if (rest.starts_with("\"")) {
      std::string text;
      ExpectEnd(Quoted(i + 1, text));
      op.kind = Operation::Kind::SetValue;
      op.type = win::kRegSz;
      op.data = Utf16Data(text);
    } else if (rest.starts_with("dword:")) {
      std::size_t k = i + 6;
      const std::uint32_t value = HexNumber(k, 8, "bad dword value");
      ExpectEnd(k);
      op.kind = Operation::Kind::SetValue;
      op.type = win::kRegDword;
      op.data = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                 static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
    } else if (rest.starts_with("hex:") || rest.starts_with("hex(")) {
      std::size_t k = i + 4;
      op.type = win::kRegBinary;
      if (rest[3] == '(') {
        op.type = HexNumber(k, 8, "bad hex( type");
        if (line_.substr(k, 2) != "):") Fail("bad hex( type");
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
        if (!IsUtf8(bytes)) {
          lineNumber_ = firstLine;
          Fail("the text data is not UTF-8");
        }
        op.data = Utf8ToUtf16Bytes(bytes);
      }
    } else {
      Fail("unknown value type");
    }
    // Values under a "[-Key]" line belong to a deleted key: regedit passes over them.
    if (!deletedKey_) ops_.push_back(std::move(op));
  }

  std::string_view text_;
  const std::string& file_;
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

void Notify(MemoryRegistry& registry, RegNode& node) {
  if (registry.onChange) registry.onChange(node);
}

void Apply(const Operation& op, MemoryRegistry& registry) {
  switch (op.kind) {
    case Operation::Kind::CreateKey: {
      const bool existed = registry.Find(op.root, op.path) != nullptr;
      RegNode* node = registry.Ensure(op.root, op.path);
      if (!existed) Notify(registry, *node);
      return;
    }
    case Operation::Kind::DeleteKey: {
      std::vector<std::string> parts = SplitPath(op.path);
      const std::string name = parts.back();
      parts.pop_back();
      std::string parentPath;
      for (const std::string& part : parts) {
        if (!parentPath.empty()) parentPath += '\\';
        parentPath += part;
      }
      RegNode* parent = registry.Find(op.root, parentPath);
      if (parent != nullptr && parent->RemoveChild(name)) {
        parent->modified = true;
        Notify(registry, *parent);
      }
      return;
    }
    case Operation::Kind::SetValue: {
      RegNode* node = registry.Ensure(op.root, op.path);
      node->PutValue(op.name, op.type, op.data);
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

void ApplyRegeditFile(const std::vector<std::uint8_t>& content, const std::string& fileName,
                      MemoryRegistry& registry) {
  std::string text;
  if (content.size() >= 2 && content[0] == 0xFF && content[1] == 0xFE) {
    if (content.size() % 2 != 0) throw RegFileError(fileName, 0, "truncated UTF-16 text");
    text = Utf16ToUtf8(Utf16FromBytes(content.data() + 2, content.size() - 2));
  } else if (content.size() >= 2 && content[0] == 0xFE && content[1] == 0xFF) {
    throw RegFileError(fileName, 0, "big-endian UTF-16 is not supported");
  } else {
    std::size_t skip = 0;
    if (content.size() >= 3 && content[0] == 0xEF && content[1] == 0xBB && content[2] == 0xBF) {
      skip = 3;
    }
    text.assign(content.begin() + static_cast<std::ptrdiff_t>(skip), content.end());
  }
  const std::vector<Operation> ops = Parser(text, fileName).Run();
  for (const Operation& op : ops) Apply(op, registry);
}

void LoadRegeditFile(const std::string& path, MemoryRegistry& registry) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw RegFileError(path, 0, "cannot open the file");
  const std::vector<std::uint8_t> content((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
  if (in.bad()) throw RegFileError(path, 0, "cannot read the file");
  ApplyRegeditFile(content, path, registry);
}

}  // namespace tovalin
