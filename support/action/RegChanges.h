// What one action does to the registry, key by key: the before- and after-state of every key and
// value it changes. The same record checks the rights before anything is written, makes the
// changes, puts back a change the store refused half-way, and undoes the action later.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/platform/Platform.h"

namespace tovalin {

struct RegData {
  std::uint32_t type = win::kRegNone;
  std::vector<std::uint8_t> data;
  bool operator==(const RegData&) const = default;
};

// A value the action changes; nothing stands for "no such value".
struct RegValueChange {
  std::string name;
  std::optional<RegData> before;
  std::optional<RegData> after;
};

// A key the action creates, deletes or changes values of, named as the program sees it: its
// root and its path through the program's view of the registry (the 32-bit view on Windows).
// A deleted key lists every value it held.
struct RegKeyChange {
  RootKey root = RootKey::LocalMachine;
  std::string path;
  bool existedBefore = true;
  bool existsAfter = true;
  std::vector<RegValueChange> values;
};

struct RegChangeSet {
  std::vector<RegKeyChange> keys;
  bool Empty() const { return keys.empty(); }
  // The changes that lead back from after to before.
  RegChangeSet Reversed() const;
};

// A key opened for the length of a scope.
class OpenedRegKey {
 public:
  OpenedRegKey(IRegistry& registry, RootKey root, std::string_view path, std::uint32_t access);
  ~OpenedRegKey();
  OpenedRegKey(const OpenedRegKey&) = delete;
  OpenedRegKey& operator=(const OpenedRegKey&) = delete;
  long Code() const { return code_; }
  bool Open() const { return code_ == win::kSuccess; }
  RegHandle Handle() const { return handle_; }

 private:
  IRegistry& registry_;
  RegHandle handle_ = 0;
  long code_ = win::kSuccess;
};

// A value as the key holds it; nothing where it has none or the key is not open (0).
std::optional<RegData> ReadRegValue(IRegistry& registry, RegHandle key, std::string_view name);

// Who may make a change on Windows: the user's own keys (HKCU, the classes kept there) or the
// machine's (HKLM, the classes kept there, HKU), which need an administrator.
enum class ChangeScope { User, Machine };

// The changes of one scope, in the order of the whole.
RegChangeSet ChangesOfScope(IRegistry& registry, const RegChangeSet& changes, ChangeScope scope);
ChangeScope ScopeOf(IRegistry& registry, RootKey root, std::string_view path);

// The key as regedit names it, root first ("HKEY_LOCAL_MACHINE\SOFTWARE\...").
std::string RegKeyName(RootKey root, std::string_view path);
const char* RootKeyName(RootKey root);
std::optional<RootKey> RootKeyFromName(std::string_view name);

// Why changes could not be made: the key, the Win32 code and the store's own explanation.
struct RegRefusal {
  std::string key;
  long code = win::kSuccess;
  std::string detail;
  // The key is the machine's, not the user's own: on Windows an administrator may change it.
  bool machineWide = false;
  // Set when a change refused half-way could not all be put back.
  bool restoreFailed = false;
  explicit operator bool() const { return code != win::kSuccess; }
};

// Asks the store, before anything is written, for every right the changes need: setting values
// on the keys that stay, adding subkeys below the nearest key that exists for those created,
// deleting those deleted. The first key that refuses, or nothing.
RegRefusal CheckWriteAccess(IRegistry& registry, const RegChangeSet& changes);

// How the store differs from what the changes expect to find (their before-state), one line per
// key or value in words for the user; empty when it matches.
std::vector<std::string> Differences(IRegistry& registry, const RegChangeSet& changes);

// Makes the changes: keys created parents first, values written, keys deleted deepest first. On
// a refusal it puts back, newest first, what it had already changed and returns the refusal, so
// that a store without transactions (the Windows registry) is left as it was.
RegRefusal ApplyChanges(IRegistry& registry, const RegChangeSet& changes);

}  // namespace tovalin
