// The machine Tovalin inspects, as the core sees it. Every backend (Windows native, a Wine prefix,
// regedit exports, an in-memory world for tests) implements these interfaces; the core reaches
// the machine only through them, so each test can build a world of its own.
//
// The calls mirror the Win32 functions they stand for: results are Win32 error codes, names are
// UTF-8, and registry text data is kept as the registry keeps it (UTF-16LE with its NUL unit).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovalin {

// Win32 error codes the core depends on.
namespace win {
constexpr long kSuccess = 0;
constexpr long kFileNotFound = 2;
constexpr long kPathNotFound = 3;
constexpr long kAccessDenied = 5;
constexpr long kInvalidHandle = 6;
constexpr long kWriteFault = 29;
constexpr long kLockViolation = 33;
constexpr long kNotSupported = 50;
constexpr long kFileExists = 80;
constexpr long kInvalidParameter = 87;
constexpr long kDiskFull = 112;
constexpr long kBusy = 170;
constexpr long kMoreData = 234;
constexpr long kNoMoreItems = 259;
constexpr long kRegistryIoFailed = 1016;
constexpr long kKeyDeleted = 1018;
constexpr long kCancelled = 1223;
constexpr long kNotAllAssigned = 1300;
constexpr long kTimeout = 1460;

// Registry value types.
constexpr std::uint32_t kRegNone = 0;
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

// Registry access rights.
constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
constexpr std::uint32_t kKeyNotify = 0x0010;
constexpr std::uint32_t kKeyCreateLink = 0x0020;
constexpr std::uint32_t kDelete = 0x00010000;
constexpr std::uint32_t kReadControl = 0x00020000;
constexpr std::uint32_t kKeyRead = 0x20019;
constexpr std::uint32_t kKeyReadNoNotify = 0x20009;
constexpr std::uint32_t kKeyWrite = 0x20006;
constexpr std::uint32_t kKeyAllAccess = 0xF003F;

// File attributes.
constexpr std::uint32_t kFileAttributeReadOnly = 0x01;
constexpr std::uint32_t kFileAttributeHidden = 0x02;
constexpr std::uint32_t kFileAttributeSystem = 0x04;
constexpr std::uint32_t kFileAttributeVolumeLabel = 0x08;
constexpr std::uint32_t kFileAttributeDirectory = 0x10;
constexpr std::uint32_t kFileAttributeArchive = 0x20;
constexpr std::uint32_t kFileAttributeNormal = 0x80;
// A symbolic link or junction: the file or folder it shows lives elsewhere.
constexpr std::uint32_t kFileAttributeReparsePoint = 0x400;
constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFF;

// Process rights and codes.
constexpr std::uint32_t kProcessQueryInformation = 0x0400;
constexpr std::uint32_t kProcessVmRead = 0x0010;
constexpr std::uint32_t kProcessAllAccess = 0x1F0FFF;
constexpr std::uint32_t kStillActive = 259;
constexpr std::uint32_t kPlatformWin32Windows = 1;
constexpr std::uint32_t kPlatformWin32Nt = 2;
}  // namespace win

enum class RootKey { ClassesRoot, CurrentUser, LocalMachine, Users };

// An open key. 0 is "no key". Backends hand out their own numbers; the four roots have fixed ones.
using RegHandle = std::uint64_t;

class IRegistry {
 public:
  virtual ~IRegistry() = default;

  // The handle of a predefined root; it needs no closing.
  virtual RegHandle Root(RootKey root) = 0;

  // RegOpenKeyEx: subPath is relative to parent, backslash-separated, may be empty (opens the
  // parent itself again). Fails with kAccessDenied when the key does not grant `access`.
  virtual long OpenKey(RegHandle parent, std::string_view subPath, std::uint32_t access,
                       RegHandle& result) = 0;
  // RegCreateKeyEx: opens or creates every missing key along subPath.
  virtual long CreateKey(RegHandle parent, std::string_view subPath, std::uint32_t access,
                         RegHandle& result) = 0;
  virtual long CloseKey(RegHandle key) = 0;

  // RegEnumKeyEx/RegEnumValue with a name buffer of maxUnits UTF-16 units including the NUL:
  // a longer name gives kMoreData; past the end gives kNoMoreItems.
  virtual long EnumKey(RegHandle key, std::uint32_t index, std::uint32_t maxUnits,
                       std::string& name) = 0;
  virtual long EnumValue(RegHandle key, std::uint32_t index, std::uint32_t maxUnits,
                         std::string& name) = 0;
  // RegQueryInfoKey: numbers of subkeys and values.
  virtual long QueryInfoKey(RegHandle key, std::uint32_t& subKeys, std::uint32_t& values) = 0;

  // RegQueryValueEx: name "" is the default value. data may be null to ask for type and size.
  virtual long QueryValue(RegHandle key, std::string_view name, std::uint32_t& type,
                          std::vector<std::uint8_t>* data) = 0;
  // RegSetValueEx.
  virtual long SetValue(RegHandle key, std::string_view name, std::uint32_t type,
                        const std::vector<std::uint8_t>& data) = 0;
  virtual long DeleteValue(RegHandle key, std::string_view name) = 0;
  // RegDeleteKey: the key must have no subkeys; its own DELETE right decides.
  virtual long DeleteKey(RegHandle parent, std::string_view subPath) = 0;

  // One user action's changes as a whole. A store kept in files (a Wine prefix) takes the
  // store for itself at Begin, holds every change in memory and saves each changed file once at
  // Commit; Rollback forgets the changes. Nested pairs count: the outermost decides. The
  // system registry has no such unit: there all three do nothing. Begin and Commit may refuse
  // with an error code (another program holds the store, the disk is full); a refused Begin
  // leaves no action open, and a refused Commit has already forgotten the changes.
  virtual long BeginChanges() { return win::kSuccess; }
  virtual long CommitChanges() { return win::kSuccess; }
  virtual void RollbackChanges() {}
  // The key a path leads to, named as regedit run natively on the machine names it: the view's
  // redirection and link keys resolved ("HKEY_LOCAL_MACHINE\Software\Wow6432Node\..." for a
  // 32-bit program's "HKEY_LOCAL_MACHINE\Software\..."). A key that does not exist is named
  // through its nearest existing ancestor. "" when the store cannot tell.
  virtual std::string NativeKeyName(RootKey /*root*/, std::string_view /*path*/) { return {}; }
  // What FormatMessage would add to GetLastError for the last change that failed: why the store
  // itself refused it (a read-only prefix, a running Wine, a save that failed and why), in words
  // for the user. Set by the failed call among CreateKey, SetValue, DeleteValue, DeleteKey,
  // BeginChanges and CommitChanges, and emptied by the next of them; empty when the code says
  // all there is (no such key, a key that does not grant the right).
  virtual std::string LastErrorDetail() const { return {}; }
  // Reads again what another program changed since it was read (Wine saved a hive file), so
  // that states shown next are current; true when anything was read again. Stores that are
  // always current (the system registry) have nothing to do.
  virtual bool Refresh() { return false; }
};

// A file a change moved to the trash, and what brings it back.
struct TrashedFile {
  std::string path;     // where it was, as the machine names it ("C:\Users\...")
  std::string trashed;  // where the trash keeps it (a host path on Linux); "" when none does
  std::string info;     // the trash's own record of it (a .trashinfo file, a $I file)
};

struct FindEntry {
  std::string name;  // file name only
  std::uint32_t attributes = 0;
};

// Files, with Windows paths ("C:\Program Files\...") compared without regard to case.
class IFileSystem {
 public:
  virtual ~IFileSystem() = default;
  // GetFileAttributes; kInvalidFileAttributes when the path does not exist.
  virtual std::uint32_t GetFileAttributes(std::string_view path) = 0;
  // FindFirstFile/FindNextFile over one pattern such as "C:\x\*.xlb" ('*' and '?' in the last
  // component). Returns every entry, directories included; callers filter by attributes.
  virtual std::vector<FindEntry> FindFiles(std::string_view pattern) = 0;
  virtual bool DeleteFile(std::string_view path) = 0;
  // The whole content of a file, or nothing when it cannot be read.
  virtual std::optional<std::vector<std::uint8_t>> ReadFile(std::string_view path) = 0;
  // Where an existing file or folder lives on the host, for handing it to the desktop (a file
  // manager, a file's details); "" when the machine has no host path for it.
  virtual std::string HostPath(std::string_view /*windowsPath*/) { return {}; }
  // Why the user's own files may not be deleted in this folder (the user's profile folder), as
  // far as the machine knows better than its registry where its users' folders lie: a sentence
  // that starts with the folder's path, or "" when nothing speaks against it. A Wine prefix keeps
  // them in its drive_c/users; a registry that names another place would point a deletion at the
  // host's or the system's files.
  virtual std::string UserFilesRefusal(std::string_view /*folder*/) { return {}; }
  // Moves a file to the machine's trash, where the desktop can restore it as well: Windows'
  // Recycle Bin, the desktop's Trash of the user on Linux. kSuccess with `trashed` filled in, or
  // an error code when no trash takes the file (the caller may then remove it for good).
  virtual long TrashFile(std::string_view /*path*/, TrashedFile& /*trashed*/) {
    return win::kNotSupported;
  }
  // Brings a trashed file back where it was. kFileExists when a file is there again,
  // kFileNotFound when the trash no longer holds it.
  virtual long RestoreFile(const TrashedFile& /*trashed*/) { return win::kNotSupported; }
};

class IEnvironment {
 public:
  virtual ~IEnvironment() = default;
  // GetEnvironmentVariable; nothing when unset.
  virtual std::optional<std::string> GetVariable(std::string_view name) = 0;
};

// Version resources: GetFileVersionInfoSize/GetFileVersionInfo/VerQueryValue.
class IVersionResources {
 public:
  virtual ~IVersionResources() = default;
  // The VS_VERSIONINFO block of a file; empty when it has none.
  virtual std::vector<std::uint8_t> GetFileVersionInfo(std::string_view path) = 0;
  // VerQueryValueW on such a block: "\VarFileInfo\Translation" gives the raw translation array;
  // "\StringFileInfo\<lang><cp>\<key>" gives the UTF-16LE text bytes without terminator.
  virtual bool QueryValue(const std::vector<std::uint8_t>& block, std::string_view subBlock,
                          std::vector<std::uint8_t>& value) = 0;
};

// Icons: a handle-like number, 0 meaning none. The owner destroys what it extracted.
using IconHandle = std::uint64_t;

class IIcons {
 public:
  virtual ~IIcons() = default;
  // ExtractIcon(file, index): the index-th icon group of the file.
  virtual IconHandle ExtractIcon(std::string_view path, std::uint32_t index) = 0;
  virtual void DestroyIcon(IconHandle icon) = 0;
  // The icon as the bytes of an .ico file, for the window to turn into an image.
  virtual std::vector<std::uint8_t> IconData(IconHandle icon) = 0;
};

// Process enumeration and control, with the two Windows methods kept apart.
using ProcessHandle = std::uint64_t;  // 0 = none
using TokenHandle = std::uint64_t;    // 0 = none

struct ProcessEntry {
  std::uint32_t pid = 0;
  std::string exeFile;  // szExeFile of a toolhelp snapshot
};

class IProcesses {
 public:
  virtual ~IProcesses() = default;
  // GetVersionEx's dwPlatformId.
  virtual std::uint32_t PlatformId() = 0;

  // CreateToolhelp32Snapshot + Process32First/Next; false when the snapshot cannot be taken.
  virtual bool Snapshot(std::vector<ProcessEntry>& entries) = 0;
  // EnumProcesses into a buffer of `capacity` ids; `needed` gets the bytes written as Windows
  // reports them. lastError gets GetLastError on failure.
  virtual bool EnumProcesses(std::vector<std::uint32_t>& ids, std::size_t capacity,
                             std::size_t& neededBytes, long& lastError) = 0;
  virtual ProcessHandle OpenProcess(std::uint32_t access, std::uint32_t pid) = 0;
  // GetModuleFileNameEx(handle, NULL): the image path, empty on failure.
  virtual std::string GetModuleFileName(ProcessHandle process) = 0;
  virtual bool GetExitCode(ProcessHandle process, std::uint32_t& code) = 0;
  virtual bool Terminate(ProcessHandle process, std::uint32_t exitCode) = 0;
  virtual void CloseProcess(ProcessHandle process) = 0;

  // Token privileges: OpenProcessToken(GetCurrentProcess(), access), LookupPrivilegeValue,
  // AdjustTokenPrivileges followed by GetLastError.
  virtual TokenHandle OpenProcessToken(std::uint32_t access) = 0;
  virtual bool LookupPrivilege(std::string_view name) = 0;
  // Returns GetLastError after the adjustment (0 on full success); a failed call returns its error.
  virtual long AdjustPrivilege(TokenHandle token, std::string_view name, bool enable) = 0;
  virtual void CloseToken(TokenHandle token) = 0;

  // Whether this process has an administrator's full rights: not a standard user, nor an
  // administrator's filtered token under UAC. Machines without UAC answer true.
  virtual bool Elevated() { return true; }
  // ShellExecuteEx with the verb "runas": starts `program` with `parameters` (a Windows command
  // line) as an administrator, the user asked first, and waits for it to end, calling `waiting`
  // several times a second meanwhile. kCancelled when the user declined; kNotSupported where
  // nothing can be started so.
  virtual long RunElevated(std::string_view /*program*/, std::string_view /*parameters*/,
                           const std::function<void()>& /*waiting*/, std::uint32_t& /*exitCode*/) {
    return win::kNotSupported;
  }
};

// Programs of the machine that keep its registry in memory and write it back over the store
// later (a Wine prefix's programs and its wineserver): a change saved while one of them runs
// would be lost, so none is made then. A machine whose registry is always current has none.
class IStoreHolders {
 public:
  virtual ~IStoreHolders() = default;
  // Whether the store is held now; asks the machine each time.
  virtual bool Busy() = 0;
  // The file names of the programs that hold it, one per process ("EXCEL.EXE"); empty when
  // only the server lingers after its last program.
  virtual std::vector<std::string> Programs() = 0;
  // Waits until nothing holds the store. False when `limit` passed first or when `keepWaiting`,
  // asked several times a second, said to give up.
  virtual bool WaitUntilFree(std::chrono::milliseconds limit,
                             const std::function<bool()>& keepWaiting) = 0;
  // Ends the holding programs at once; the server follows a few seconds later (a wait ends one
  // that lingers on without programs).
  virtual void EndPrograms() = 0;
};

// The whole machine.
class Platform {
 public:
  virtual ~Platform() = default;
  virtual IRegistry& Registry() = 0;
  virtual IFileSystem& Files() = 0;
  virtual IEnvironment& Environment() = 0;
  virtual IVersionResources& Versions() = 0;
  virtual IIcons& Icons() = 0;
  virtual IProcesses& Processes() = 0;
  // Nothing when the machine has no programs that hold its registry.
  virtual IStoreHolders* StoreHolders() { return nullptr; }
  // FormatMessage: the words for a Win32 error code, in the user's language.
  virtual std::string ErrorText(long code);
};

}  // namespace tovalin
