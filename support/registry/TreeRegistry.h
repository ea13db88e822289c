// A registry held in memory over a tree of keys: the store behind the test worlds, regedit
// exports and the file-backed Wine hives.
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
  // Through the walk's own view; a key below more than one root is named by the highest, but a
  // user's key by HKEY_CURRENT_USER.
  std::string NativeKeyName(RootKey root, std::string_view path) override;
  std::string LastErrorDetail() const override { return lastErrorDetail_; }

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

  // Consulted before every change; a non-zero result refuses it with that error, and what the
  // guard puts in `why` explains the refusal (LastErrorDetail).
  std::function<long(std::string& why)> writeGuard;
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
  std::shared_ptr<RegNode> Walk(const std::shared_ptr<RegNode>& node,
                                std::string_view subPath) const;
  // The one walk down a path, for opening and for creating: with `create`, every missing key
  // along the path is made, as far as the rights of `from` and of each key allow. `created`
  // tells whether any was.
  long WalkPath(const OpenKeyState& from, std::string_view subPath, bool create,
                std::shared_ptr<RegNode>& result, bool& created) const;

  // The view a walk sees; the plain tree has none of it. Where the component `next` is looked
  // up below `node`; `next` is empty once the path is walked (the key reached may lead on by
  // itself).
  virtual RegNode* Redirect(RegNode* node, std::string_view next) const;
  // The key that a key found by name stands for (a link's target); nullptr when there is none.
  virtual RegNode* Follow(RegNode* node) const;
  // The owning pointer of a key in the tree, for a handle to keep it alive.
  virtual std::shared_ptr<RegNode> Share(RegNode* node) const;
  // A key of the tree as regedit names it ("HKEY_LOCAL_MACHINE\Software\..."); "" for one
  // below none of the roots.
  virtual std::string NativeNodeName(const RegNode& node) const;

  long Guard() const;
  void Changed(RegNode& node) const;
  RegHandle NewHandle(std::shared_ptr<RegNode> node, std::uint32_t access);

  std::array<std::shared_ptr<RegNode>, 4> roots_;
  std::unordered_map<RegHandle, OpenKeyState> handles_;
  RegHandle nextHandle_ = 0x1000;
  // Like GetLastError: the one call that failed last says why.
  mutable std::string lastErrorDetail_;
};

}  // namespace tovalin
