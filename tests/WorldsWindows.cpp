// The worlds of the Windows test binary: the in-memory world and the machine itself (under Wine
// when the tests run here). The native world changes the real registry, files, environment and
// processes, so it keeps a record of everything it and the code under test changed and puts it
// all back when the test ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "support/Text.h"
#include "support/platform/windows/Win32.h"
#include "support/platform/windows/Win32Text.h"
// clang-format off
#include <sddl.h>
// clang-format on
#include "support/platform/windows/WindowsPlatform.h"
#include "tests/World.h"

namespace tovalin::test {

namespace {

std::string JoinKey(std::string_view base, std::string_view sub) {
  std::string joined;
  for (std::string_view part : {base, sub}) {
    for (const std::string& component : SplitPath(part)) {
      if (!joined.empty()) joined.push_back('\\');
      joined += component;
    }
  }
  return joined;
}

// Is `path` the key `ancestor` or below it?
bool IsWithin(std::string_view path, std::string_view ancestor) {
  const std::vector<std::string> p = SplitPath(path);
  const std::vector<std::string> a = SplitPath(ancestor);
  if (a.size() > p.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (CompareNoCase(p[i], a[i]) != 0) return false;
  }
  return true;
}

std::string ParentOf(std::string_view path) {
  const std::size_t cut = path.find_last_of('\\');
  return cut == std::string_view::npos ? std::string() : std::string(path.substr(0, cut));
}

// --- registry: an undo log over the real registry ---

struct SavedValue {
  std::string name;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

struct SavedTree {
  std::string name;
  std::vector<SavedValue> values;
  std::vector<SavedTree> children;
};

struct CreatedKey {
  RootKey root;
  std::string path;
};
struct ValueBefore {
  RootKey root;
  std::string path;
  std::string name;
  std::optional<SavedValue> value;  // nothing: the value did not exist
};
struct TreeBefore {
  RootKey root;
  std::string parent;
  SavedTree tree;
};
using UndoStep = std::variant<CreatedKey, ValueBefore, TreeBefore>;

class RegistryUndo {
 public:
  explicit RegistryUndo(IRegistry& registry) : registry_(registry) {}

  bool Exists(RootKey root, std::string_view path) {
    RegHandle key = 0;
    if (registry_.OpenKey(registry_.Root(root), path, 0, key) != win::kSuccess) return false;
    registry_.CloseKey(key);
    return true;
  }

  // Keys below a key the test created go when that key goes: nothing to note for them.
  bool InCreatedTree(RootKey root, std::string_view path) const {
    return std::any_of(created_.begin(), created_.end(), [&](const CreatedKey& c) {
      return c.root == root && IsWithin(path, c.path);
    });
  }

  // Before a key is created along `path`: the first missing key is what the undo removes.
  void BeforeCreate(RootKey root, std::string_view path) {
    if (InCreatedTree(root, path)) return;
    std::string prefix;
    for (const std::string& part : SplitPath(path)) {
      prefix = JoinKey(prefix, part);
      if (!Exists(root, prefix)) {
        created_.push_back(CreatedKey{root, prefix});
        steps_.emplace_back(created_.back());
        return;
      }
    }
  }

  void BeforeValueChange(RootKey root, std::string_view path, std::string_view name) {
    if (InCreatedTree(root, path)) return;
    ValueBefore before{root, std::string(path), std::string(name), std::nullopt};
    RegHandle key = 0;
    if (registry_.OpenKey(registry_.Root(root), path, win::kKeyQueryValue, key) == win::kSuccess) {
      SavedValue saved{std::string(name), 0, {}};
      if (registry_.QueryValue(key, name, saved.type, &saved.data) == win::kSuccess) {
        before.value = std::move(saved);
      }
      registry_.CloseKey(key);
    }
    steps_.emplace_back(std::move(before));
  }

  void BeforeTreeDelete(RootKey root, std::string_view path) {
    if (InCreatedTree(root, path)) return;
    std::optional<SavedTree> tree = Save(root, path);
    if (tree) steps_.emplace_back(TreeBefore{root, ParentOf(path), std::move(*tree)});
  }

  // Deletes a key with everything below it.
  long DeleteTree(RootKey root, std::string_view path) {
    RegHandle key = 0;
    if (registry_.OpenKey(registry_.Root(root), path, win::kKeyRead, key) == win::kSuccess) {
      std::vector<std::string> children;
      std::string name;
      for (std::uint32_t i = 0; registry_.EnumKey(key, i, 512, name) == win::kSuccess; ++i) {
        children.push_back(name);
      }
      registry_.CloseKey(key);
      for (const std::string& child : children) DeleteTree(root, JoinKey(path, child));
    }
    return registry_.DeleteKey(registry_.Root(root), path);
  }

  // Lets the key grant only `access` to everyone. The owner keeps the right to change that, so
  // the undo can lift it again.
  bool Restrict(RootKey root, std::string_view path, std::uint32_t access) {
    const HKEY key = OpenForSecurity(root, path);
    if (key == nullptr) return false;
    const bool known = std::any_of(restricted_.begin(), restricted_.end(), [&](const auto& r) {
      return r.root == root && CompareNoCase(r.path, path) == 0;
    });
    if (!known) {
      Restricted entry{root, std::string(path), {}};
      if (!InCreatedTree(root, path)) {
        DWORD size = 0;
        ::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, nullptr, &size);
        entry.security.resize(size);
        if (size == 0 || ::RegGetKeySecurity(key, DACL_SECURITY_INFORMATION, entry.security.data(),
                                             &size) != ERROR_SUCCESS) {
          entry.security.clear();
        }
      }
      restricted_.push_back(std::move(entry));
    }
    wchar_t sddl[64];
    if (access == 0) {
      std::swprintf(sddl, 64, L"D:P");
    } else {
      std::swprintf(sddl, 64, L"D:P(A;;0x%lx;;;WD)", static_cast<unsigned long>(access));
    }
    const bool ok = SetSecurity(key, sddl, {});
    ::RegCloseKey(key);
    return ok;
  }

  // Gives the keys within `path` their old rights back (full rights to the ones the test made).
  void LiftRestrictions(RootKey root, std::string_view path) {
    for (auto it = restricted_.begin(); it != restricted_.end();) {
      if (it->root != root || !IsWithin(it->path, path)) {
        ++it;
        continue;
      }
      if (const HKEY key = OpenForSecurity(it->root, it->path)) {
        SetSecurity(key, L"D:P(A;;KA;;;WD)", it->security);
        ::RegCloseKey(key);
      }
      it = restricted_.erase(it);
    }
  }

  void Undo() {
    LiftRestrictions(RootKey::ClassesRoot, "");
    LiftRestrictions(RootKey::CurrentUser, "");
    LiftRestrictions(RootKey::LocalMachine, "");
    LiftRestrictions(RootKey::Users, "");
    for (auto it = steps_.rbegin(); it != steps_.rend(); ++it) {
      if (const auto* created = std::get_if<CreatedKey>(&*it)) {
        DeleteTree(created->root, created->path);
      } else if (const auto* value = std::get_if<ValueBefore>(&*it)) {
        RestoreValue(*value);
      } else if (const auto* tree = std::get_if<TreeBefore>(&*it)) {
        DeleteTree(tree->root, JoinKey(tree->parent, tree->tree.name));
        Restore(tree->root, tree->parent, tree->tree);
      }
    }
    steps_.clear();
    created_.clear();
  }

 private:
  struct Restricted {
    RootKey root;
    std::string path;
    std::vector<std::uint8_t> security;  // the key's own rights before; empty: the test made it
  };

  HKEY OpenForSecurity(RootKey root, std::string_view path) {
    HKEY key = nullptr;
    const std::u16string units = Utf8ToUtf16(JoinKey(path, ""));
    const std::wstring sub(units.begin(), units.end());
    REGSAM view = 0;
#ifdef _WIN64
    view = KEY_WOW64_32KEY;
#endif
    if (::RegOpenKeyExW(reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(registry_.Root(root))),
                        sub.c_str(), 0, READ_CONTROL | WRITE_DAC | view, &key) != ERROR_SUCCESS) {
      return nullptr;
    }
    return key;
  }

  // Sets the saved security when there is one, else the one written in `sddl`.
  static bool SetSecurity(HKEY key, const wchar_t* sddl, const std::vector<std::uint8_t>& saved) {
    if (!saved.empty()) {
      std::vector<std::uint8_t> copy(saved);
      return ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, copy.data()) == ERROR_SUCCESS;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                                nullptr)) {
      return false;
    }
    const bool ok =
        ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
    ::LocalFree(descriptor);
    return ok;
  }

  std::optional<SavedTree> Save(RootKey root, std::string_view path) {
    RegHandle key = 0;
    if (registry_.OpenKey(registry_.Root(root), path, win::kKeyRead, key) != win::kSuccess) {
      return std::nullopt;
    }
    SavedTree tree;
    const std::vector<std::string> parts = SplitPath(path);
    tree.name = parts.empty() ? std::string() : parts.back();
    std::string name;
    for (std::uint32_t i = 0; registry_.EnumValue(key, i, 16384, name) == win::kSuccess; ++i) {
      SavedValue value{name, 0, {}};
      if (registry_.QueryValue(key, name, value.type, &value.data) == win::kSuccess) {
        tree.values.push_back(std::move(value));
      }
    }
    std::vector<std::string> children;
    for (std::uint32_t i = 0; registry_.EnumKey(key, i, 512, name) == win::kSuccess; ++i) {
      children.push_back(name);
    }
    registry_.CloseKey(key);
    for (const std::string& child : children) {
      if (std::optional<SavedTree> sub = Save(root, JoinKey(path, child))) {
        tree.children.push_back(std::move(*sub));
      }
    }
    return tree;
  }

  void Restore(RootKey root, std::string_view parent, const SavedTree& tree) {
    const std::string path = JoinKey(parent, tree.name);
    RegHandle key = 0;
    if (registry_.CreateKey(registry_.Root(root), path, win::kKeyAllAccess, key) != win::kSuccess) {
      return;
    }
    for (const SavedValue& value : tree.values) {
      registry_.SetValue(key, value.name, value.type, value.data);
    }
    registry_.CloseKey(key);
    for (const SavedTree& child : tree.children) Restore(root, path, child);
  }

  void RestoreValue(const ValueBefore& before) {
    RegHandle key = 0;
    if (registry_.OpenKey(registry_.Root(before.root), before.path, win::kKeySetValue, key) !=
        win::kSuccess) {
      return;
    }
    if (before.value) {
      registry_.SetValue(key, before.name, before.value->type, before.value->data);
    } else {
      registry_.DeleteValue(key, before.name);
    }
    registry_.CloseKey(key);
  }

  IRegistry& registry_;
  std::vector<UndoStep> steps_;
  std::vector<CreatedKey> created_;
  std::vector<Restricted> restricted_;
};

// The real registry, noting every change in the undo log first, so changes made by the code
// under test are undone as well.
class RecordingRegistry : public IRegistry {
 public:
  RecordingRegistry(IRegistry& real, RegistryUndo& undo) : real_(real), undo_(undo) {
    for (RootKey root :
         {RootKey::ClassesRoot, RootKey::CurrentUser, RootKey::LocalMachine, RootKey::Users}) {
      keys_[real_.Root(root)] = KeyRef{root, ""};
    }
  }

  RegHandle Root(RootKey root) override { return real_.Root(root); }

  long OpenKey(RegHandle parent, std::string_view subPath, std::uint32_t access,
               RegHandle& result) override {
    const long rc = real_.OpenKey(parent, subPath, access, result);
    if (rc == win::kSuccess) Remember(parent, subPath, result);
    return rc;
  }

  long CreateKey(RegHandle parent, std::string_view subPath, std::uint32_t access,
                 RegHandle& result) override {
    if (const KeyRef* ref = Find(parent)) {
      undo_.BeforeCreate(ref->root, JoinKey(ref->path, subPath));
    }
    const long rc = real_.CreateKey(parent, subPath, access, result);
    if (rc == win::kSuccess) Remember(parent, subPath, result);
    return rc;
  }

  long CloseKey(RegHandle key) override {
    if (keys_.count(key) != 0 && !IsRoot(key)) keys_.erase(key);
    return real_.CloseKey(key);
  }

  long EnumKey(RegHandle key, std::uint32_t index, std::uint32_t maxUnits,
               std::string& name) override {
    return real_.EnumKey(key, index, maxUnits, name);
  }
  long EnumValue(RegHandle key, std::uint32_t index, std::uint32_t maxUnits,
                 std::string& name) override {
    return real_.EnumValue(key, index, maxUnits, name);
  }
  long QueryInfoKey(RegHandle key, std::uint32_t& subKeys, std::uint32_t& values) override {
    return real_.QueryInfoKey(key, subKeys, values);
  }
  long QueryValue(RegHandle key, std::string_view name, std::uint32_t& type,
                  std::vector<std::uint8_t>* data) override {
    return real_.QueryValue(key, name, type, data);
  }

  long SetValue(RegHandle key, std::string_view name, std::uint32_t type,
                const std::vector<std::uint8_t>& data) override {
    if (const KeyRef* ref = Find(key)) undo_.BeforeValueChange(ref->root, ref->path, name);
    return real_.SetValue(key, name, type, data);
  }

  long DeleteValue(RegHandle key, std::string_view name) override {
    if (const KeyRef* ref = Find(key)) undo_.BeforeValueChange(ref->root, ref->path, name);
    return real_.DeleteValue(key, name);
  }

  long DeleteKey(RegHandle parent, std::string_view subPath) override {
    if (const KeyRef* ref = Find(parent)) {
      undo_.BeforeTreeDelete(ref->root, JoinKey(ref->path, subPath));
    }
    return real_.DeleteKey(parent, subPath);
  }

  std::string NativeKeyName(RootKey root, std::string_view path) override {
    return real_.NativeKeyName(root, path);
  }

 private:
  struct KeyRef {
    RootKey root;
    std::string path;
  };

  bool IsRoot(RegHandle key) const {
    const auto it = keys_.find(key);
    return it != keys_.end() && it->second.path.empty();
  }
  const KeyRef* Find(RegHandle key) const {
    const auto it = keys_.find(key);
    if (it == keys_.end()) {
      ADD_FAILURE() << "a change through a key handle the test world does not know";
      return nullptr;
    }
    return &it->second;
  }
  void Remember(RegHandle parent, std::string_view subPath, RegHandle result) {
    const auto it = keys_.find(parent);
    if (it == keys_.end()) return;
    keys_[result] = KeyRef{it->second.root, JoinKey(it->second.path, subPath)};
  }

  IRegistry& real_;
  RegistryUndo& undo_;
  std::map<RegHandle, KeyRef> keys_;
};

class RecordingPlatform : public Platform {
 public:
  explicit RecordingPlatform(std::unique_ptr<Platform> real)
      : real_(std::move(real)), undo_(real_->Registry()), registry_(real_->Registry(), undo_) {}
  IRegistry& Registry() override { return registry_; }
  IFileSystem& Files() override { return real_->Files(); }
  IEnvironment& Environment() override { return real_->Environment(); }
  IVersionResources& Versions() override { return real_->Versions(); }
  IIcons& Icons() override { return real_->Icons(); }
  IProcesses& Processes() override { return real_->Processes(); }

  RegistryUndo& Undo() { return undo_; }
  IRegistry& RealRegistry() { return real_->Registry(); }

 private:
  std::unique_ptr<Platform> real_;
  RegistryUndo undo_;
  RecordingRegistry registry_;
};

// --- files ---

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) {
    if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
  }
  return text;
}

bool PathExists(const std::wstring& path) {
  return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring ParentFolder(const std::wstring& path) {
  const std::size_t cut = path.find_last_of(L'\\');
  return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

void RemoveTree(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ::DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW data{};
  const HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(path.c_str());
}

std::optional<std::vector<std::uint8_t>> ReadWhole(const std::wstring& path) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  std::vector<std::uint8_t> content;
  std::uint8_t chunk[65536];
  DWORD got = 0;
  while (::ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
    content.insert(content.end(), chunk, chunk + got);
  }
  ::CloseHandle(file);
  return content;
}

bool WriteWhole(const std::wstring& path, const std::vector<std::uint8_t>& content) {
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      content.empty() ||
      (::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
       written == content.size());
  ::CloseHandle(file);
  return ok;
}

std::wstring OwnFolder() {
  std::vector<wchar_t> buffer(32768);
  const DWORD units = ::GetModuleFileNameW(nullptr, buffer.data(), buffer.size());
  return ParentFolder(std::wstring(buffer.data(), units));
}

int nextWorld = 0;

class WindowsWorld : public World {
 public:
  WindowsWorld() : platform_(OpenWindowsPlatform()) {
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD units = ::GetTempPathW(MAX_PATH + 1, temp);
    std::wstring folder(temp, units);
    while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
    root_ = folder + L"\\tovalin-test-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
            std::to_wstring(++nextWorld);
    RemoveTree(root_);
    if (!::CreateDirectoryW(root_.c_str(), nullptr)) {
      ADD_FAILURE() << "cannot create the test folder " << Narrow(root_);
    }
  }

  ~WindowsWorld() override {
    for (const Started& started : started_) {
      if (::WaitForSingleObject(started.process, 0) == WAIT_TIMEOUT) {
        ::TerminateProcess(started.process, 1);
      }
      ::WaitForSingleObject(started.process, 10000);
      ::CloseHandle(started.process);
    }
    for (auto it = environment_.rbegin(); it != environment_.rend(); ++it) {
      ::SetEnvironmentVariableW(it->first.c_str(), it->second ? it->second->c_str() : nullptr);
    }
    platform_.Undo().Undo();
    RemoveTree(root_);
    for (auto it = createdOutside_.rbegin(); it != createdOutside_.rend(); ++it) RemoveTree(*it);
    for (const auto& [path, backup] : backups_) {
      WriteWhole(path, backup.content);
      ::SetFileAttributesW(path.c_str(), backup.attributes);
    }
  }

  Platform& platform() override { return platform_; }

  bool Supports(Feature feature) const override {
    return feature == Feature::RealProcesses || feature == Feature::KeyAccessLimits;
  }

  std::string Name() const override { return "Windows"; }

  // --- registry ---

  void CreateKey(RootKey root, std::string_view path) override {
    IRegistry& registry = platform_.Registry();
    RegHandle key = 0;
    const long rc = registry.CreateKey(registry.Root(root), path, win::kKeyAllAccess, key);
    if (rc != win::kSuccess) {
      ADD_FAILURE() << "cannot create " << path << ": error " << rc;
      return;
    }
    registry.CloseKey(key);
  }

  void SetValue(RootKey root, std::string_view path, std::string_view name, std::uint32_t type,
                const std::vector<std::uint8_t>& data) override {
    IRegistry& registry = platform_.Registry();
    RegHandle key = 0;
    long rc = registry.CreateKey(registry.Root(root), path, win::kKeyAllAccess, key);
    if (rc == win::kSuccess) {
      rc = registry.SetValue(key, name, type, data);
      registry.CloseKey(key);
    }
    if (rc != win::kSuccess) ADD_FAILURE() << "cannot set " << path << "\\" << name << ": " << rc;
  }

  void DeleteTree(RootKey root, std::string_view path) override {
    if (SplitPath(path).empty() || !KeyExists(root, path)) return;
    platform_.Undo().LiftRestrictions(root, path);
    platform_.Undo().BeforeTreeDelete(root, path);
    const long rc = platform_.Undo().DeleteTree(root, path);
    if (rc != win::kSuccess) ADD_FAILURE() << "cannot delete " << path << ": error " << rc;
  }

  bool KeyExists(RootKey root, std::string_view path) override {
    return platform_.Undo().Exists(root, path);
  }

  void SetKeyAccess(RootKey root, std::string_view path, std::uint32_t access) override {
    // Made only when missing: a key limited earlier refuses to be opened with every right, which
    // creating it asks for, and giving the rights back must still work.
    IRegistry& registry = platform_.Registry();
    RegHandle key = 0;
    if (registry.OpenKey(registry.Root(root), path, win::kKeyRead, key) == win::kSuccess) {
      registry.CloseKey(key);
    } else {
      CreateKey(root, path);
    }
    if (!platform_.Undo().Restrict(root, path, access)) {
      ADD_FAILURE() << "cannot limit the rights of " << path;
    }
  }

  // --- files ---

  std::string Root() override { return Narrow(root_); }

  void AddFile(std::string_view path, const std::vector<std::uint8_t>& content,
               std::uint32_t attributes) override {
    const std::wstring file = Wide(path);
    MakeFolders(ParentFolder(file));
    Claim(file);
    ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!WriteWhole(file, content)) {
      ADD_FAILURE() << "cannot write " << path;
      return;
    }
    ::SetFileAttributesW(file.c_str(), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes);
  }

  void AddFolder(std::string_view path) override { MakeFolders(Wide(path)); }

  bool FileExists(std::string_view path) override { return PathExists(Wide(path)); }
  void ForgetTrashed(const TrashedFile& trashed) override {
    ::DeleteFileW(Wide(trashed.trashed).c_str());
    ::DeleteFileW(Wide(trashed.info).c_str());
  }

  void SetEnv(std::string_view name, std::string_view value) override {
    const std::wstring wideName = Wide(name);
    const std::wstring key = Upper(wideName);
    if (savedNames_.insert(key).second) {
      std::optional<std::wstring> before;
      if (std::optional<std::string> old = platform_.Environment().GetVariable(name)) {
        before = Wide(*old);
      }
      environment_.emplace_back(wideName, before);
    }
    ::SetEnvironmentVariableW(wideName.c_str(), Wide(value).c_str());
  }

  // --- processes: copies of a small program that waits, started under the wanted name ---

  std::uint32_t AddProcess(std::string_view imagePath) override {
    const std::wstring image = Wide(imagePath);
    if (sleeperCopies_.insert(Upper(image)).second) {
      MakeFolders(ParentFolder(image));
      Claim(image);
      ::SetFileAttributesW(image.c_str(), FILE_ATTRIBUTE_NORMAL);
      const std::wstring sleeper = OwnFolder() + L"\\tovalin_test_sleeper.exe";
      if (!::CopyFileW(sleeper.c_str(), image.c_str(), FALSE)) {
        ADD_FAILURE() << "cannot copy " << Narrow(sleeper) << " to " << imagePath;
        return 0;
      }
    }
    std::wstring commandLine = L"\"" + image + L"\" " + std::to_wstring(::GetCurrentProcessId());
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(image.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                          CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
      ADD_FAILURE() << "cannot start " << imagePath << ": error " << ::GetLastError();
      return 0;
    }
    ::CloseHandle(info.hThread);
    started_.push_back(Started{info.hProcess, info.dwProcessId});
    WaitUntilListed(info.dwProcessId);
    return info.dwProcessId;
  }

  bool ProcessRunning(std::uint32_t pid) override {
    for (const Started& started : started_) {
      if (started.pid == pid) return ::WaitForSingleObject(started.process, 0) == WAIT_TIMEOUT;
    }
    const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return false;
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
  }

  void SetDebugPrivilegeAllowed(bool allowed) override {
    if (!allowed) ADD_FAILURE() << "denying the debug privilege needs Feature::PrivilegeControl";
  }

  void SetPlatformId(std::uint32_t id) override {
    if (id != platform_.Processes().PlatformId()) {
      ADD_FAILURE() << "another platform id needs Feature::PlatformChoice";
    }
  }

 private:
  struct Started {
    HANDLE process;
    std::uint32_t pid;
  };
  struct Backup {
    std::vector<std::uint8_t> content;
    DWORD attributes;
  };

  bool InRoot(const std::wstring& path) const {
    const std::wstring root = Upper(root_) + L"\\";
    return Upper(path).compare(0, root.size(), root) == 0;
  }

  // Creates every missing folder; the outermost one created outside the test folder is removed
  // at the end.
  void MakeFolders(const std::wstring& folder) {
    if (folder.empty() || PathExists(folder)) return;
    MakeFolders(ParentFolder(folder));
    if (!::CreateDirectoryW(folder.c_str(), nullptr)) {
      ADD_FAILURE() << "cannot create the folder " << Narrow(folder);
      return;
    }
    if (!InRoot(folder) && Upper(folder) != Upper(root_)) {
      const bool below = std::any_of(createdOutside_.begin(), createdOutside_.end(),
                                     [&](const std::wstring& created) {
                                       return Upper(folder).starts_with(Upper(created) + L"\\");
                                     });
      if (!below) createdOutside_.push_back(folder);
    }
  }

  // A file outside the test folder is removed at the end, or put back as it was.
  void Claim(const std::wstring& file) {
    if (InRoot(file)) return;
    const std::wstring key = Upper(file);
    if (claimed_.count(key) != 0) return;
    claimed_.insert(key);
    const DWORD attributes = ::GetFileAttributesW(file.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      createdOutside_.push_back(file);
    } else if (std::optional<std::vector<std::uint8_t>> content = ReadWhole(file)) {
      backups_.emplace_back(file, Backup{std::move(*content), attributes});
    }
  }

  // A process is found by name only once the loader has mapped its image.
  void WaitUntilListed(std::uint32_t pid) {
    IProcesses& processes = platform_.Processes();
    for (int attempt = 0; attempt < 200; ++attempt) {
      const ProcessHandle process =
          processes.OpenProcess(win::kProcessQueryInformation | win::kProcessVmRead, pid);
      const std::string path = processes.GetModuleFileName(process);
      processes.CloseProcess(process);
      if (!path.empty()) return;
      ::Sleep(25);
    }
    ADD_FAILURE() << "process " << pid << " never showed its image path";
  }

  RecordingPlatform platform_;
  std::wstring root_;
  std::vector<Started> started_;
  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> environment_;
  std::set<std::wstring> savedNames_;
  std::set<std::wstring> sleeperCopies_;
  std::set<std::wstring> claimed_;
  std::vector<std::wstring> createdOutside_;
  std::vector<std::pair<std::wstring, Backup>> backups_;
};

std::unique_ptr<World> MakeWindowsWorld() {
  return std::make_unique<WindowsWorld>();
}

}  // namespace

std::vector<WorldParam> AllWorlds() {
  return {WorldParam{"Memory", MakeMemoryWorld}, WorldParam{"Windows", MakeWindowsWorld}};
}

}  // namespace tovalin::test
