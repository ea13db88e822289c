// Text helpers shared by every layer. All text inside the program is UTF-8; UTF-16 appears only
// at the Windows API, in registry data and where a limit is counted in UTF-16 units.
//
// Windows and Wine allow a name to hold a lone UTF-16 surrogate, which UTF-8 cannot carry. So that
// such a name comes back exactly as it was read, the conversions below use WTF-8: UTF-8 that
// also encodes a lone surrogate in its 3-byte form (ED A0 80 for U+D800). Valid UTF-8 is
// unaffected; only text that came from UTF-16 can hold those bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tovalin {

// WTF-8 to UTF-16: a lone surrogate's 3-byte form becomes that unit again. Other invalid bytes
// become U+FFFD so a hostile registry name can never stop a conversion.
std::u16string Utf8ToUtf16(std::string_view text);
// UTF-16 to WTF-8: a lone surrogate keeps its unit, in its 3-byte form.
std::string Utf16ToUtf8(std::u16string_view text);

// Decodes the one character at text[at] if it is valid UTF-8 (no overlong forms, surrogates or
// values past U+10FFFF): returns its length in bytes, or 0 when the bytes there are not valid.
// With `loneSurrogates`, a surrogate's 3-byte form is accepted too (WTF-8).
std::size_t DecodeUtf8Char(std::string_view text, std::size_t at, char32_t& codePoint,
                           bool loneSurrogates = false);
// True when every character of the text decodes (see DecodeUtf8Char).
bool IsUtf8(std::string_view text, bool loneSurrogates = false);
// Appends a code point as one or two UTF-16 units.
void AppendUtf16(std::u16string& out, char32_t codePoint);

// Text in Japanese Windows' ANSI code page (932, Shift_JIS with Microsoft's extensions) to UTF-8.
// False when the bytes are not such text; *badAt (when given) is then the offset of the fault or
// of the start of its line. Bytes the code page leaves undefined (0x80, 0xA0, 0xFD to 0xFF) are
// faults on Linux; Windows' own conversion may map them.
bool Cp932ToUtf8(std::string_view bytes, std::string& out, std::size_t* badAt = nullptr);

// Number of UTF-16 units the UTF-8 text occupies.
std::size_t Utf16Length(std::string_view text);

// UTF-16LE bytes (no terminator added) and back (an odd trailing byte is dropped).
std::vector<std::uint8_t> Utf8ToUtf16Bytes(std::string_view text);
std::u16string Utf16FromBytes(const std::uint8_t* data, std::size_t size);

// ASCII-only case mapping, as the registry and the file system names need it.
char AsciiLower(char c);
char AsciiUpper(char c);
std::string AsciiLowerCase(std::string_view text);
std::string AsciiUpperCase(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// Case-insensitive ordering of names as Windows and Wine keep registry keys: UTF-16 units
// compared after upper-casing. Returns <0, 0, >0.
int CompareNoCase(std::string_view a, std::string_view b);
int CompareNoCase16(std::u16string_view a, std::u16string_view b);
char16_t UpperUnit(char16_t unit);
// A key for hashing names: two names fold alike exactly when CompareNoCase finds them equal.
std::string FoldNoCase(std::string_view name);

// Cuts UTF-8 text to at most maxBytes bytes without splitting a character.
std::string CutUtf8(std::string_view text, std::size_t maxBytes);

// Splits a backslash-separated path; empty components are dropped.
std::vector<std::string> SplitPath(std::string_view path);
// The path without its last component, its components joined by one backslash each.
std::string ParentPath(std::string_view path);

// Replaces every occurrence of "%0:s" with value (the description substitution of the catalogue).
std::string FormatArg0(std::string_view format, std::string_view value);

}  // namespace tovalin
