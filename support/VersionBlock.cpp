#include "support/VersionBlock.h"

#include <string>
#include <utility>

#include "support/LittleEndian.h"
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
  return LoadLe16(b.data() + at);
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

namespace {
void Pad4(std::vector<std::uint8_t>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}
}  // namespace

std::vector<std::uint8_t> WriteVersionNode(const VersionNode& node) {
  std::vector<std::uint8_t> out(6, 0);
  const std::vector<std::uint8_t> key = Utf8ToUtf16Bytes(node.key);
  out.insert(out.end(), key.begin(), key.end());
  AppendLe16(out, 0);
  Pad4(out);
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const VersionNode& child : node.children) {
    Pad4(out);
    const std::vector<std::uint8_t> bytes = WriteVersionNode(child);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  const std::size_t valueLength = node.valueLength
                                      ? *node.valueLength
                                      : (node.text ? node.value.size() / 2 : node.value.size());
  StoreLe16(&out[0], static_cast<std::uint16_t>(out.size()));
  StoreLe16(&out[2], static_cast<std::uint16_t>(valueLength));
  StoreLe16(&out[4], node.text ? 1 : 0);
  return out;
}

VersionNode VersionTextNode(std::string key, std::string_view text) {
  VersionNode node{std::move(key), Utf8ToUtf16Bytes(text), true, {}, std::nullopt};
  AppendLe16(node.value, 0);
  return node;
}

std::vector<std::uint8_t> BuildVersionBlock(const VersionBlockContent& content) {
  VersionNode root{"VS_VERSION_INFO", {}, false, {}, std::nullopt};
  std::vector<std::uint8_t>& fixed = root.value;
  AppendLe32(fixed, 0xFEEF04BD);  // signature
  AppendLe32(fixed, 0x00010000);  // structure version
  for (const auto& v : {content.fileVersion, content.productVersion}) {
    AppendLe32(fixed, (static_cast<std::uint32_t>(v[0]) << 16) | v[1]);
    AppendLe32(fixed, (static_cast<std::uint32_t>(v[2]) << 16) | v[3]);
  }
  for (const std::uint32_t field : {content.fileFlagsMask, content.fileFlags, content.fileOs,
                                    content.fileType, content.fileSubtype}) {
    AppendLe32(fixed, field);
  }
  AppendLe32(fixed, 0);  // date, high
  AppendLe32(fixed, 0);  // date, low

  if (!content.tables.empty()) {
    VersionNode stringInfo{"StringFileInfo", {}, true, {}, std::nullopt};
    for (const auto& [blockName, strings] : content.tables) {
      VersionNode table{blockName, {}, true, {}, std::nullopt};
      for (const auto& [key, text] : strings) table.children.push_back(VersionTextNode(key, text));
      stringInfo.children.push_back(std::move(table));
    }
    root.children.push_back(std::move(stringInfo));
  }
  if (!content.translations.empty()) {
    VersionNode translation{"Translation", {}, false, {}, std::nullopt};
    for (const auto& [language, codePage] : content.translations) {
      AppendLe16(translation.value, language);
      AppendLe16(translation.value, codePage);
    }
    root.children.push_back(VersionNode{"VarFileInfo", {}, true, {translation}, std::nullopt});
  }
  return WriteVersionNode(root);
}

}  // namespace tovalin
