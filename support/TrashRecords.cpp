#include "support/TrashRecords.h"

#include <cstdio>

#include "support/LittleEndian.h"
#include "support/Text.h"

namespace tovalin {

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> DecodeTrashPath(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      decoded.push_back(text[i]);
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int high = HexValue(text[i + 1]);
    const int low = HexValue(text[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    decoded.push_back(static_cast<char>(high * 16 + low));
    i += 2;
  }
  return decoded;
}

std::string_view Trimmed(std::string_view line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r')) {
    line.remove_suffix(1);
  }
  return line;
}

}  // namespace

std::string EncodeTrashPath(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(path.size());
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                       (byte >= '0' && byte <= '9') || c == '-' || c == '.' || c == '_' ||
                       c == '~' || c == '/';
    if (plain) {
      encoded.push_back(c);
    } else {
      encoded.push_back('%');
      encoded.push_back(kHex[byte >> 4]);
      encoded.push_back(kHex[byte & 0x0F]);
    }
  }
  return encoded;
}

std::string TrashInfoText(std::string_view path, const std::tm& local) {
  char date[96];  // room for any int the fields may hold
  std::snprintf(date, sizeof(date), "%04d-%02d-%02dT%02d:%02d:%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return "[Trash Info]\nPath=" + EncodeTrashPath(path) + "\nDeletionDate=" + date + "\n";
}

std::optional<TrashInfo> ParseTrashInfo(std::string_view text) {
  bool inGroup = false;
  std::optional<std::string> path;
  std::string date;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = Trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.starts_with('[')) {
      inGroup = line == "[Trash Info]";
      continue;
    }
    if (!inGroup) continue;
    if (line.starts_with("Path=") && !path) {
      path = DecodeTrashPath(line.substr(5));
      if (!path) return std::nullopt;
    } else if (line.starts_with("DeletionDate=") && date.empty()) {
      date = std::string(line.substr(13));
    }
  }
  if (!path || path->empty()) return std::nullopt;
  return TrashInfo{std::move(*path), std::move(date)};
}

std::optional<RecycleBinInfo> ParseRecycleBinInfo(std::span<const std::uint8_t> bytes) {
  const std::optional<std::uint64_t> version = ReadLe64(bytes, 0);
  const std::optional<std::uint64_t> size = ReadLe64(bytes, 8);
  const std::optional<std::uint64_t> time = ReadLe64(bytes, 16);
  if (!version || !size || !time) return std::nullopt;
  std::size_t start = 24;
  std::size_t units = 0;
  if (*version == 1) {
    units = 260;
  } else if (*version == 2) {
    const std::optional<std::uint32_t> counted = ReadLe32(bytes, 24);
    if (!counted) return std::nullopt;
    start = 28;
    units = *counted;
  } else {
    return std::nullopt;
  }
  if ((bytes.size() - start) / 2 < units) return std::nullopt;
  std::u16string path = Utf16FromBytes(bytes.data() + start, units * 2);
  const std::size_t nul = path.find(u'\0');
  if (nul != std::u16string::npos) path.resize(nul);
  if (path.empty()) return std::nullopt;
  return RecycleBinInfo{*size, *time, Utf16ToUtf8(path)};
}

}  // namespace tovalin
