// The registry of a Wine prefix, read from its hive files and saved back to them once per
// action (a single change outside any action is an action of its own). It shows the view a 32-bit
// program has: in a 64-bit prefix, keys that hold a "Wow6432Node" subkey lead into it, and the
// prefix's symbolic link keys are followed, as wineserver does for a 32-bit process.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "support/platform/wine/WineServer.h"
#include "support/regfile/WineRegFile.h"
#include "support/registry/TreeRegistry.h"

namespace tovalin {

enum class WineHiveId { Machine, User, DefaultUser };

class WineRegistry : public TreeRegistry {
 public:
  // Loads system.reg, user.reg and userdef.reg of the prefix. Throws WinePrefixError for a
  // missing or unreadable file and RegFileError for a malformed one. `clock` gives the FILETIME
  // stamped on changed keys (the current time when empty).
  WineRegistry(const std::string& prefixDir, bool writable,
               std::function<std::uint64_t()> clock = {});
  ~WineRegistry() override;
  WineRegistry(const WineRegistry&) = delete;
  WineRegistry& operator=(const WineRegistry&) = delete;

  // Changes made outside BeginChanges/CommitChanges are each an action of their own.
  long CreateKey(RegHandle parent, std::string_view subPath, std::uint32_t access,
                 RegHandle& result) override;
  long SetValue(RegHandle key, std::string_view name, std::uint32_t type,
                const std::vector<std::uint8_t>& data) override;
  long DeleteValue(RegHandle key, std::string_view name) override;
  long DeleteKey(RegHandle parent, std::string_view subPath) override;

  // An action takes the prefix's lock (shared by every Tovalin on the prefix; a second one
  // waits for the first, up to LockTimeout), reads again the hives that changed on disk, and
  // at Commit saves each hive it changed once, all written before any is replaced. Refusals:
  // kAccessDenied (read-only, no usable lock file), kBusy (Wine runs in the prefix), kTimeout and
  // kLockViolation (the lock), kFileNotFound and kRegistryIoFailed (a hive gone or unreadable),
  // kDiskFull, kAccessDenied and kWriteFault (a failed save), each with LastErrorDetail.
  long BeginChanges() override;
  long CommitChanges() override;
  void RollbackChanges() override;
  void SetLockTimeout(std::chrono::milliseconds timeout) { lockTimeout_ = timeout; }
  // Where the lock lives; a file of its own so that the hives can be replaced under it.
  static std::string LockPath(const std::string& prefixDir);

  // A 64-bit prefix: the 32-bit view differs from the files' own layout.
  bool Win64() const { return win64_; }
  // The user's security id, as user.reg names it ("S-1-5-21-0-0-0-1000").
  const std::string& UserSid() const { return userSid_; }
  const std::string& HivePath(WineHiveId hive) const { return Hive(hive).path; }
  // A key by its path in the file, nothing redirected and no link followed.
  const RegNode* RawFind(WineHiveId hive, std::string_view path) const;
  // Counts changes and reloads, for whoever caches what the registry says.
  std::uint64_t Generation() const { return generation_; }
  // Reads again, outside an action, every hive whose file changed on disk since it was read,
  // for showing states; true when one was. A file that cannot be read now keeps the view as it
  // was (the next change reports it).
  bool Refresh() override;

 protected:
  // The 32-bit view: in a 64-bit prefix a key's "Wow6432Node" subkey stands in for it, and a
  // link key for its target.
  RegNode* Redirect(RegNode* node, std::string_view next) const override;
  RegNode* Follow(RegNode* node) const override;
  std::shared_ptr<RegNode> Share(RegNode* node) const override;
  // HKEY_USERS\.Default hangs below none of the roots.
  std::string NativeNodeName(const RegNode& node) const override;

 private:
  struct FileStamp {
    std::uint64_t dev = 0, ino = 0, size = 0;
    std::int64_t mtimeSec = 0, mtimeNsec = 0;
    bool operator==(const FileStamp&) const = default;
  };
  struct HiveFile {
    std::string path;
    std::string fileName;  // "system.reg", for messages
    WineHive hive;
    std::optional<FileStamp> stamp;
    bool dirty = false;
  };

  HiveFile& Hive(WineHiveId id) { return hives_[static_cast<int>(id)]; }
  const HiveFile& Hive(WineHiveId id) const { return hives_[static_cast<int>(id)]; }
  static std::optional<FileStamp> StampOf(const std::string& path);
  WineHive LoadHive(const HiveFile& file) const;
  // Puts a freshly read hive in place and moves the open handles over to its keys.
  void Install(HiveFile& file, WineHive hive);
  void RebuildRoots();
  void RemapHandles(const RegNode* oldRoot, const std::shared_ptr<RegNode>& newRoot);
  HiveFile* HiveOf(const RegNode& node);

  // A link key stands for its target; nullptr when the target is missing.
  RegNode* FollowLink(RegNode* node, int depth) const;

  // Fails with `code`, explained by `why`.
  long Refuse(long code, std::string why) const;
  long CheckWritable();
  // Runs one change, inside the current action or as an action of its own.
  template <typename Change>
  long Mutate(Change&& change);
  // Reads again every hive whose file changed on disk since it was read; `changed` learns
  // whether one was.
  long ReadChangedHives(bool* changed = nullptr);
  // Saves every changed hive; on failure forgets the action's changes.
  long SaveDirty();
  void DiscardUnsaved();
  // Takes the prefix's lock, waiting up to lockTimeout_.
  long Lock();
  void Unlock();
  // Temporary files of saves that never finished: with the lock held no save is under way.
  void RemoveLeftovers() const;

  std::array<HiveFile, 3> hives_;
  std::shared_ptr<RegNode> usersRoot_;
  std::string userSid_;
  bool win64_ = false;
  bool writable_ = false;
  WineServerProbe server_;
  std::optional<bool> serverRunning_;  // asked once per change
  std::function<std::uint64_t()> clock_;
  std::uint64_t generation_ = 0;
  std::string prefixDir_;
  int actionDepth_ = 0;
  int lockFd_ = -1;
  std::chrono::milliseconds lockTimeout_{30000};
};

// Messages of the refusals.
std::string WineServerRunningMessage();
std::string WineReadOnlyMessage();
std::string WineLockTimeoutMessage(const std::string& prefixDir, std::chrono::milliseconds waited);

}  // namespace tovalin
