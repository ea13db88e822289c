// Registry access for the whole program. One object serves one probe or one change: construct,
// select a root, open a key, read or write values on it, close, drop.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "support/action/RegChanges.h"
#include "support/platform/Platform.h"

namespace tovalin {

class ERegistryException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A value whose type or size a typed read does not take: the machine's data is odd, while the
// registry itself works, so a scan may go on without the value.
class ERegistryDataTypeException : public ERegistryException {
 public:
  using ERegistryException::ERegistryException;
};

// Changes the registry refused as a whole, before or while they were made: nothing of them
// stays. Which key refused and why.
class ERegistryRefusedException : public ERegistryException {
 public:
  ERegistryRefusedException(RegRefusal refusal, std::string_view why);
  const RegRefusal& Refusal() const { return refusal_; }
  // Refused for want of rights on a key of the machine's: an administrator may make it.
  // A store that refused for reasons of its own (a read-only prefix) says why in `detail`.
  bool NeedsAdministrator() const {
    return refusal_.code == win::kAccessDenied && refusal_.machineWide && refusal_.detail.empty();
  }

 private:
  RegRefusal refusal_;
};

// Value classification used by every typed read.
enum class TRegDataType { Unknown, String, ExpandString, Integer, Binary };

struct TRegDataInfo {
  TRegDataType type = TRegDataType::Unknown;
  std::uint32_t size = 0;
};

// The changes made while it lives are one action: saved together by Commit(), forgotten when
// it is dropped without (an error left the action half done). A store that refuses to begin or
// to save raises ERegistryException with its explanation.
class TZelChanges {
 public:
  explicit TZelChanges(IRegistry& registry);
  ~TZelChanges() {
    if (!finished_) registry_.RollbackChanges();
  }
  TZelChanges(const TZelChanges&) = delete;
  TZelChanges& operator=(const TZelChanges&) = delete;
  void Commit();

 private:
  IRegistry& registry_;
  bool finished_ = false;
};

// Makes an action's registry changes as one action (TZelChanges): the registry must still hold
// what the changes expect to find, every right is asked for before the first write, and a write
// refused half-way is put back. Raises ERegistryRefusedException (nothing changed; `errorText`
// gives the words for its code) or ERegistryException (the registry changed meanwhile; the
// store would not begin or save).
// `beforeWrites` is told once the rights are checked and before the first write.
void PerformChanges(IRegistry& registry, const RegChangeSet& changes,
                    const std::function<std::string(long)>& errorText,
                    const std::function<void()>& beforeWrites = {});

class TZelRegistry {
 public:
  explicit TZelRegistry(IRegistry& registry);
  ~TZelRegistry();
  TZelRegistry(const TZelRegistry&) = delete;
  TZelRegistry& operator=(const TZelRegistry&) = delete;

  // --- the runtime's registry operations ---
  void SetRoot(RootKey root);
  RootKey Root() const { return root_; }
  bool OpenKeyRead(std::string_view path);
  bool OpenKeyWrite(std::string_view path, bool canCreate);
  void CloseCurrent();
  bool HasKey(std::string_view path);
  bool HasValue(std::string_view name);
  bool EraseKey(std::string_view path);
  bool EraseValue(std::string_view name);
  std::int32_t ReadDword(std::string_view name);
  void WriteDword(std::string_view name, std::int32_t value);
  void RenameKey(std::string_view oldPath, std::string_view newPath);

  bool ValueKind(std::string_view name, TRegDataInfo& info);
  std::string ReadSz(std::string_view name);
  void WriteSz(std::string_view name, std::string_view text);
  // Reads at most bufferSize bytes; returns the data size, 0 if the value cannot be queried.
  // Raises the data-type error for a non-binary value or one larger than the buffer.
  std::uint32_t ReadBytes(std::string_view name, std::vector<std::uint8_t>& buffer,
                          std::uint32_t bufferSize);
  void WriteBytes(std::string_view name, const std::vector<std::uint8_t>& data);
  void MakeKey(std::string_view path);

  // --- the four added operations ---
  std::vector<std::string> ListSubKeys();
  // The subkeys' names one at a time, in the order ListSubKeys gives them, until `visit` returns
  // false. A probe that looks into each key as it is named finds it still in the cache, where a
  // list of tens of thousands would have pushed it out again.
  void ForEachSubKey(const std::function<bool(const std::string&)>& visit);
  std::vector<std::string> ListValueNames();
  std::string ReadText(std::string_view name);
  void WriteText(std::string_view name, std::string_view text);

  // --- state, for tests and callers that need it ---
  bool HasCurrentKey() const { return current_ != 0; }
  std::uint32_t Access() const { return access_; }
  const std::string& CurrentPath() const { return currentPath_; }
  // The current key as regedit names it, root first ("HKEY_CURRENT_USER\Software\...").
  std::string KeyName() const;
  // The key a path names, as OpenKeyRead would take it, named the same way; it need not exist.
  std::string KeyName(std::string_view path) const;

 private:
  // Where a path is opened from (root or current key) and the path relative to it.
  RegHandle BaseFor(std::string_view path, std::string_view& relative) const;
  std::string FullPath(std::string_view path) const;
  void ChangeKey(RegHandle key, std::string path);
  void CopyValues(RegHandle from, RegHandle to);
  void CopyTree(RegHandle from, RegHandle to);
  bool EraseTree(RegHandle base, std::string_view relative);
  // The result of a change; a refusal the store explains raises with its explanation.
  long Checked(long result) const;

  IRegistry& registry_;
  RootKey root_ = RootKey::CurrentUser;
  RegHandle current_ = 0;
  std::string currentPath_;
  std::uint32_t access_ = win::kKeyAllAccess;
};

// A value's name as regedit shows it: "(既定)" for the unnamed one.
std::string RegistryValueName(std::string_view name);
// Message formats of the registry errors ("%s" = the value or key name). A wrong type names the
// key too: value names such as "Path" or the unnamed value recur in many keys.
std::string RegistryDataTypeMessage(std::string_view key, std::string_view name);
std::string RegistryGetMessage(std::string_view name);
std::string RegistrySetMessage(std::string_view name);
std::string RegistryCreateKeyMessage(std::string_view name);
// A store that refused an action without saying why.
std::string RegistryRefusedMessage(long code);

}  // namespace tovalin
