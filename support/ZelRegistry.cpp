#include "support/ZelRegistry.h"

#include <algorithm>

#include "support/LittleEndian.h"
#include "support/Text.h"

namespace tovalin {

namespace {

constexpr std::uint32_t kNameBufferUnits = 260;
// Tree deletion asks the key for its longest subkey name first, so no name is too long there.
constexpr std::uint32_t kUnlimitedNameUnits = 32768;
constexpr std::uint32_t kBinaryTextBytes = 520;
constexpr std::size_t kBinaryTextUnits = 260;

std::string Quote(std::string_view format, std::string_view name) {
  std::string out;
  const std::size_t at = format.find("%s");
  out.append(format.substr(0, at));
  out.append(name);
  out.append(format.substr(at + 2));
  return out;
}

TRegDataType Classify(std::uint32_t type) {
  switch (type) {
    case win::kRegSz:
      return TRegDataType::String;
    case win::kRegExpandSz:
      return TRegDataType::ExpandString;
    case win::kRegBinary:
      return TRegDataType::Binary;
    case win::kRegDword:
      return TRegDataType::Integer;
    default:
      return TRegDataType::Unknown;
  }
}

}  // namespace

std::string RegistryValueName(std::string_view name) {
  // The unnamed value as regedit shows it.
  return name.empty() ? std::string("(既定)") : std::string(name);
}

std::string RegistryDataTypeMessage(std::string_view key, std::string_view name) {
  const std::string value = RegistryValueName(name);
  return std::string(key) + " の値 " + value + " のデータ型が不正です";
}
std::string RegistryGetMessage(std::string_view name) {
  return Quote("'%s' の取得に失敗しました", name);
}
std::string RegistrySetMessage(std::string_view name) {
  return Quote("'%s' の設定に失敗しました", name);
}
std::string RegistryCreateKeyMessage(std::string_view name) {
  return Quote("キー %s の作成に失敗しました", name);
}

namespace {

std::string RefusalMessage(const RegRefusal& refusal, std::string_view why) {
  std::string text = refusal.key + " を変更できませんでした（" + std::string(why) + "）。";
  text += refusal.restoreFailed ? "途中までの変更を元に戻せなかった値があります。"
                                : "何も変更していません。";
  if (refusal.code == win::kAccessDenied && refusal.machineWide && refusal.detail.empty()) {
    text += "この変更には管理者の権限が必要です。";
  }
  return text;
}

}  // namespace

ERegistryRefusedException::ERegistryRefusedException(RegRefusal refusal, std::string_view why)
    : ERegistryException(RefusalMessage(refusal, refusal.detail.empty() ? why : refusal.detail)),
      refusal_(std::move(refusal)) {}

std::string RegistryRefusedMessage(long code) {
  return "レジストリを変更できません（エラー " + std::to_string(code) + "）。";
}

namespace {

// A refusal of the store, explained as it explains it.
[[noreturn]] void RaiseRefusal(const IRegistry& registry, long code) {
  std::string why = registry.LastErrorDetail();
  throw ERegistryException(why.empty() ? RegistryRefusedMessage(code) : std::move(why));
}

}  // namespace

TZelChanges::TZelChanges(IRegistry& registry) : registry_(registry) {
  if (const long result = registry_.BeginChanges(); result != win::kSuccess) {
    RaiseRefusal(registry_, result);
  }
}

void TZelChanges::Commit() {
  finished_ = true;
  if (const long result = registry_.CommitChanges(); result != win::kSuccess) {
    RaiseRefusal(registry_, result);
  }
}

void PerformChanges(IRegistry& registry, const RegChangeSet& changes,
                    const std::function<std::string(long)>& errorText,
                    const std::function<void()>& beforeWrites) {
  if (changes.Empty()) {
    if (beforeWrites) beforeWrites();
    return;
  }
  TZelChanges action(registry);
  // Another program may have changed the keys since the plan read them (a second Tovalin,
  // Office itself): the plan's before-state is what a refusal puts back and what undo restores,
  // so it must still be true.
  if (const std::vector<std::string> differ = Differences(registry, changes); !differ.empty()) {
    std::string text = "変更を決めた後でレジストリが変わったため、何も変更していません。";
    for (const std::string& line : differ) text += "\r\n" + line;
    throw ERegistryException(text);
  }
  RegRefusal refusal = CheckWriteAccess(registry, changes);
  if (!refusal && beforeWrites) beforeWrites();
  if (!refusal) refusal = ApplyChanges(registry, changes);
  if (refusal) {
    const std::string why = errorText(refusal.code);
    throw ERegistryRefusedException(std::move(refusal), why);
  }
  action.Commit();
}

TZelRegistry::TZelRegistry(IRegistry& registry) : registry_(registry) {}

long TZelRegistry::Checked(long result) const {
  // The store's own refusals (a read-only prefix, Wine running, a failed save) are errors
  // wherever they happen; a plain failure is for the caller to judge.
  if (result != win::kSuccess && !registry_.LastErrorDetail().empty()) {
    RaiseRefusal(registry_, result);
  }
  return result;
}

TZelRegistry::~TZelRegistry() {
  CloseCurrent();
}

void TZelRegistry::SetRoot(RootKey root) {
  if (root == root_) return;
  CloseCurrent();
  root_ = root;
}

RegHandle TZelRegistry::BaseFor(std::string_view path, std::string_view& relative) const {
  if (!path.empty() && path.front() == '\\') {
    relative = path.substr(1);
    return registry_.Root(root_);
  }
  relative = path;
  return current_ != 0 ? current_ : registry_.Root(root_);
}

std::string TZelRegistry::FullPath(std::string_view path) const {
  if (!path.empty() && path.front() == '\\') return std::string(path.substr(1));
  if (current_ == 0 || currentPath_.empty()) return std::string(path);
  if (path.empty()) return currentPath_;
  return currentPath_ + "\\" + std::string(path);
}

void TZelRegistry::ChangeKey(RegHandle key, std::string path) {
  CloseCurrent();
  current_ = key;
  currentPath_ = std::move(path);
}

namespace {

// An open key closed when it goes out of scope, so that an error thrown half-way (a refused
// save, say) leaves no handle behind.
class ScopedKey {
 public:
  explicit ScopedKey(IRegistry& registry) : registry_(registry) {}
  ~ScopedKey() {
    if (key_ != 0) registry_.CloseKey(key_);
  }
  ScopedKey(const ScopedKey&) = delete;
  ScopedKey& operator=(const ScopedKey&) = delete;
  // For the backend to fill in.
  RegHandle& Out() { return key_; }
  RegHandle Get() const { return key_; }

 private:
  IRegistry& registry_;
  RegHandle key_ = 0;
};

}  // namespace

std::string TZelRegistry::KeyName() const {
  std::string name = RootKeyName(root_);
  if (current_ != 0 && !currentPath_.empty()) name += "\\" + currentPath_;
  return name;
}

std::string TZelRegistry::KeyName(std::string_view path) const {
  std::string name = RootKeyName(root_);
  if (const std::string full = FullPath(path); !full.empty()) name += "\\" + full;
  return name;
}

void TZelRegistry::CloseCurrent() {
  if (current_ != 0) registry_.CloseKey(current_);
  current_ = 0;
  currentPath_.clear();
}

bool TZelRegistry::OpenKeyRead(std::string_view path) {
  std::string_view relative;
  const RegHandle base = BaseFor(path, relative);
  for (const std::uint32_t rights : {win::kKeyRead, win::kKeyReadNoNotify, win::kKeyQueryValue}) {
    RegHandle key = 0;
    const long result = registry_.OpenKey(base, relative, rights, key);
    if (result == win::kSuccess) {
      access_ = rights;
      ChangeKey(key, FullPath(path));
      return true;
    }
    // Fewer rights only help against a refusal; a missing key stays missing. Probes open
    // mostly missing keys (one per class of HKEY_CLASSES_ROOT), so this is worth it.
    if (result != win::kAccessDenied) return false;
  }
  return false;
}

bool TZelRegistry::OpenKeyWrite(std::string_view path, bool canCreate) {
  std::string_view relative;
  const RegHandle base = BaseFor(path, relative);
  RegHandle key = 0;
  const long result = (canCreate && !relative.empty())
                          ? Checked(registry_.CreateKey(base, relative, access_, key))
                          : registry_.OpenKey(base, relative, access_, key);
  if (result != win::kSuccess) return false;
  ChangeKey(key, FullPath(path));
  return true;
}

bool TZelRegistry::HasKey(std::string_view path) {
  std::string_view relative;
  const RegHandle base = BaseFor(path, relative);
  ScopedKey key(registry_);
  return registry_.OpenKey(base, relative, win::kKeyReadNoNotify, key.Out()) == win::kSuccess;
}

bool TZelRegistry::HasValue(std::string_view name) {
  std::uint32_t type = 0;
  return registry_.QueryValue(current_, name, type, nullptr) == win::kSuccess;
}

bool TZelRegistry::EraseTree(RegHandle base, std::string_view relative) {
  if (ScopedKey key(registry_);
      registry_.OpenKey(base, relative, access_, key.Out()) == win::kSuccess) {
    std::uint32_t subKeys = 0;
    std::uint32_t values = 0;
    if (registry_.QueryInfoKey(key.Get(), subKeys, values) == win::kSuccess) {
      for (std::uint32_t i = subKeys; i-- > 0;) {
        std::string name;
        if (registry_.EnumKey(key.Get(), i, kUnlimitedNameUnits, name) == win::kSuccess) {
          EraseTree(key.Get(), name);
        }
      }
    }
  }
  return Checked(registry_.DeleteKey(base, relative)) == win::kSuccess;
}

bool TZelRegistry::EraseKey(std::string_view path) {
  std::string_view relative;
  const RegHandle base = BaseFor(path, relative);
  return EraseTree(base, relative);
}

bool TZelRegistry::EraseValue(std::string_view name) {
  return Checked(registry_.DeleteValue(current_, name)) == win::kSuccess;
}

std::int32_t TZelRegistry::ReadDword(std::string_view name) {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  if (registry_.QueryValue(current_, name, type, &data) != win::kSuccess || data.size() > 4) {
    throw ERegistryException(RegistryGetMessage(name));
  }
  if (type != win::kRegDword) {
    throw ERegistryDataTypeException(RegistryDataTypeMessage(KeyName(), name));
  }
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < data.size(); ++i)
    value |= static_cast<std::uint32_t>(data[i]) << (8 * i);
  return static_cast<std::int32_t>(value);
}

void TZelRegistry::WriteDword(std::string_view name, std::int32_t value) {
  const auto v = static_cast<std::uint32_t>(value);
  const std::vector<std::uint8_t> data = Le32Bytes(v);
  if (Checked(registry_.SetValue(current_, name, win::kRegDword, data)) != win::kSuccess) {
    throw ERegistryException(RegistrySetMessage(name));
  }
}

bool TZelRegistry::ValueKind(std::string_view name, TRegDataInfo& info) {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  info = TRegDataInfo{};
  if (registry_.QueryValue(current_, name, type, &data) != win::kSuccess) return false;
  info.type = Classify(type);
  info.size = static_cast<std::uint32_t>(data.size());
  return true;
}

std::string TZelRegistry::ReadSz(std::string_view name) {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  if (registry_.QueryValue(current_, name, type, &data) != win::kSuccess || data.empty()) {
    return {};
  }
  if (type != win::kRegSz && type != win::kRegExpandSz) {
    throw ERegistryDataTypeException(RegistryDataTypeMessage(KeyName(), name));
  }
  std::u16string text = Utf16FromBytes(data.data(), data.size());
  const std::size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos) text.resize(nul);
  return Utf16ToUtf8(text);
}

void TZelRegistry::WriteSz(std::string_view name, std::string_view text) {
  std::vector<std::uint8_t> data = Utf8ToUtf16Bytes(text);
  data.push_back(0);
  data.push_back(0);
  if (Checked(registry_.SetValue(current_, name, win::kRegSz, data)) != win::kSuccess) {
    throw ERegistryException(RegistrySetMessage(name));
  }
}

std::uint32_t TZelRegistry::ReadBytes(std::string_view name, std::vector<std::uint8_t>& buffer,
                                      std::uint32_t bufferSize) {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  if (registry_.QueryValue(current_, name, type, &data) != win::kSuccess) return 0;
  if (type != win::kRegBinary || data.size() > bufferSize) {
    throw ERegistryDataTypeException(RegistryDataTypeMessage(KeyName(), name));
  }
  buffer.assign(bufferSize, 0);
  std::copy(data.begin(), data.end(), buffer.begin());
  return static_cast<std::uint32_t>(data.size());
}

void TZelRegistry::WriteBytes(std::string_view name, const std::vector<std::uint8_t>& data) {
  if (Checked(registry_.SetValue(current_, name, win::kRegBinary, data)) != win::kSuccess) {
    throw ERegistryException(RegistrySetMessage(name));
  }
}

void TZelRegistry::MakeKey(std::string_view path) {
  std::string_view relative;
  const RegHandle base = BaseFor(path, relative);
  ScopedKey key(registry_);
  if (Checked(registry_.CreateKey(base, relative, win::kKeyAllAccess, key.Out())) !=
      win::kSuccess) {
    throw ERegistryException(RegistryCreateKeyMessage(path));
  }
}

void TZelRegistry::CopyValues(RegHandle from, RegHandle to) {
  auto copyOne = [&](const std::string& name) {
    std::uint32_t type = 0;
    std::vector<std::uint8_t> data;
    if (registry_.QueryValue(from, name, type, &data) != win::kSuccess || data.empty()) return;
    Checked(registry_.SetValue(to, name, type, data));
  };
  copyOne(std::string());
  for (std::uint32_t i = 0;; ++i) {
    std::string name;
    const long result = registry_.EnumValue(from, i, kUnlimitedNameUnits, name);
    if (result == win::kNoMoreItems || (result != win::kSuccess && result != win::kMoreData)) break;
    if (result == win::kSuccess && !name.empty()) copyOne(name);
  }
}

void TZelRegistry::CopyTree(RegHandle from, RegHandle to) {
  CopyValues(from, to);
  for (std::uint32_t i = 0;; ++i) {
    std::string name;
    const long result = registry_.EnumKey(from, i, kUnlimitedNameUnits, name);
    if (result != win::kSuccess) break;
    ScopedKey child(registry_);
    ScopedKey target(registry_);
    if (registry_.OpenKey(from, name, access_, child.Out()) != win::kSuccess) continue;
    if (Checked(registry_.CreateKey(to, name, win::kKeyAllAccess, target.Out())) == win::kSuccess) {
      CopyTree(child.Get(), target.Get());
    }
  }
}

void TZelRegistry::RenameKey(std::string_view oldPath, std::string_view newPath) {
  if (!HasKey(oldPath) || HasKey(newPath)) return;
  // A target inside the source would be copied into itself without end, and then erased with
  // the source.
  const std::vector<std::string> oldParts = SplitPath(FullPath(oldPath));
  const std::vector<std::string> newParts = SplitPath(FullPath(newPath));
  if (newParts.size() > oldParts.size() &&
      std::equal(
          oldParts.begin(), oldParts.end(), newParts.begin(),
          [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) == 0; })) {
    return;
  }
  std::string_view oldRelative;
  const RegHandle oldBase = BaseFor(oldPath, oldRelative);
  {
    ScopedKey oldKey(registry_);
    if (registry_.OpenKey(oldBase, oldRelative, access_, oldKey.Out()) != win::kSuccess) return;
    MakeKey(newPath);
    std::string_view newRelative;
    const RegHandle newBase = BaseFor(newPath, newRelative);
    ScopedKey newKey(registry_);
    if (registry_.OpenKey(newBase, newRelative, access_, newKey.Out()) != win::kSuccess) return;
    CopyTree(oldKey.Get(), newKey.Get());
  }
  EraseKey(oldPath);
}

std::vector<std::string> TZelRegistry::ListSubKeys() {
  std::vector<std::string> names;
  if (current_ == 0) return names;
  // A root such as HKEY_CLASSES_ROOT has tens of thousands of subkeys: size the list once.
  std::uint32_t subKeys = 0;
  std::uint32_t values = 0;
  if (registry_.QueryInfoKey(current_, subKeys, values) == win::kSuccess) names.reserve(subKeys);
  ForEachSubKey([&names](const std::string& name) {
    names.push_back(name);
    return true;
  });
  return names;
}

void TZelRegistry::ForEachSubKey(const std::function<bool(const std::string&)>& visit) {
  if (current_ == 0) return;
  std::string name;
  for (std::uint32_t i = 0;; ++i) {
    if (registry_.EnumKey(current_, i, kNameBufferUnits, name) != win::kSuccess) break;
    if (!visit(name)) break;
  }
}

std::vector<std::string> TZelRegistry::ListValueNames() {
  std::vector<std::string> names;
  if (current_ == 0) return names;
  for (std::uint32_t i = 0;; ++i) {
    std::string name;
    if (registry_.EnumValue(current_, i, kNameBufferUnits, name) != win::kSuccess) break;
    names.push_back(std::move(name));
  }
  return names;
}

std::string TZelRegistry::ReadText(std::string_view name) {
  TRegDataInfo info;
  if (ValueKind(name, info) && info.type == TRegDataType::Binary) {
    std::vector<std::uint8_t> buffer;
    const std::uint32_t size = ReadBytes(name, buffer, kBinaryTextBytes);
    if (size == 0) return {};
    std::u16string text = Utf16FromBytes(buffer.data(), buffer.size());
    const std::size_t nul = text.find(u'\0');
    if (nul != std::u16string::npos) text.resize(nul);
    if (text.size() > kBinaryTextUnits) text.resize(kBinaryTextUnits);
    return Utf16ToUtf8(text);
  }
  return ReadSz(name);
}

void TZelRegistry::WriteText(std::string_view name, std::string_view text) {
  TRegDataInfo info;
  if (ValueKind(name, info) && info.type == TRegDataType::Binary) {
    std::u16string wide = Utf8ToUtf16(text);
    if (wide.size() > kBinaryTextUnits - 1) {
      // Never keep half of a surrogate pair at the cut.
      std::size_t keep = kBinaryTextUnits - 1;
      if (wide[keep - 1] >= 0xD800 && wide[keep - 1] <= 0xDBFF) --keep;
      wide.resize(keep);
    }
    std::vector<std::uint8_t> data;
    data.reserve((wide.size() + 1) * 2);
    for (char16_t unit : wide) AppendLe16(data, unit);
    AppendLe16(data, 0);
    WriteBytes(name, data);
    return;
  }
  WriteSz(name, text);
}

}  // namespace tovalin
