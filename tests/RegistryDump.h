// A registry's keys and values below a key as lines, one each, values sorted within their key:
// the registry as data, for comparing a start with what a change and its undo leave, whatever
// order a rewrite keeps and whatever time it stamps.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "support/platform/Platform.h"

namespace tovalin::test {

inline void DumpRegistry(IRegistry& registry, RootKey root, const std::string& path,
                         std::vector<std::string>& lines) {
  RegHandle key = 0;
  if (registry.OpenKey(registry.Root(root), path, win::kKeyRead, key) != win::kSuccess) return;
  lines.push_back("[" + path + "]");
  const std::size_t first = lines.size();
  std::string name;
  for (std::uint32_t i = 0; registry.EnumValue(key, i, 32768, name) == win::kSuccess; ++i) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    registry.QueryValue(key, name, type, &data);
    lines.push_back(name + "=" + std::to_string(type) + ":" +
                    std::string(data.begin(), data.end()));
  }
  std::sort(lines.begin() + static_cast<std::ptrdiff_t>(first), lines.end());
  std::vector<std::string> subkeys;
  for (std::uint32_t i = 0; registry.EnumKey(key, i, 32768, name) == win::kSuccess; ++i) {
    subkeys.push_back(name);
  }
  registry.CloseKey(key);
  for (const std::string& sub : subkeys) {
    DumpRegistry(registry, root, path.empty() ? sub : path + "\\" + sub, lines);
  }
}

inline std::vector<std::string> DumpRegistry(IRegistry& registry, RootKey root,
                                             const std::string& path) {
  std::vector<std::string> lines;
  DumpRegistry(registry, root, path, lines);
  return lines;
}

}  // namespace tovalin::test
