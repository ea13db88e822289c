// Writing a Wine hive file: untouched keys from the text they were read from, changed ones the
// way wineserver writes them.
#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
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

int WineCompare16(std::u16string_view a, std::u16string_view b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t k = 0; k < n; ++k) {
    const char16_t u = WineLowerUnit(a[k]);
    const char16_t v = WineLowerUnit(b[k]);
    if (u != v) return u < v ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int WineCompare(std::string_view a, std::string_view b) {
  // Every key of a hive is compared with its neighbour on each save, and names are nearly
  // always ASCII: that part is compared in place, and only what follows the first other byte
  // goes through UTF-16 (the bytes before it are whole characters, one unit each, equal in both).
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if ((x | y) >= 0x80) return WineCompare16(Utf8ToUtf16(a.substr(i)), Utf8ToUtf16(b.substr(i)));
    if (x == y) continue;
    const auto lx = static_cast<unsigned char>(x >= 'A' && x <= 'Z' ? x + 32 : x);
    const auto ly = static_cast<unsigned char>(y >= 'A' && y <= 'Z' ? y + 32 : y);
    if (lx != ly) return lx < ly ? -1 : 1;
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

// The file as pieces, in order: stretches of the texts the hive keeps (untouched keys, runs of
// them joined into one piece) and of the text written here for the keys that changed. Saving a
// large hive with one change then copies nothing: the pieces go to the file as they are.
class Output {
 public:
  explicit Output(std::string& generated) : generated_(generated) {}

  void Kept(std::string_view text) {
    if (text.empty()) return;
    if (!pieces_.empty() && pieces_.back().kept != nullptr &&
        pieces_.back().kept + pieces_.back().size == text.data()) {
      pieces_.back().size += text.size();
    } else {
      pieces_.push_back({text.data(), 0, text.size()});
    }
    last_ = text.back();
  }

  // Text written here goes to Generated() and becomes a piece with Took().
  std::string& Generated() { return generated_; }
  void Took(std::size_t begin) {
    const std::size_t size = generated_.size() - begin;
    if (size == 0) return;
    if (!pieces_.empty() && pieces_.back().kept == nullptr &&
        pieces_.back().offset + pieces_.back().size == begin) {
      pieces_.back().size += size;
    } else {
      pieces_.push_back({nullptr, begin, size});
    }
    last_ = generated_.back();
  }

  // A block of key text must begin on a line of its own, even after the last line of a file
  // that had no line break at its end, now written before other keys.
  void StartLine() {
    if (pieces_.empty() || last_ == '\n') return;
    const std::size_t begin = generated_.size();
    generated_.push_back('\n');
    Took(begin);
  }

  // Once everything is written: the pieces, valid while the hive and the generated text last.
  WineHivePieces Finish() const {
    WineHivePieces out;
    out.reserve(pieces_.size());
    for (const Piece& piece : pieces_) {
      out.push_back(piece.kept != nullptr
                        ? std::string_view(piece.kept, piece.size)
                        : std::string_view(generated_).substr(piece.offset, piece.size));
    }
    return out;
  }

 private:
  struct Piece {
    const char* kept;    // nullptr: in the generated text, at offset
    std::size_t offset;  // in the generated text, which may still move as it grows
    std::size_t size;
  };
  std::string& generated_;
  std::vector<Piece> pieces_;
  char last_ = '\0';  // the last character written, once there is one
};

class Writer {
 public:
  // A key written anew, with where its text lies in the generated text (empty: implied by its
  // subkeys).
  struct Written {
    const RegNode* node;
    std::size_t begin, end;
  };

  Writer(Output& out, std::uint64_t now, std::vector<Written>* written = nullptr)
      : out_(out), now_(now), written_(written) {}

  // Depth first with a stack of its own: a hive may nest keys deeper than the call stack allows.
  void Write(const RegNode& root) {
    if (root.deleted || Whole(root)) return;
    Own(root);
    std::vector<Level> stack;
    stack.push_back(Enter(root));
    while (!stack.empty()) {
      Level& level = stack.back();
      const std::size_t count =
          level.sorted.empty() ? level.node->children.size() : level.sorted.size();
      if (level.next == count) {
        stack.pop_back();
        if (!path_.empty()) path_.pop_back();  // path_ holds the keys below the root
        continue;
      }
      const std::size_t k = level.next++;
      const RegNode* child = level.sorted.empty() ? level.node->children[k].get() : level.sorted[k];
      if (child->deleted || Whole(*child)) continue;
      path_.push_back(child);
      Own(*child);
      stack.push_back(Enter(*child));
    }
  }

 private:
  // A key being written: its subkeys in wineserver's order, which is nearly always the order
  // they are kept in; only otherwise are they sorted into a list of their own.
  struct Level {
    const RegNode* node;
    std::vector<const RegNode*> sorted;
    std::size_t next = 0;
  };

  static Level Enter(const RegNode& node) {
    Level level{&node, {}, 0};
    const auto& children = node.children;
    bool ordered = true;
    for (std::size_t k = 1; k < children.size() && ordered; ++k) {
      ordered = WineCompare(children[k - 1]->name, children[k]->name) < 0;
    }
    if (!ordered) {
      level.sorted.reserve(children.size());
      for (const auto& child : children) level.sorted.push_back(child.get());
      std::stable_sort(
          level.sorted.begin(), level.sorted.end(),
          [](const RegNode* a, const RegNode* b) { return WineCompare(a->name, b->name) < 0; });
    }
    return level;
  }

  // A key with nothing changed in its subtree, written from its text in one piece.
  bool Whole(const RegNode& node) {
    if (node.subtreeText.empty()) return false;
    out_.StartLine();
    out_.Kept(node.subtreeText);
    return true;
  }

  void Own(const RegNode& node) {
    if (!node.Modified()) {
      if (!node.fileText.empty()) out_.StartLine();
      out_.Kept(node.fileText);
    } else if (!node.Values().empty() || node.children.empty() || !node.className.empty() ||
               node.link) {
      // Like wineserver: a key with subkeys and nothing of its own is implied by its subkeys.
      out_.StartLine();
      const std::size_t begin = out_.Generated().size();
      Generated(out_.Generated(), node);
      out_.Took(begin);
      if (written_ != nullptr) written_->push_back({&node, begin, out_.Generated().size()});
    } else if (written_ != nullptr) {
      written_->push_back({&node, 0, 0});
    }
  }

  void Generated(std::string& out, const RegNode& node) {
    out += "\n[";
    for (std::size_t k = 0; k < path_.size(); ++k) {
      if (k > 0) out += "\\\\";
      AppendEscapedName(out, path_[k]->name, '[', ']');
    }
    out += "] ";
    const std::uint64_t unixTime =
        now_ > kUnixEpochAsFileTime ? (now_ - kUnixEpochAsFileTime) / kTicksPerSecond : 0;
    out += std::to_string(static_cast<std::uint32_t>(unixTime));
    out += "\n#time=";
    AppendHex(out, now_ >> 32, 1);
    AppendHex(out, now_ & 0xFFFFFFFFu, 8);
    out.push_back('\n');
    if (!node.className.empty()) {
      out += "#class=\"";
      AppendEscapedName(out, node.className, '"', '"');
      out += "\"\n";
    }
    if (node.link) out += "#link\n";
    std::vector<const RegValue*> values;
    values.reserve(node.Values().size());
    for (const RegValue& v : node.Values()) values.push_back(&v);
    std::stable_sort(values.begin(), values.end(), [](const RegValue* a, const RegValue* b) {
      return WineCompare(a->name, b->name) < 0;
    });
    for (const RegValue* v : values) AppendValue(out, *v);
  }

  Output& out_;
  std::uint64_t now_;
  std::vector<Written>* written_;
  std::vector<const RegNode*> path_;
};

WineHivePieces Format(const WineHive& hive, std::uint64_t fileTimeNow, std::string& generated,
                      std::vector<Writer::Written>* written) {
  Output out(generated);
  if (!hive.header.empty()) {
    out.Kept(hive.header);
  } else {
    std::string& text = out.Generated();
    const std::size_t begin = text.size();
    text += kMagic;
    text += '\n';
    text += kRelativePrefix;
    const std::vector<std::string> parts = SplitPath(hive.relative);
    for (std::size_t k = 0; k < parts.size(); ++k) {
      if (k > 0) text += "\\\\";
      AppendEscapedName(text, parts[k], '[', ']');
    }
    text += '\n';
    if (!hive.arch.empty()) text += "\n#arch=" + hive.arch + "\n";
    out.Took(begin);
  }
  Writer(out, fileTimeNow, written).Write(*hive.root);
  if (!hive.trailer.empty()) out.StartLine();
  out.Kept(hive.trailer);
  return out.Finish();
}

}  // namespace

std::string JoinPieces(const WineHivePieces& pieces) {
  std::size_t size = 0;
  for (const std::string_view piece : pieces) size += piece.size();
  std::string out;
  out.reserve(size);
  for (const std::string_view piece : pieces) out += piece;
  return out;
}

std::string FormatWineRegistry(const WineHive& hive, std::uint64_t fileTimeNow) {
  std::string generated;
  return JoinPieces(Format(hive, fileTimeNow, generated, nullptr));
}

WineHivePieces FormatWineRegistryAsSaved(WineHive& hive, std::uint64_t fileTimeNow) {
  auto generated = std::make_shared<std::string>();
  std::vector<Writer::Written> written;
  WineHivePieces pieces = Format(hive, fileTimeNow, *generated, &written);
  // Each written key keeps the text it was written as, exactly what reading the output back
  // would give it.
  const std::string_view text = *generated;
  for (const Writer::Written& key : written) {
    // The nodes are the caller's own, reached through its non-const hive.
    RegNode& node = const_cast<RegNode&>(*key.node);
    node.MarkSaved();
    node.fileText = text.substr(key.begin, key.end - key.begin);
    std::stable_sort(
        node.EditValues().begin(), node.EditValues().end(),
        [](const RegValue& a, const RegValue& b) { return WineCompare(a.name, b.name) < 0; });
  }
  // Texts no piece comes from are no key's any more: only what the file now holds is kept.
  std::vector<std::shared_ptr<const std::string>> kept;
  for (const std::shared_ptr<const std::string>& whole : hive.texts) {
    const char* begin = whole->data();
    const char* end = begin + whole->size();
    const bool used = std::any_of(pieces.begin(), pieces.end(), [&](std::string_view piece) {
      return piece.data() < end && piece.data() + piece.size() > begin;
    });
    if (used) kept.push_back(whole);
  }
  if (!generated->empty()) kept.push_back(std::move(generated));
  hive.texts = std::move(kept);
  return pieces;
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
