// Writing a Wine hive file: untouched keys from the text they were read from, changed ones the
// way wineserver writes them.
#include <algorithm>
#include <chrono>
#include <vector>

#include "support/LittleEndian.h"
#include "support/Text.h"
#include "support/regfile/WineRegFile.h"
#include "support/regfile/WineRegFileFormat.h"

namespace tovalin {

namespace wine_regfile {

namespace {

char16_t WineLowerUnit(char16_t u) {
  if (u < 0x80) return (u >= u'A' && u <= u'Z') ? static_cast<char16_t>(u + 32) : u;
  if (u >= 0xC0 && u <= 0xDE && u != 0xD7) return static_cast<char16_t>(u + 32);
  if (u >= 0x391 && u <= 0x3A9 && u != 0x3A2) return static_cast<char16_t>(u + 32);
  if (u >= 0x410 && u <= 0x42F) return static_cast<char16_t>(u + 32);
  if (u >= 0x400 && u <= 0x40F) return static_cast<char16_t>(u + 80);
  if (u >= 0xFF21 && u <= 0xFF3A) return static_cast<char16_t>(u + 32);
  return u;
}

}  // namespace

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

}  // namespace wine_regfile

using namespace wine_regfile;

namespace {

constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
constexpr std::uint64_t kTicksPerSecond = 10000000ull;

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
