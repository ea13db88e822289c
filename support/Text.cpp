#include "Text.h"

#include <algorithm>
#include <climits>

#include "support/LittleEndian.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <iconv.h>
#endif

namespace tovalin {

std::size_t DecodeUtf8Char(std::string_view text, std::size_t at, char32_t& codePoint,
                           bool loneSurrogates) {
  const auto c = static_cast<unsigned char>(text[at]);
  if (c < 0x80) {
    codePoint = c;
    return 1;
  }
  std::size_t len = 0;
  char32_t cp = 0;
  if ((c & 0xE0) == 0xC0) {
    len = 2;
    cp = c & 0x1F;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3;
    cp = c & 0x0F;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (at + len > text.size()) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    const auto cc = static_cast<unsigned char>(text[at + k]);
    if ((cc & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (cc & 0x3F);
  }
  const char32_t minimum = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
  if (cp < minimum || cp > 0x10FFFF || (!loneSurrogates && cp >= 0xD800 && cp <= 0xDFFF)) {
    return 0;
  }
  codePoint = cp;
  return len;
}

bool IsUtf8(std::string_view text, bool loneSurrogates) {
  char32_t cp = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (static_cast<unsigned char>(text[i]) < 0x80) {
      ++i;
      continue;
    }
    const std::size_t len = DecodeUtf8Char(text, i, cp, loneSurrogates);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

void AppendUtf16(std::u16string& out, char32_t codePoint) {
  if (codePoint >= 0x10000) {
    codePoint -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(codePoint));
  }
}

namespace {

// Calls unit(u) for every UTF-16 unit the text converts to.
template <class Unit>
void ForEachUtf16Unit(std::string_view text, Unit&& unit) {
  std::size_t i = 0;
  while (i < text.size()) {
    char32_t cp = 0;
    std::size_t len = DecodeUtf8Char(text, i, cp, true);
    if (len == 0) {
      // One replacement per bad byte, so a damaged name still converts in full.
      len = 1;
      cp = 0xFFFD;
    }
    i += len;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      unit(static_cast<char16_t>(0xD800 + (cp >> 10)));
      unit(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      unit(static_cast<char16_t>(cp));
    }
  }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  ForEachUtf16Unit(text, [&](char16_t u) { out.push_back(u); });
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    }
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

#ifdef _WIN32

bool Cp932ToUtf8(std::string_view bytes, std::string& out, std::size_t* badAt) {
  out.clear();
  if (bytes.empty()) return true;
  auto convert = [](std::string_view part, std::u16string& wide) {
    if (part.size() > static_cast<std::size_t>(INT_MAX)) return false;
    const int length = static_cast<int>(part.size());
    const int units =
        MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, part.data(), length, nullptr, 0);
    if (units <= 0) return false;
    wide.resize(static_cast<std::size_t>(units));
    return MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, part.data(), length,
                               reinterpret_cast<wchar_t*>(wide.data()), units) == units;
  };
  std::u16string wide;
  if (convert(bytes, wide)) {
    out = Utf16ToUtf8(wide);
    return true;
  }
  // Windows does not say where: the first line that does not convert on its own.
  if (badAt != nullptr) {
    *badAt = 0;
    for (std::size_t start = 0; start < bytes.size();) {
      const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
      if (end > start && !convert(bytes.substr(start, end - start), wide)) break;
      start = end + 1;
      *badAt = start;
    }
  }
  return false;
}

#else

bool Cp932ToUtf8(std::string_view bytes, std::string& out, std::size_t* badAt) {
  out.clear();
  // glibc's CP932 is Microsoft's table: 0x5C stays a backslash, as registry paths need.
  const iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    if (badAt != nullptr) *badAt = 0;
    return false;
  }
  // Mostly ASCII in practice: about as long as the input, grown when Japanese text needs more.
  out.resize(bytes.size() + bytes.size() / 4 + 16);
  char* in = const_cast<char*>(bytes.data());
  std::size_t inLeft = bytes.size();
  std::size_t used = 0;
  bool ok = true;
  while (inLeft > 0) {
    char* to = out.data() + used;
    std::size_t toLeft = out.size() - used;
    const std::size_t result = iconv(cd, &in, &inLeft, &to, &toLeft);
    used = out.size() - toLeft;
    if (result != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      out.resize(out.size() + out.size() / 2 + 16);
      continue;
    }
    ok = false;  // EILSEQ, or EINVAL: a lead byte at the very end
    if (badAt != nullptr) *badAt = bytes.size() - inLeft;
    break;
  }
  iconv_close(cd);
  out.resize(ok ? used : 0);
  return ok;
}

#endif

std::size_t Utf16Length(std::string_view text) {
  // Names are nearly always ASCII: one unit per byte, no conversion needed.
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      std::size_t units = 0;
      ForEachUtf16Unit(text, [&](char16_t) { ++units; });
      return units;
    }
  }
  return text.size();
}

std::vector<std::uint8_t> Utf8ToUtf16Bytes(std::string_view text) {
  // Straight into bytes of the exact size: a value's text may be hundreds of megabytes.
  std::vector<std::uint8_t> out;
  out.reserve(Utf16Length(text) * 2);
  ForEachUtf16Unit(text, [&](char16_t u) { AppendLe16(out, u); });
  return out;
}

std::u16string Utf16FromBytes(const std::uint8_t* data, std::size_t size) {
  std::u16string out;
  out.reserve(size / 2);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    out.push_back(static_cast<char16_t>(LoadLe16(data + i)));
  }
  return out;
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string AsciiLowerCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

std::string AsciiUpperCase(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

char16_t UpperUnit(char16_t unit) {
  if (unit < 0x80) return (unit >= u'a' && unit <= u'z') ? static_cast<char16_t>(unit - 32) : unit;
  // Latin-1 and the full-width Latin letters: enough for registry names in practice.
  if ((unit >= 0xE0 && unit <= 0xFE && unit != 0xF7)) return static_cast<char16_t>(unit - 32);
  if (unit >= 0xFF41 && unit <= 0xFF5A) return static_cast<char16_t>(unit - 32);
  return unit;
}

int CompareNoCase16(std::u16string_view a, std::u16string_view b) {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const char16_t x = UpperUnit(a[i]);
    const char16_t y = UpperUnit(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int CompareNoCase(std::string_view a, std::string_view b) {
  // Registry names are nearly always ASCII and lookups compare many of them, so the ASCII part
  // is compared in place and only what follows the first other byte goes through UTF-16. The
  // bytes before it are whole characters, equal in both names, one UTF-16 unit each: the rest
  // decides the order exactly as a comparison of the whole names would.
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if ((x | y) >= 0x80) {
      return CompareNoCase16(Utf8ToUtf16(a.substr(i)), Utf8ToUtf16(b.substr(i)));
    }
    if (x == y) continue;
    const auto ux = static_cast<unsigned char>(AsciiUpper(static_cast<char>(x)));
    const auto uy = static_cast<unsigned char>(AsciiUpper(static_cast<char>(y)));
    if (ux != uy) return ux < uy ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::string FoldNoCase(std::string_view name) {
  if (std::none_of(name.begin(), name.end(), [](char c) { return (c & 0x80) != 0; })) {
    return AsciiUpperCase(name);
  }
  std::u16string wide = Utf8ToUtf16(name);
  for (char16_t& u : wide) u = UpperUnit(u);
  return Utf16ToUtf8(wide);
}

std::string CutUtf8(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return std::string(text);
  std::size_t end = maxBytes;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return std::string(text.substr(0, end));
}

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t pos = path.find('\\', start);
    const std::size_t end = pos == std::string_view::npos ? path.size() : pos;
    if (end > start) parts.emplace_back(path.substr(start, end - start));
    if (pos == std::string_view::npos) break;
    start = pos + 1;
  }
  return parts;
}

std::string ParentPath(std::string_view path) {
  std::vector<std::string> parts = SplitPath(path);
  if (!parts.empty()) parts.pop_back();
  std::string joined;
  for (const std::string& part : parts) {
    if (!joined.empty()) joined.push_back('\\');
    joined += part;
  }
  return joined;
}

std::string FormatArg0(std::string_view format, std::string_view value) {
  std::string out;
  std::size_t pos = 0;
  while (true) {
    const std::size_t hit = format.find("%0:s", pos);
    if (hit == std::string_view::npos) break;
    out.append(format.substr(pos, hit - pos));
    out.append(value);
    pos = hit + 4;
  }
  out.append(format.substr(pos));
  return out;
}

}  // namespace tovalin
