// A registry held in memory: the store behind the test worlds and behind the file-backed Wine
// hives. Keys keep their subkeys sorted without regard to case, as Windows and Wine enumerate
// them; values keep the order in which they were added.
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

namespace tovalin {

struct RegValue {
  std::string name;
  std::uint32_t type = win::kRegNone;
  std::vector<std::uint8_t> data;
};

// Finds a key's values by name when it has many: a lookup per name in a list would make loading
// or reading a key of a hundred thousand values take minutes. It only speeds lookups up: it is
// rebuilt whenever the list is not the one it was made for, and every hit is checked.
class RegValueIndex {
 public:
  RegValueIndex() = default;
  // A copied key has values of its own: its index is made anew.
  RegValueIndex(const RegValueIndex&) {}
  RegValueIndex& operator=(const RegValueIndex&) {
    built_.reset();
    return *this;
  }
  RegValueIndex(RegValueIndex&&) = default;
  RegValueIndex& operator=(RegValueIndex&&) = default;

  // The position of the value named `name` (compared as CompareNoCase does), or -1.
  std::ptrdiff_t Find(const std::vector<RegValue>& values, std::string_view name);
  // After values.push_back of a name not there yet; `before` is what values.data() was.
  void Appended(const std::vector<RegValue>& values, const RegValue* before);
  // After values.erase of the value named `name` at `at`.
  void Removed(const std::vector<RegValue>& values, std::size_t at, std::string_view name);

 private:
  struct Built {
    std::unordered_map<std::string, std::size_t> slots;  // folded name -> position
    // The list as it was when indexed: one that reallocated, grew or shrank since is indexed
    // anew.
    const RegValue* storage = nullptr;
    std::size_t size = 0;
  };
  void Build(const std::vector<RegValue>& values);

  std::unique_ptr<Built> built_;  // only for keys with many values: most keys have a few
};

struct RegNode {
  std::string name;
  RegNode* parent = nullptr;
  std::vector<std::shared_ptr<RegNode>> children;  // sorted by CompareNoCase
  // In insertion order, no name twice. Reordering the list or assigning a new one is fine;
  // a name is not renamed in place, nor are values swapped in and out through the list at an
  // unchanged length (use PutValue and RemoveValue): the index trusts that the same storage of
  // the same length holds the same names.
  std::vector<RegValue> values;
  // Rights this key grants; an open asking for more is denied.
  std::uint32_t grantedAccess = win::kKeyAllAccess;
  bool deleted = false;
  // For file-backed stores: set when the key or its values changed since it was loaded, and
  // whatever the store kept to write an untouched key back as it was.
  bool modified = false;
  std::string fileText;
  std::string className;
  // A Wine symbolic link key ("#link" in a hive file): kept so that rewriting it keeps it a link.
  bool link = false;
  // One past the child the last lookup found. Scans open keys in enumeration order, so the next
  // lookup nearly always wants that child; it is only a guess, checked before searching.
  mutable std::size_t lookupHint = 0;
  mutable RegValueIndex valueIndex;

  RegNode() = default;
  RegNode(const RegNode&) = default;
  RegNode(RegNode&&) = default;
  RegNode& operator=(const RegNode&) = default;
  RegNode& operator=(RegNode&&) = default;
  // Takes the subtree apart level by level: a hive may nest keys deeper than the call stack.
  ~RegNode();

  RegNode* FindChild(std::string_view childName) const;
  // Inserts in sorted position; returns the existing child when there is one.
  RegNode* AddChild(std::string_view childName);
  bool RemoveChild(std::string_view childName);
  RegValue* FindValue(std::string_view valueName);
  const RegValue* FindValue(std::string_view valueName) const;
  // Sets or replaces a value, keeping its place when it exists.
  void PutValue(std::string_view valueName, std::uint32_t type, std::vector<std::uint8_t> data);
  bool RemoveValue(std::string_view valueName);
  // Path from the hive root, components joined by "\".
  std::string Path() const;
};

class MemoryRegistry : public IRegistry {
 public:
  MemoryRegistry();

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

// Shared pointer to the child, for code that keeps nodes alive.
std::shared_ptr<RegNode> ChildPtr(const RegNode& node, std::string_view childName);

}  // namespace tovalin
