// A registry that takes an action's changes without making them. Reads go to the registry below
// and see the action's own changes on top; writes are kept here. Run an action against it and
// Changes() tells every key and value the action would change, with what each holds now, before
// anything is written: the rights can be checked first, the before-state kept for undo, and the
// machine-wide part handed to an elevated process.
//
// Keys are known by the root and path the action names them with, so two paths that the view
// maps onto one key (HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE\Software\Classes) are two keys here;
// an action names each key one way.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "support/action/RegChanges.h"
#include "support/platform/Platform.h"

namespace tovalin {

class PlanningRegistry : public IRegistry {
 public:
  explicit PlanningRegistry(IRegistry& base);
  ~PlanningRegistry() override;
  PlanningRegistry(const PlanningRegistry&) = delete;
  PlanningRegistry& operator=(const PlanningRegistry&) = delete;

  // The changes so far, each key with its before-state as the registry below holds it, in the
  // order the action first touched them; nothing for what it changed and changed back.
  RegChangeSet Changes();

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
  // The registry below names the keys: a key the plan made or removed is named as it would be
  // there.
  std::string NativeKeyName(RootKey root, std::string_view path) override {
    return base_.NativeKeyName(root, path);
  }

 private:
  // A key the action changed, or one whose subkeys it added or removed.
  struct Touched {
    RootKey root = RootKey::LocalMachine;
    std::string path;  // as first named
    bool inBase = false;
    bool exists = false;
    // Deleted at some point: the values below count no more, only those written since.
    bool cleared = false;
    std::map<std::string, RegValueChange> values;      // by folded name; `after` is what it holds
    std::vector<std::string> valueOrder;               // folded names, as first written
    std::map<std::string, std::string> addedChildren;  // folded -> name
    std::map<std::string, std::string> removedChildren;
    std::size_t order = 0;
  };
  struct Open {
    RootKey root = RootKey::LocalMachine;
    std::string path;
    RegHandle base = 0;  // 0: the key is not (yet) in the registry below
  };

  static std::string Id(RootKey root, std::string_view path);
  static std::string Join(std::string_view parent, std::string_view subPath);
  bool Resolve(RegHandle handle, Open& open) const;
  // Whether the key exists as the action sees it; the registry below answers for keys the
  // action left alone.
  bool Exists(RootKey root, const std::string& path);
  bool StillThere(const Open& open);
  // Whether the key exists as far as the action's own changes tell; nothing where the registry
  // below decides.
  std::optional<bool> Known(RootKey root, const std::string& path);
  bool InBase(RootKey root, const std::string& path);
  Touched& Touch(RootKey root, const std::string& path);
  Touched* Find(RootKey root, std::string_view path);
  // The key in the registry below, opened for reading; 0 when it is not there, not readable, or
  // only the action made it. `code` learns the registry's answer.
  RegHandle BaseOpen(RootKey root, const std::string& path, long* code = nullptr);
  // The names the registry below holds under the key, where the action has not replaced them all.
  std::vector<std::string> NamesBelow(const Open& open, const Touched* key, bool subKeys);
  std::vector<std::string> SubKeys(const Open& open);
  std::vector<std::string> ValueNames(const Open& open);
  RegHandle NewHandle(Open open);

  IRegistry& base_;
  std::unordered_map<std::string, Touched> touched_;
  std::unordered_map<RegHandle, Open> handles_;
  RegHandle nextHandle_ = 0x1000;
  std::size_t nextOrder_ = 0;
};

}  // namespace tovalin
