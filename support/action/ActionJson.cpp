#include "support/action/ActionJson.h"

#include <stdexcept>

namespace tovalin {

namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (const std::uint8_t byte : bytes) {
    text.push_back(kDigits[byte >> 4]);
    text.push_back(kDigits[byte & 0x0F]);
  }
  return text;
}

[[noreturn]] void Malformed(std::string_view what) {
  throw std::runtime_error("変更の記録が壊れています (" + std::string(what) + ")。");
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  if (text.size() % 2 != 0) Malformed("hex");
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int high = digit(text[i]);
    const int low = digit(text[i + 1]);
    if (high < 0 || low < 0) Malformed("hex");
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return bytes;
}

// Standard UTF-8 as JSON takes it: no surrogates, no overlong forms.
bool JsonSafe(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80           ? 1
                         : (c >> 5) == 0x6  ? 2
                         : (c >> 4) == 0xE  ? 3
                         : (c >> 3) == 0x1E ? 4
                                            : 0;
    if (length == 0 || i + length > text.size()) return false;
    char32_t code = length == 1 ? c : c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

nlohmann::ordered_json DataToJson(const std::optional<RegData>& data) {
  if (!data) return nullptr;
  return {{"type", data->type}, {"data", Hex(data->data)}};
}

std::optional<RegData> DataFromJson(const nlohmann::json& json) {
  if (json.is_null()) return std::nullopt;
  if (!json.is_object() || !json.contains("type") || !json.contains("data")) Malformed("value");
  return RegData{json.at("type").get<std::uint32_t>(), Bytes(json.at("data").get<std::string>())};
}

}  // namespace

nlohmann::ordered_json NameToJson(const std::string& name) {
  if (JsonSafe(name)) return name;
  return {{"hex", Hex(std::vector<std::uint8_t>(name.begin(), name.end()))}};
}

std::string NameFromJson(const nlohmann::json& json) {
  if (json.is_string()) return json.get<std::string>();
  if (!json.is_object() || !json.contains("hex")) Malformed("name");
  const std::vector<std::uint8_t> bytes = Bytes(json.at("hex").get<std::string>());
  return std::string(bytes.begin(), bytes.end());
}

nlohmann::ordered_json ChangesToJson(const RegChangeSet& changes) {
  nlohmann::ordered_json keys = nlohmann::ordered_json::array();
  for (const RegKeyChange& key : changes.keys) {
    nlohmann::ordered_json values = nlohmann::ordered_json::array();
    for (const RegValueChange& value : key.values) {
      values.push_back({{"name", NameToJson(value.name)},
                        {"before", DataToJson(value.before)},
                        {"after", DataToJson(value.after)}});
    }
    keys.push_back({{"root", RootKeyName(key.root)},
                    {"path", NameToJson(key.path)},
                    {"existedBefore", key.existedBefore},
                    {"existsAfter", key.existsAfter},
                    {"values", std::move(values)}});
  }
  return keys;
}

RegChangeSet ChangesFromJson(const nlohmann::json& json) {
  if (!json.is_array()) Malformed("keys");
  RegChangeSet changes;
  try {
    for (const nlohmann::json& key : json) {
      const std::optional<RootKey> root = RootKeyFromName(key.at("root").get<std::string>());
      if (!root) Malformed("root");
      RegKeyChange change{*root,
                          NameFromJson(key.at("path")),
                          key.at("existedBefore").get<bool>(),
                          key.at("existsAfter").get<bool>(),
                          {}};
      for (const nlohmann::json& value : key.at("values")) {
        change.values.push_back({NameFromJson(value.at("name")), DataFromJson(value.at("before")),
                                 DataFromJson(value.at("after"))});
      }
      changes.keys.push_back(std::move(change));
    }
  } catch (const nlohmann::json::exception& e) {
    Malformed(e.what());
  }
  return changes;
}

nlohmann::ordered_json PlanToJson(const ActionPlan& plan) {
  nlohmann::ordered_json files = nlohmann::ordered_json::array();
  for (const std::string& file : plan.files) files.push_back(NameToJson(file));
  return {{"registry", ChangesToJson(plan.registry)}, {"files", std::move(files)}};
}

ActionPlan PlanFromJson(const nlohmann::json& json) {
  if (!json.is_object() || !json.contains("registry")) Malformed("plan");
  ActionPlan plan{ChangesFromJson(json.at("registry")), {}};
  if (json.contains("files")) {
    for (const nlohmann::json& file : json.at("files")) plan.files.push_back(NameFromJson(file));
  }
  return plan;
}

}  // namespace tovalin
