// The PE files the fixture build makes with the mingw-w64 tools (tests/fixtures).
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovalin::test {

// A file the build made, named by its host path.
inline std::string BuiltFilePath(std::string path) {
#ifdef _WIN32
  // A cross-built test binary runs under Wine, where the build tree is on drive Z:.
  if (path.starts_with("/")) path = "Z:" + path;
#endif
  return path;
}

inline std::string FixturePath(std::string_view name) {
  return BuiltFilePath(std::string(TOVALIN_BINARY_DIR) + "/tests/fixtures/" + std::string(name));
}

inline std::optional<std::vector<std::uint8_t>> ReadHostFile(const std::string& path) {
  // In one read: the Wine folder holds 600 MB, far too slow a byte at a time in a sanitized build.
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(in.tellg()));
  in.seekg(0);
  if (!in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()))) {
    return std::nullopt;
  }
  return bytes;
}

inline std::optional<std::vector<std::uint8_t>> ReadFixture(std::string_view name) {
  return ReadHostFile(FixturePath(name));
}

constexpr const char* kNoFixtures =
    "PE fixtures not built (the mingw-w64 tools were missing at configure time)";

}  // namespace tovalin::test
