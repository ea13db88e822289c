#include "tests/VersionBlockBuilder.h"

#include <cstdio>

#include "support/Text.h"

namespace tovalin::test {

namespace {

// One node: wLength, wValueLength, wType, the key, padding, the value, padding, the children.
struct Node {
  std::string key;
  std::vector<std::uint8_t> value;
  std::uint16_t valueLength = 0;  // in UTF-16 units for text, bytes otherwise
  std::uint16_t type = 0;         // 1 text, 0 binary
  std::vector<Node> children;
};

void PutWord(std::vector<std::uint8_t>& out, std::uint16_t word) {
  out.push_back(static_cast<std::uint8_t>(word & 0xFF));
  out.push_back(static_cast<std::uint8_t>(word >> 8));
}

void PutDword(std::vector<std::uint8_t>& out, std::uint32_t dword) {
  PutWord(out, static_cast<std::uint16_t>(dword & 0xFFFF));
  PutWord(out, static_cast<std::uint16_t>(dword >> 16));
}

void Pad4(std::vector<std::uint8_t>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

std::vector<std::uint8_t> Serialise(const Node& node) {
  std::vector<std::uint8_t> out(6, 0);
  std::vector<std::uint8_t> key = Utf8ToUtf16Bytes(node.key);
  out.insert(out.end(), key.begin(), key.end());
  PutWord(out, 0);
  Pad4(out);
  out.insert(out.end(), node.value.begin(), node.value.end());
  for (const Node& child : node.children) {
    Pad4(out);
    const std::vector<std::uint8_t> bytes = Serialise(child);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  out[0] = static_cast<std::uint8_t>(out.size() & 0xFF);
  out[1] = static_cast<std::uint8_t>(out.size() >> 8);
  out[2] = static_cast<std::uint8_t>(node.valueLength & 0xFF);
  out[3] = static_cast<std::uint8_t>(node.valueLength >> 8);
  out[4] = static_cast<std::uint8_t>(node.type);
  return out;
}

Node TextNode(const std::string& key, const std::string& text) {
  Node node;
  node.key = key;
  node.type = 1;
  node.value = Utf8ToUtf16Bytes(text);
  PutWord(node.value, 0);
  node.valueLength = static_cast<std::uint16_t>(node.value.size() / 2);
  return node;
}

}  // namespace

std::vector<std::uint8_t> BuildVersionBlock(const VersionBlockContent& content) {
  Node root;
  root.key = "VS_VERSION_INFO";
  PutDword(root.value, 0xFEEF04BD);  // signature
  PutDword(root.value, 0x00010000);  // structure version
  auto putVersion = [&](const std::array<std::uint16_t, 4>& v) {
    PutDword(root.value, (static_cast<std::uint32_t>(v[0]) << 16) | v[1]);
    PutDword(root.value, (static_cast<std::uint32_t>(v[2]) << 16) | v[3]);
  };
  putVersion(content.fileVersion);
  putVersion(content.productVersion);
  for (int i = 0; i < 5; ++i) PutDword(root.value, 0);  // flags mask, flags, OS, type, subtype
  PutDword(root.value, 0);                              // date, high
  PutDword(root.value, 0);                              // date, low
  root.valueLength = static_cast<std::uint16_t>(root.value.size());

  if (!content.tables.empty()) {
    Node stringInfo;
    stringInfo.key = "StringFileInfo";
    stringInfo.type = 1;
    for (const auto& [blockName, strings] : content.tables) {
      Node table;
      table.key = blockName;
      table.type = 1;
      for (const auto& [key, value] : strings) table.children.push_back(TextNode(key, value));
      stringInfo.children.push_back(std::move(table));
    }
    root.children.push_back(std::move(stringInfo));
  }

  if (!content.translations.empty()) {
    Node varInfo;
    varInfo.key = "VarFileInfo";
    varInfo.type = 1;
    Node translation;
    translation.key = "Translation";
    for (const auto& [language, codePage] : content.translations) {
      PutWord(translation.value, language);
      PutWord(translation.value, codePage);
    }
    translation.valueLength = static_cast<std::uint16_t>(translation.value.size());
    varInfo.children.push_back(std::move(translation));
    root.children.push_back(std::move(varInfo));
  }

  return Serialise(root);
}

std::vector<std::uint8_t> BuildVersionBlock(const std::map<std::string, std::string>& strings,
                                            std::uint16_t language, std::uint16_t codePage) {
  VersionBlockContent content;
  content.translations.emplace_back(language, codePage);
  char blockName[16];
  std::snprintf(blockName, sizeof blockName, "%04X%04X", language, codePage);
  content.tables.emplace_back(
      blockName, std::vector<std::pair<std::string, std::string>>(strings.begin(), strings.end()));
  return BuildVersionBlock(content);
}

}  // namespace tovalin::test
