#include "support/platform/wine/WineRegistry.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

#include "support/Text.h"
#include "support/platform/wine/AtomicFile.h"
#include "support/platform/wine/WineOpenOptions.h"
#include "support/regfile/RegFileInput.h"

namespace tovalin {

namespace {

constexpr std::uint32_t kRegLink = 6;
constexpr int kMaxLinkDepth = 8;

std::shared_ptr<RegNode> PlainWalk(std::shared_ptr<RegNode> node, std::string_view path) {
  for (const std::string& part : SplitPath(path)) {
    if (!node) return nullptr;
    node = ChildPtr(*node, part);
  }
  return node;
}

const RegNode* TopOf(const RegNode& node) {
  const RegNode* top = &node;
  while (top->parent != nullptr) top = top->parent;
  return top;
}

// The Win32 code closest to why a file could not be written.
long WriteErrorCode(const std::error_code& error) {
  switch (error.value()) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return win::kDiskFull;
    case EACCES:
    case EPERM:
    case EROFS:
      return win::kAccessDenied;
    default:
      return win::kWriteFault;
  }
}

std::string LastComponent(std::string_view path) {
  const std::vector<std::string> parts = SplitPath(path);
  return parts.empty() ? std::string() : parts.back();
}

// What stands at the lock file's place instead of a plain file, for the message.
const char* SpecialFileKind(mode_t mode) {
  if (S_ISLNK(mode)) return "シンボリックリンク";
  if (S_ISFIFO(mode)) return "名前付きパイプ (FIFO)";
  if (S_ISDIR(mode)) return "フォルダー";
  if (S_ISSOCK(mode)) return "ソケット";
  if (S_ISCHR(mode) || S_ISBLK(mode)) return "デバイス";
  return "特殊なファイル";
}

// Opens the lock file, making it when missing; -1 with `why` (a sentence) when it cannot be. Only
// a plain file will do: a FIFO would block the open for ever, and a link (to nowhere, say) would
// have root make or open a file wherever it points.
int OpenLockFile(const std::string& prefixDir, const std::string& path, std::string& why) {
  // Readable is enough for flock; a lock file left by another user stays usable.
  const int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
  const int error = errno;
  struct stat st {};
  const bool plain = fd >= 0 ? fstat(fd, &st) == 0 && S_ISREG(st.st_mode)
                             : lstat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode);
  if (!plain) {
    if (fd >= 0) close(fd);
    why = "プレフィックス " + prefixDir + " のロックファイル " + path +
          " が通常のファイルではない（" + SpecialFileKind(st.st_mode) +
          "）ため、レジストリを変更できません。これを取り除いてから、もう一度実行してください。";
    return -1;
  }
  if (fd < 0) {
    why = "プレフィックス " + prefixDir + " のロックファイル " + path +
          " を作れないため、レジストリを変更できません（" + std::generic_category().message(error) +
          "）。";
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

std::string WineServerRunningMessage() {
  return "Wine のプログラムが実行中のため、レジストリを変更できません。"
         "このプレフィックスのプログラムをすべて終了してから、もう一度実行してください。";
}

std::string WineReadOnlyMessage() {
  return "Wine のプレフィックスを読み取り専用で開いているため、レジストリを変更できません。";
}

std::string WineLockTimeoutMessage(const std::string& prefixDir, std::chrono::milliseconds waited) {
  return "別の Tovalin がプレフィックス " + prefixDir + " のレジストリを変更中です。" +
         std::to_string((waited.count() + 999) / 1000) +
         " 秒待ちましたが終わらないため、変更を取りやめました。しばらくしてから、もう一度実行して"
         "ください。";
}

WineRegistry::WineRegistry(const std::string& prefixDir, bool writable,
                           std::function<std::uint64_t()> clock)
    : writable_(writable), server_(prefixDir), clock_(std::move(clock)), prefixDir_(prefixDir) {
  const char* names[3] = {"system.reg", "user.reg", "userdef.reg"};
  for (int i = 0; i < 3; ++i) {
    hives_[i].fileName = names[i];
    hives_[i].path = prefixDir + "/" + names[i];
  }
  for (HiveFile& file : hives_) {
    file.stamp = StampOf(file.path);
    if (!file.stamp) {
      const int error = errno;  // StampOf's stat left it
      struct stat link {};
      // Only a name that is not there at all means a prefix Wine has not made yet; a link to
      // nowhere, a loop or a folder that may not be read is something else to put right.
      if (error != ENOENT || lstat(file.path.c_str(), &link) == 0) {
        throw WinePrefixError("レジストリファイル " + FileProblemMessage(file.path, error));
      }
      throw WinePrefixError("Wine のプレフィックス " + prefixDir + " にレジストリファイル " +
                            file.fileName +
                            " がありません。一度 Wine のプログラムを起動して、プレフィックスを"
                            "作成してください。");
    }
    file.hive = LoadHive(file);
  }

  const WineHive& machine = Hive(WineHiveId::Machine).hive;
  if (!EqualsNoCase(machine.relative, "REGISTRY\\Machine")) {
    throw WinePrefixError(Hive(WineHiveId::Machine).path +
                          " は HKEY_LOCAL_MACHINE のレジストリファイルではありません。");
  }
  const WineHive& user = Hive(WineHiveId::User).hive;
  if (!StartsWithNoCase(user.relative, "REGISTRY\\User\\")) {
    throw WinePrefixError(Hive(WineHiveId::User).path +
                          " はユーザーのレジストリファイルではありません。");
  }
  userSid_ = LastComponent(user.relative);
  // Files from before "#arch=" existed: a 64-bit prefix shows itself by its 32-bit branch.
  win64_ = machine.arch.empty() ? PlainWalk(machine.root, "Software\\Wow6432Node") != nullptr
                                : machine.arch == "win64";

  usersRoot_ = std::make_shared<RegNode>();
  // HKEY_USERS holds the hives; nothing can be created beside them.
  usersRoot_->grantedAccess = win::kKeyRead;
  RebuildRoots();

  writeGuard = [this](std::string&) { return CheckWritable(); };
  onChange = [this](RegNode& node) {
    ++generation_;
    if (HiveFile* file = HiveOf(node)) file->dirty = true;
  };

  if (writable_) {
    // Only when no other Tovalin is saving: its temporary files are not leftovers. A lock file
    // that will not do is reported by the first change.
    std::string unused;
    lockFd_ = OpenLockFile(prefixDir_, LockPath(prefixDir_), unused);
    if (lockFd_ >= 0 && flock(lockFd_, LOCK_EX | LOCK_NB) == 0) RemoveLeftovers();
    Unlock();
  }
}

WineRegistry::~WineRegistry() {
  Unlock();
}

std::string WineRegistry::LockPath(const std::string& prefixDir) {
  return prefixDir + "/.tovalin.lock";
}

std::optional<WineRegistry::FileStamp> WineRegistry::StampOf(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::nullopt;
  FileStamp stamp;
  stamp.dev = static_cast<std::uint64_t>(st.st_dev);
  stamp.ino = static_cast<std::uint64_t>(st.st_ino);
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  stamp.mtimeSec = st.st_mtim.tv_sec;
  stamp.mtimeNsec = st.st_mtim.tv_nsec;
  return stamp;
}

WineHive WineRegistry::LoadHive(const HiveFile& file) const {
  try {
    return LoadWineRegistryFile(file.path);
  } catch (const RegFileError& error) {
    if (error.line != 0) throw;
    // The message names the file and says what is wrong with it.
    throw WinePrefixError("レジストリファイル " + std::string(error.what()));
  }
}

void WineRegistry::RebuildRoots() {
  HiveFile& machine = Hive(WineHiveId::Machine);
  HiveFile& user = Hive(WineHiveId::User);
  HiveFile& defaultUser = Hive(WineHiveId::DefaultUser);
  roots_[static_cast<int>(RootKey::LocalMachine)] = machine.hive.root;
  roots_[static_cast<int>(RootKey::CurrentUser)] = user.hive.root;

  user.hive.root->name = userSid_;
  defaultUser.hive.root->name = ".Default";
  usersRoot_->children.clear();
  usersRoot_->children.push_back(defaultUser.hive.root);
  usersRoot_->children.push_back(user.hive.root);
  if (CompareNoCase(userSid_, ".Default") < 0) {
    std::swap(usersRoot_->children[0], usersRoot_->children[1]);
  }
  roots_[static_cast<int>(RootKey::Users)] = usersRoot_;

  // HKEY_CLASSES_ROOT is Software\Classes of the machine, with no per-user classes merged in
  // (Wine 8 does not merge them); a 32-bit program sees the classes' own 32-bit branch.
  std::shared_ptr<RegNode> classes = PlainWalk(machine.hive.root, "Software\\Classes");
  if (!classes) {
    RegNode* software = machine.hive.root->AddChild("Software");
    software->AddChild("Classes");
    classes = ChildPtr(*software, "Classes");
  }
  if (win64_) {
    if (std::shared_ptr<RegNode> wow = ChildPtr(*classes, "Wow6432Node")) classes = wow;
  }
  roots_[static_cast<int>(RootKey::ClassesRoot)] = classes;
}

WineRegistry::HiveFile* WineRegistry::HiveOf(const RegNode& node) {
  const RegNode* top = TopOf(node);
  for (HiveFile& file : hives_) {
    if (file.hive.root.get() == top) return &file;
  }
  return nullptr;
}

const RegNode* WineRegistry::RawFind(WineHiveId hive, std::string_view path) const {
  return PlainWalk(Hive(hive).hive.root, path).get();
}

// --- the 32-bit view ---

RegNode* WineRegistry::Redirect(RegNode* node, std::string_view next) const {
  if (!win64_ || EqualsNoCase(next, "Wow6432Node")) return node;
  RegNode* wow = node->FindChildAside("Wow6432Node");
  if (wow == nullptr) return node;
  RegNode* target = Follow(wow);
  return target != nullptr ? target : node;
}

RegNode* WineRegistry::Follow(RegNode* node) const {
  return FollowLink(node, 0);
}

RegNode* WineRegistry::FollowLink(RegNode* node, int depth) const {
  if (node == nullptr || !node->link) return node;
  if (depth >= kMaxLinkDepth) return nullptr;
  const RegValue* value = node->FindValue("SymbolicLinkValue");
  if (value == nullptr || value->type != kRegLink) return nullptr;
  std::u16string target16 = Utf16FromBytes(value->data.data(), value->data.size());
  while (!target16.empty() && target16.back() == u'\0') target16.pop_back();
  const std::vector<std::string> parts = SplitPath(Utf16ToUtf8(target16));
  // "\Registry\Machine\…" or "\Registry\User\<name>\…".
  if (parts.size() < 2 || !EqualsNoCase(parts[0], "Registry")) return nullptr;
  RegNode* current = nullptr;
  std::size_t next = 2;
  if (EqualsNoCase(parts[1], "Machine")) {
    current = Hive(WineHiveId::Machine).hive.root.get();
  } else if (EqualsNoCase(parts[1], "User") && parts.size() >= 3) {
    current = usersRoot_->FindChild(parts[2]);
    next = 3;
  }
  for (; current != nullptr && next < parts.size(); ++next) {
    current = FollowLink(current->FindChild(parts[next]), depth + 1);
  }
  return current;
}

std::shared_ptr<RegNode> WineRegistry::Share(RegNode* node) const {
  // The hives' own roots hang below no key.
  for (const HiveFile& file : hives_) {
    if (file.hive.root.get() == node) return file.hive.root;
  }
  return TreeRegistry::Share(node);
}

std::string WineRegistry::NativeNodeName(const RegNode& node) const {
  if (TopOf(node) != Hive(WineHiveId::DefaultUser).hive.root.get()) {
    return TreeRegistry::NativeNodeName(node);
  }
  const std::string path = node.Path();
  return "HKEY_USERS\\.Default" + (path.empty() ? std::string() : "\\" + path);
}

// --- changes ---

long WineRegistry::Refuse(long code, std::string why) const {
  lastErrorDetail_ = std::move(why);
  return code;
}

long WineRegistry::CheckWritable() {
  if (!writable_) return Refuse(win::kAccessDenied, WineReadOnlyMessage());
  if (!serverRunning_) serverRunning_ = server_.Running();
  if (*serverRunning_) return Refuse(win::kBusy, WineServerRunningMessage());
  return win::kSuccess;
}

long WineRegistry::Lock() {
  std::string why;
  lockFd_ = OpenLockFile(prefixDir_, LockPath(prefixDir_), why);
  if (lockFd_ < 0) return Refuse(win::kAccessDenied, std::move(why));
  struct stat prefix {};
  struct stat lock {};
  // Made by root for the user's prefix: it stays the user's, like the hives.
  if (stat(prefixDir_.c_str(), &prefix) == 0 && fstat(lockFd_, &lock) == 0 &&
      (lock.st_uid != prefix.st_uid || lock.st_gid != prefix.st_gid) && geteuid() == 0) {
    [[maybe_unused]] const int ignored = fchown(lockFd_, prefix.st_uid, prefix.st_gid);
  }
  const auto start = std::chrono::steady_clock::now();
  while (flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error == EINTR) continue;
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    if (error != EWOULDBLOCK) {
      Unlock();
      return Refuse(win::kLockViolation, "プレフィックス " + prefixDir_ +
                                             " をロックできないため、" +
                                             "レジストリを変更できません（" +
                                             std::generic_category().message(error) + "）。");
    }
    if (waited >= lockTimeout_) {
      Unlock();
      return Refuse(win::kTimeout, WineLockTimeoutMessage(prefixDir_, waited));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return win::kSuccess;
}

void WineRegistry::Unlock() {
  if (lockFd_ >= 0) close(lockFd_);  // closing releases the lock
  lockFd_ = -1;
}

void WineRegistry::RemoveLeftovers() const {
  DIR* dir = opendir(prefixDir_.c_str());
  if (dir == nullptr) return;
  while (const dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    const bool ours = name.find(kAtomicTempMarker) != std::string::npos &&
                      (name.starts_with("system.reg") || name.starts_with("user.reg") ||
                       name.starts_with("userdef.reg"));
    if (!ours) continue;
    const std::string path = prefixDir_ + "/" + name;
    struct stat st {};
    if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) unlink(path.c_str());
  }
  closedir(dir);
}

long WineRegistry::BeginChanges() {
  lastErrorDetail_.clear();
  if (actionDepth_++ > 0) return win::kSuccess;
  serverRunning_.reset();
  if (!writable_) return win::kSuccess;  // every change is refused anyway
  long result = Lock();
  if (result == win::kSuccess) {
    RemoveLeftovers();
    result = ReadChangedHives();
  }
  if (result != win::kSuccess) {
    actionDepth_ = 0;
    Unlock();
  }
  return result;
}

long WineRegistry::CommitChanges() {
  lastErrorDetail_.clear();
  if (actionDepth_ == 0 || --actionDepth_ > 0) return win::kSuccess;
  const long result = SaveDirty();
  Unlock();
  return result;
}

void WineRegistry::RollbackChanges() {
  if (actionDepth_ == 0 || --actionDepth_ > 0) return;
  DiscardUnsaved();
  Unlock();
}

template <typename Change>
long WineRegistry::Mutate(Change&& change) {
  lastErrorDetail_.clear();
  if (actionDepth_ > 0) return change();
  if (const long begun = BeginChanges(); begun != win::kSuccess) return begun;
  long result = win::kSuccess;
  try {
    result = change();
  } catch (...) {
    RollbackChanges();
    throw;
  }
  // A change refused half-way may have made keys on its way: they are kept, as Windows keeps
  // them, and the refusal's explanation outlives the save.
  std::string why = std::move(lastErrorDetail_);
  if (const long committed = CommitChanges(); committed != win::kSuccess) return committed;
  lastErrorDetail_ = std::move(why);
  return result;
}

long WineRegistry::SaveDirty() {
  const std::uint64_t now = clock_ ? clock_() : FileTimeNow();
  std::vector<std::pair<HiveFile*, std::unique_ptr<FileReplacement>>> replacements;
  HiveFile* current = nullptr;
  try {
    // Every changed hive is written out before the first is replaced: a full disk or a dead
    // process leaves the old files.
    for (HiveFile& file : hives_) {
      if (!file.dirty) continue;
      current = &file;
      const WineHivePieces pieces = FormatWineRegistryAsSaved(file.hive, now);
      replacements.emplace_back(&file, std::make_unique<FileReplacement>(file.path, pieces));
    }
    for (auto& [file, replacement] : replacements) {
      current = file;
      replacement->Replace();
    }
  } catch (const std::system_error& error) {
    DiscardUnsaved();
    return Refuse(WriteErrorCode(error.code()),
                  "レジストリファイル " + current->path + " を保存できませんでした（" +
                      error.code().message() + "）。変更は取り消されました。");
  }
  for (HiveFile& file : hives_) {
    if (!file.dirty) continue;
    file.dirty = false;
    file.stamp = StampOf(file.path);
  }
  return win::kSuccess;
}

void WineRegistry::DiscardUnsaved() {
  for (HiveFile& file : hives_) {
    if (!file.dirty) continue;
    file.dirty = false;
    try {
      file.stamp = StampOf(file.path);
      Install(file, LoadHive(file));
    } catch (...) {
      // The file cannot be read now: the next change tries again.
      file.stamp.reset();
    }
  }
}

long WineRegistry::ReadChangedHives(bool* changed) {
  for (HiveFile& file : hives_) {
    const std::optional<FileStamp> now = StampOf(file.path);
    if (now && file.stamp && *now == *file.stamp) continue;
    if (!now) {
      return Refuse(win::kFileNotFound, "レジストリファイル " + file.path +
                                            " が見つからないため、レジストリを変更できません。");
    }
    try {
      WineHive hive = LoadHive(file);
      file.stamp = now;
      Install(file, std::move(hive));
      if (changed != nullptr) *changed = true;
    } catch (const std::exception& error) {
      return Refuse(win::kRegistryIoFailed,
                    "レジストリファイル " + file.path +
                        " を読み直せないため、レジストリを変更できません（" + error.what() +
                        "）。");
    }
  }
  return win::kSuccess;
}

bool WineRegistry::Refresh() {
  // Inside an action the tree holds changes not yet saved: reading a file again would drop them.
  if (actionDepth_ > 0) return false;
  // A file that cannot be read now keeps the view as it was: the next change reports it, so
  // this one's explanation is not kept either.
  const std::string kept = lastErrorDetail_;
  bool changed = false;
  const long result = ReadChangedHives(&changed);
  lastErrorDetail_ = kept;
  return result == win::kSuccess && changed;
}

void WineRegistry::Install(HiveFile& file, WineHive hive) {
  const std::shared_ptr<RegNode> oldRoot = file.hive.root;
  file.hive = std::move(hive);
  RebuildRoots();
  RemapHandles(oldRoot.get(), file.hive.root);
  ++generation_;
}

void WineRegistry::RemapHandles(const RegNode* oldRoot, const std::shared_ptr<RegNode>& newRoot) {
  for (auto& [handle, state] : handles_) {
    RegNode& node = *state.node;
    if (node.deleted || TopOf(node) != oldRoot) continue;
    if (std::shared_ptr<RegNode> same = PlainWalk(newRoot, node.Path())) {
      state.node = std::move(same);
    } else {
      // Gone from the file: the handle now stands for a deleted key. It no longer hangs on
      // the old tree, which is released.
      node.MarkDeleted();
      node.parent = nullptr;
    }
  }
}

long WineRegistry::CreateKey(RegHandle parent, std::string_view subPath, std::uint32_t access,
                             RegHandle& result) {
  return Mutate([&] { return TreeRegistry::CreateKey(parent, subPath, access, result); });
}

long WineRegistry::SetValue(RegHandle key, std::string_view name, std::uint32_t type,
                            const std::vector<std::uint8_t>& data) {
  return Mutate([&] { return TreeRegistry::SetValue(key, name, type, data); });
}

long WineRegistry::DeleteValue(RegHandle key, std::string_view name) {
  return Mutate([&] { return TreeRegistry::DeleteValue(key, name); });
}

long WineRegistry::DeleteKey(RegHandle parent, std::string_view subPath) {
  return Mutate([&] { return TreeRegistry::DeleteKey(parent, subPath); });
}

}  // namespace tovalin
