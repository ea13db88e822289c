#include "support/VersionBlock.h"

#include <string>

#include "support/Text.h"

namespace tovalin {

namespace {

struct Node {
  std::size_t begin = 0;  // offset of wLength
  std::size_t end = 0;    // one past the node
  std::u16string key;
  std::size_t valueBegin = 0;
  std::size_t valueSize = 0;  // bytes
  bool text = false;
  std::size_t childrenBegin = 0;
};

std::uint16_t Word(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::size_t Align4(std::size_t offset) {
  return (offset + 3) & ~static_cast<std::size_t>(3);
}

// Parses the node at `at`, which must lie inside [at, limit).
bool ParseNode(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t limit, Node& node) {
  if (limit > b.size() || at + 6 > limit) return false;
  const std::size_t length = Word(b, at);
  if (length < 6 || at + length > limit) return false;
  node.begin = at;
  node.end = at + length;
  const std::size_t valueLength = Word(b, at + 2);
  node.text = Word(b, at + 4) == 1;
  std::size_t p = at + 6;
  node.key.clear();
  while (true) {
    if (p + 2 > node.end) return false;
    const char16_t unit = Word(b, p);
    p += 2;
    if (unit == 0) break;
    node.key.push_back(unit);
  }
  node.valueBegin = Align4(p);
  node.valueSize = node.text ? valueLength * 2 : valueLength;
  if (node.valueBegin > node.end) {
    node.valueBegin = node.end;
    node.valueSize = 0;
  }
  if (node.valueBegin + node.valueSize > node.end) node.valueSize = node.end - node.valueBegin;
  node.childrenBegin = Align4(node.valueBegin + node.valueSize);
  return true;
}

}  // namespace

bool QueryVersionBlock(const std::vector<std::uint8_t>& block, std::string_view subBlock,
                       std::vector<std::uint8_t>& value) {
  value.clear();
  Node node;
  if (!ParseNode(block, 0, block.size(), node)) return false;
  for (const std::string& part : SplitPath(subBlock)) {
    const std::u16string want = Utf8ToUtf16(part);
    bool found = false;
    std::size_t at = node.childrenBegin;
    Node child;
    while (at + 6 <= node.end) {
      if (!ParseNode(block, at, node.end, child)) break;
      if (CompareNoCase16(child.key, want) == 0) {
        found = true;
        break;
      }
      const std::size_t next = Align4(child.end);
      if (next <= at) break;
      at = next;
    }
    if (!found) return false;
    node = child;
  }
  value.assign(block.begin() + static_cast<std::ptrdiff_t>(node.valueBegin),
               block.begin() + static_cast<std::ptrdiff_t>(node.valueBegin + node.valueSize));
  if (node.text) {
    // A caller reads text up to its first NUL; some writers count the terminator (or the
    // padding after it) in wValueLength, others count bytes instead of characters.
    value.resize(value.size() & ~static_cast<std::size_t>(1));
    for (std::size_t i = 0; i < value.size(); i += 2) {
      if (value[i] == 0 && value[i + 1] == 0) {
        value.resize(i);
        break;
      }
    }
  }
  return true;
}

}  // namespace tovalin
