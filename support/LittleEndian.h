// Little-endian integers in byte buffers: PE files, icons, version blocks, registry data and
// UTF-16LE text all store them so. Every reader and writer of such bytes goes through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tovalin {

// Unchecked loads: the caller has made sure the bytes are there.
constexpr std::uint16_t LoadLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
constexpr std::uint32_t LoadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(LoadLe16(p)) |
         (static_cast<std::uint32_t>(LoadLe16(p + 2)) << 16);
}
constexpr std::uint64_t LoadLe64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(LoadLe32(p)) |
         (static_cast<std::uint64_t>(LoadLe32(p + 4)) << 32);
}

// Checked reads at an offset: nothing when the value would reach past the end. The comparison
// is written so that no offset, however large, can wrap around.
inline std::optional<std::uint16_t> ReadLe16(std::span<const std::uint8_t> bytes, std::size_t at) {
  if (at > bytes.size() || bytes.size() - at < 2) return std::nullopt;
  return LoadLe16(bytes.data() + at);
}
inline std::optional<std::uint32_t> ReadLe32(std::span<const std::uint8_t> bytes, std::size_t at) {
  if (at > bytes.size() || bytes.size() - at < 4) return std::nullopt;
  return LoadLe32(bytes.data() + at);
}
inline std::optional<std::uint64_t> ReadLe64(std::span<const std::uint8_t> bytes, std::size_t at) {
  if (at > bytes.size() || bytes.size() - at < 8) return std::nullopt;
  return LoadLe64(bytes.data() + at);
}

// Unchecked stores over bytes the caller owns.
constexpr void StoreLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
constexpr void StoreLe32(std::uint8_t* p, std::uint32_t v) {
  StoreLe16(p, static_cast<std::uint16_t>(v));
  StoreLe16(p + 2, static_cast<std::uint16_t>(v >> 16));
}

inline void AppendLe16(std::vector<std::uint8_t>& out, std::uint16_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
inline void AppendLe32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  AppendLe16(out, static_cast<std::uint16_t>(v));
  AppendLe16(out, static_cast<std::uint16_t>(v >> 16));
}

// The four bytes of a REG_DWORD value.
inline std::vector<std::uint8_t> Le32Bytes(std::uint32_t v) {
  std::vector<std::uint8_t> out;
  out.reserve(4);
  AppendLe32(out, v);
  return out;
}

}  // namespace tovalin
