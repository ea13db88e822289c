// A registry held in memory over a tree of keys: the store behind the test worlds and behind
// the file-backed Wine hives.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "support/platform/Platform.h"
#include "support/registry/RegistryTree.h"

namespace tovalin {

class TreeRegistry : public IRegistry {
 public:
  TreeRegistry();

  // --- IRegistry ---
  RegHandle Root(RootKey root) override;
  long OpenKey(RegHandle parent, std::string_view subPath, std::uint32_t access,
               RegHandle& result) override;
  long CreateKey(RegHandle parent, std::string_view subPath, std::uint32_t access,
                 RegHandle& result) override;
  long CloseKey(RegHandle key) override;
  long EnumKey(RegHandle key, std::uint32_t index, std::uint32_t maxUnits,
               std::string& name) override;
  long EnumValue(RegHandle key, std::uint32_t index, std::uint32_t maxUnits,
                 std::string& name) override;
  long QueryInfoKey(RegHandle key, std::uint32_t& subKeys, std::uint32_t& values) override;
  long QueryValue(RegHandle key, std::string_view name, std::uint32_t& type,
                  std::vector<std::uint8_t>* data) override;
  long SetValue(RegHandle key, std::string_view name, std::uint32_t type,
                const std::vector<std::uint8_t>& data) override;
  long DeleteValue(RegHandle key, std::string_view name) override;
  long DeleteKey(RegHandle parent, std::string_view subPath) override;

  // --- Direct access, for loaders and tests ---
  // A root may be shared with another (HKEY_CURRENT_USER as one of HKEY_USERS' subkeys, say).
  void SetRootNode(RootKey root, std::shared_ptr<RegNode> node);
  std::shared_ptr<RegNode> RootNode(RootKey root) const;
  RegNode* Find(RootKey root, std::string_view path) const;
  RegNode* Ensure(RootKey root, std::string_view path);
  void SetValueDirect(RootKey root, std::string_view path, std::string_view name,
                      std::uint32_t type, std::vector<std::uint8_t> data);
  void SetString(RootKey root, std::string_view path, std::string_view name, std::string_view text,
                 std::uint32_t type = win::kRegSz);
  void SetDword(RootKey root, std::string_view path, std::string_view name, std::uint32_t value);
  void SetBinary(RootKey root, std::string_view path, std::string_view name,
                 std::vector<std::uint8_t> data);
  // Limits the rights a key grants (to model "this key grants only KEY_QUERY_VALUE").
  void SetAccess(RootKey root, std::string_view path, std::uint32_t access);
  // The REG_SZ text of a value as UTF-8 (up to its first NUL unit), or nothing.
  std::optional<std::string> GetString(RootKey root, std::string_view path,
                                       std::string_view name) const;
  std::optional<std::uint32_t> GetDword(RootKey root, std::string_view path,
                                        std::string_view name) const;
  std::size_t OpenHandleCount() const { return handles_.size(); }

  // Consulted before every change; a non-zero result refuses it with that error. A guard may
  // also throw to refuse with a message of its own.
  std::function<long()> writeGuard;
  // Called after every change, with the key that changed.
  std::function<void(RegNode&)> onChange;

 protected:
  struct OpenKeyState {
    std::shared_ptr<RegNode> node;
    std::uint32_t access = 0;
  };
  // Resolves a handle; false when it is unknown.
  bool Resolve(RegHandle handle, OpenKeyState& state) const;
  // Walks subPath below node; nullptr when a component is missing.
  virtual std::shared_ptr<RegNode> Walk(const std::shared_ptr<RegNode>& node,
                                        std::string_view subPath) const;
  long Guard();
  void Changed(RegNode& node);
  RegHandle NewHandle(std::shared_ptr<RegNode> node, std::uint32_t access);

  std::array<std::shared_ptr<RegNode>, 4> roots_;
  std::unordered_map<RegHandle, OpenKeyState> handles_;
  RegHandle nextHandle_ = 0x1000;
};

}  // namespace tovalin
