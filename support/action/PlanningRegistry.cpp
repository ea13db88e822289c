#include "support/action/PlanningRegistry.h"

#include <algorithm>
#include <optional>

#include "support/Text.h"

namespace tovalin {

namespace {

constexpr std::uint32_t kNameUnits = 32768;
constexpr std::uint32_t kReadRights =
    win::kKeyQueryValue | win::kKeyEnumerateSubKeys | win::kKeyNotify | win::kReadControl;

int RootIndex(RegHandle handle) {
  return handle >= 1 && handle <= 4 ? static_cast<int>(handle) - 1 : -1;
}

std::optional<RegData> BaseValue(IRegistry& base, RegHandle key, std::string_view name) {
  if (key == 0) return {};
  RegData value;
  if (base.QueryValue(key, name, value.type, &value.data) != win::kSuccess) return {};
  return value;
}

std::vector<std::string> BaseNames(IRegistry& base, RegHandle key, bool subKeys) {
  std::vector<std::string> names;
  if (key == 0) return names;
  std::string name;
  for (std::uint32_t i = 0;; ++i) {
    const long code =
        subKeys ? base.EnumKey(key, i, kNameUnits, name) : base.EnumValue(key, i, kNameUnits, name);
    if (code != win::kSuccess) break;
    names.push_back(name);
  }
  return names;
}

long NameAt(const std::vector<std::string>& names, std::uint32_t index, std::uint32_t maxUnits,
            std::string& name) {
  if (index >= names.size()) return win::kNoMoreItems;
  if (Utf16Length(names[index]) + 1 > maxUnits) return win::kMoreData;
  name = names[index];
  return win::kSuccess;
}

std::string LastPart(std::string_view path) {
  std::vector<std::string> parts = SplitPath(path);
  return parts.empty() ? std::string() : parts.back();
}

}  // namespace

PlanningRegistry::PlanningRegistry(IRegistry& base) : base_(base) {}

PlanningRegistry::~PlanningRegistry() {
  for (const auto& [handle, open] : handles_) {
    if (open.base != 0) base_.CloseKey(open.base);
  }
}

std::string PlanningRegistry::Id(RootKey root, std::string_view path) {
  std::string id(1, static_cast<char>('0' + static_cast<int>(root)));
  for (const std::string& part : SplitPath(path)) {
    id.push_back('\\');
    id += FoldNoCase(part);
  }
  return id;
}

std::string PlanningRegistry::Join(std::string_view parent, std::string_view subPath) {
  std::string joined;
  for (std::string_view piece : {parent, subPath}) {
    for (const std::string& part : SplitPath(piece)) {
      if (!joined.empty()) joined.push_back('\\');
      joined += part;
    }
  }
  return joined;
}

RegHandle PlanningRegistry::Root(RootKey root) {
  return static_cast<RegHandle>(static_cast<int>(root) + 1);
}

bool PlanningRegistry::Resolve(RegHandle handle, Open& open) const {
  if (const int root = RootIndex(handle); root >= 0) {
    open = Open{static_cast<RootKey>(root), {}, base_.Root(static_cast<RootKey>(root))};
    return true;
  }
  const auto it = handles_.find(handle);
  if (it == handles_.end()) return false;
  open = it->second;
  return true;
}

PlanningRegistry::Touched* PlanningRegistry::Find(RootKey root, std::string_view path) {
  if (touched_.empty()) return nullptr;
  const auto it = touched_.find(Id(root, path));
  return it == touched_.end() ? nullptr : &it->second;
}

bool PlanningRegistry::InBase(RootKey root, const std::string& path) {
  RegHandle key = 0;
  const long code = base_.OpenKey(base_.Root(root), path, win::kKeyQueryValue, key);
  if (key != 0) base_.CloseKey(key);
  return code == win::kSuccess || code == win::kAccessDenied;
}

std::optional<bool> PlanningRegistry::Known(RootKey root, const std::string& path) {
  if (touched_.empty()) return std::nullopt;
  if (const Touched* key = Find(root, path)) return key->exists;
  // The nearest ancestor the action touched decides: below a key it made, or deleted and made
  // again, only keys it made itself are there, and those it touched.
  for (std::string ancestor = ParentPath(path); !ancestor.empty();
       ancestor = ParentPath(ancestor)) {
    if (const Touched* above = Find(root, ancestor)) {
      if (!above->exists || !above->inBase || above->cleared) return false;
      break;
    }
  }
  return std::nullopt;
}

bool PlanningRegistry::StillThere(const Open& open) {
  // A handle is only given for a key that was there, and only the action deletes keys: asking
  // the registry below again would cost a walk of the path on every read of a scan.
  return Known(open.root, open.path).value_or(true);
}

bool PlanningRegistry::Exists(RootKey root, const std::string& path) {
  if (SplitPath(path).empty()) return true;
  return Known(root, path).value_or(InBase(root, path));
}

PlanningRegistry::Touched& PlanningRegistry::Touch(RootKey root, const std::string& path) {
  const std::string id = Id(root, path);
  if (const auto it = touched_.find(id); it != touched_.end()) return it->second;
  Touched key;
  key.root = root;
  key.path = Join(path, {});
  key.inBase = InBase(root, path);
  key.exists = Exists(root, path);
  key.order = nextOrder_++;
  return touched_.emplace(id, std::move(key)).first->second;
}

RegHandle PlanningRegistry::BaseOpen(RootKey root, const std::string& path, long* code) {
  if (const Touched* key = Find(root, path); key != nullptr && (!key->inBase || key->cleared)) {
    return 0;
  }
  for (const std::uint32_t rights : {win::kKeyRead, win::kKeyReadNoNotify, win::kKeyQueryValue}) {
    RegHandle handle = 0;
    const long result = base_.OpenKey(base_.Root(root), path, rights, handle);
    if (code != nullptr) *code = result;
    if (result == win::kSuccess) return handle;
    if (result != win::kAccessDenied) break;
  }
  return 0;
}

RegHandle PlanningRegistry::NewHandle(Open open) {
  const RegHandle handle = nextHandle_++;
  handles_.emplace(handle, std::move(open));
  return handle;
}

long PlanningRegistry::OpenKey(RegHandle parent, std::string_view subPath, std::uint32_t access,
                               RegHandle& result) {
  result = 0;
  Open from;
  if (!Resolve(parent, from)) return win::kInvalidHandle;
  // A key open below stays there while the action is planned: only the action deletes keys.
  if (!Known(from.root, from.path).value_or(true)) return win::kKeyDeleted;
  Open open{from.root, Join(from.path, subPath), 0};
  const std::optional<bool> known = Known(open.root, open.path);
  if (known == false) return win::kFileNotFound;
  long code = win::kSuccess;
  open.base = BaseOpen(open.root, open.path, &code);
  // Probes open mostly missing keys: the registry below tells at once.
  if (!known && code == win::kFileNotFound) return win::kFileNotFound;
  // A key the user may not even read stays closed; one the action wants to write opens all the
  // same, since the rights are checked for all its writes together once it is planned.
  const Touched* key = Find(open.root, open.path);
  const bool onlyHere = key != nullptr && (!key->inBase || key->cleared);
  if (open.base == 0 && !onlyHere && (access & kReadRights) != 0) return win::kAccessDenied;
  result = NewHandle(std::move(open));
  return win::kSuccess;
}

long PlanningRegistry::CreateKey(RegHandle parent, std::string_view subPath,
                                 std::uint32_t /*access*/, RegHandle& result) {
  result = 0;
  Open from;
  if (!Resolve(parent, from)) return win::kInvalidHandle;
  if (!StillThere(from)) return win::kKeyDeleted;
  std::string at = from.path;
  for (const std::string& part : SplitPath(subPath)) {
    const std::string next = Join(at, part);
    if (!Exists(from.root, next)) {
      Touched& parentKey = Touch(from.root, at);
      parentKey.removedChildren.erase(FoldNoCase(part));
      parentKey.addedChildren[FoldNoCase(part)] = part;
      Touch(from.root, next).exists = true;
    }
    at = next;
  }
  Open open{from.root, at, BaseOpen(from.root, at)};
  result = NewHandle(std::move(open));
  return win::kSuccess;
}

long PlanningRegistry::CloseKey(RegHandle key) {
  if (RootIndex(key) >= 0) return win::kSuccess;
  const auto it = handles_.find(key);
  if (it == handles_.end()) return win::kInvalidHandle;
  if (it->second.base != 0) base_.CloseKey(it->second.base);
  handles_.erase(it);
  return win::kSuccess;
}

std::vector<std::string> PlanningRegistry::NamesBelow(const Open& open, const Touched* key,
                                                      bool subKeys) {
  if (key != nullptr && (!key->inBase || key->cleared)) return {};
  const RegHandle base = BaseOpen(open.root, open.path);
  std::vector<std::string> names = BaseNames(base_, base, subKeys);
  if (base != 0) base_.CloseKey(base);
  return names;
}

std::vector<std::string> PlanningRegistry::SubKeys(const Open& open) {
  const Touched* key = Find(open.root, open.path);
  std::vector<std::string> names = NamesBelow(open, key, true);
  if (key == nullptr) return names;
  std::erase_if(names, [key](const std::string& name) {
    const std::string folded = FoldNoCase(name);
    return key->removedChildren.contains(folded) || key->addedChildren.contains(folded);
  });
  for (const auto& [folded, name] : key->addedChildren) names.push_back(name);
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; });
  return names;
}

std::vector<std::string> PlanningRegistry::ValueNames(const Open& open) {
  const Touched* key = Find(open.root, open.path);
  std::vector<std::string> names = NamesBelow(open, key, false);
  if (key == nullptr) return names;
  std::erase_if(names,
                [key](const std::string& name) { return key->values.contains(FoldNoCase(name)); });
  for (const std::string& folded : key->valueOrder) {
    const RegValueChange& value = key->values.at(folded);
    if (value.after) names.push_back(value.name);
  }
  return names;
}

long PlanningRegistry::EnumKey(RegHandle key, std::uint32_t index, std::uint32_t maxUnits,
                               std::string& name) {
  Open open;
  if (!Resolve(key, open)) return win::kInvalidHandle;
  if (!StillThere(open)) return win::kKeyDeleted;
  const Touched* touched = Find(open.root, open.path);
  if (touched == nullptr && open.base != 0) return base_.EnumKey(open.base, index, maxUnits, name);
  return NameAt(SubKeys(open), index, maxUnits, name);
}

long PlanningRegistry::EnumValue(RegHandle key, std::uint32_t index, std::uint32_t maxUnits,
                                 std::string& name) {
  Open open;
  if (!Resolve(key, open)) return win::kInvalidHandle;
  if (!StillThere(open)) return win::kKeyDeleted;
  const Touched* touched = Find(open.root, open.path);
  if (touched == nullptr && open.base != 0) {
    return base_.EnumValue(open.base, index, maxUnits, name);
  }
  return NameAt(ValueNames(open), index, maxUnits, name);
}

long PlanningRegistry::QueryInfoKey(RegHandle key, std::uint32_t& subKeys, std::uint32_t& values) {
  Open open;
  if (!Resolve(key, open)) return win::kInvalidHandle;
  if (!StillThere(open)) return win::kKeyDeleted;
  if (Find(open.root, open.path) == nullptr && open.base != 0) {
    return base_.QueryInfoKey(open.base, subKeys, values);
  }
  subKeys = static_cast<std::uint32_t>(SubKeys(open).size());
  values = static_cast<std::uint32_t>(ValueNames(open).size());
  return win::kSuccess;
}

long PlanningRegistry::QueryValue(RegHandle key, std::string_view name, std::uint32_t& type,
                                  std::vector<std::uint8_t>* data) {
  Open open;
  if (!Resolve(key, open)) return win::kInvalidHandle;
  if (!StillThere(open)) return win::kKeyDeleted;
  if (const Touched* touched = Find(open.root, open.path)) {
    if (const auto it = touched->values.find(FoldNoCase(name)); it != touched->values.end()) {
      if (!it->second.after) return win::kFileNotFound;
      type = it->second.after->type;
      if (data != nullptr) *data = it->second.after->data;
      return win::kSuccess;
    }
    if (!touched->inBase || touched->cleared) return win::kFileNotFound;
  }
  if (open.base == 0) return win::kFileNotFound;
  return base_.QueryValue(open.base, name, type, data);
}

long PlanningRegistry::SetValue(RegHandle key, std::string_view name, std::uint32_t type,
                                const std::vector<std::uint8_t>& data) {
  Open open;
  if (!Resolve(key, open)) return win::kInvalidHandle;
  if (!StillThere(open)) return win::kKeyDeleted;
  Touched& touched = Touch(open.root, open.path);
  const std::string folded = FoldNoCase(name);
  auto [it, added] = touched.values.try_emplace(folded);
  if (added) {
    it->second.name = std::string(name);
    touched.valueOrder.push_back(folded);
  }
  it->second.after = RegData{type, data};
  return win::kSuccess;
}

long PlanningRegistry::DeleteValue(RegHandle key, std::string_view name) {
  std::uint32_t type = 0;
  if (const long code = QueryValue(key, name, type, nullptr); code != win::kSuccess) return code;
  Open open;
  Resolve(key, open);
  Touched& touched = Touch(open.root, open.path);
  const std::string folded = FoldNoCase(name);
  auto [it, added] = touched.values.try_emplace(folded);
  if (added) {
    it->second.name = std::string(name);
    touched.valueOrder.push_back(folded);
  }
  it->second.after.reset();
  return win::kSuccess;
}

long PlanningRegistry::DeleteKey(RegHandle parent, std::string_view subPath) {
  Open from;
  if (!Resolve(parent, from)) return win::kInvalidHandle;
  if (!StillThere(from)) return win::kKeyDeleted;
  const std::string path = Join(from.path, subPath);
  if (SplitPath(path).empty()) return win::kAccessDenied;
  if (!Exists(from.root, path)) return win::kFileNotFound;
  const Open target{from.root, path, 0};
  if (!SubKeys(target).empty()) return win::kAccessDenied;
  Touched& key = Touch(from.root, path);
  key.exists = false;
  key.cleared = true;
  for (auto& [folded, value] : key.values) value.after.reset();
  const std::string name = LastPart(path);
  Touched& parentKey = Touch(from.root, path.substr(0, path.size() - name.size()));
  parentKey.addedChildren.erase(FoldNoCase(name));
  if (key.inBase) parentKey.removedChildren[FoldNoCase(name)] = name;
  return win::kSuccess;
}

RegChangeSet PlanningRegistry::Changes() {
  std::vector<const Touched*> keys;
  for (const auto& [id, key] : touched_) keys.push_back(&key);
  std::sort(keys.begin(), keys.end(),
            [](const Touched* a, const Touched* b) { return a->order < b->order; });
  RegChangeSet changes;
  for (const Touched* key : keys) {
    if (!key->inBase && !key->exists) continue;
    RegKeyChange change{key->root, key->path, key->inBase, key->exists, {}};
    RegHandle base = 0;
    if (key->inBase) {
      for (const std::uint32_t rights : {win::kKeyRead, win::kKeyQueryValue}) {
        if (base_.OpenKey(base_.Root(key->root), key->path, rights, base) == win::kSuccess) break;
        base = 0;
      }
    }
    if (key->cleared && base != 0) {
      // Deleted (and perhaps made again): every value it held goes, unless written anew.
      for (const std::string& name : BaseNames(base_, base, false)) {
        const auto it = key->values.find(FoldNoCase(name));
        change.values.push_back({name, BaseValue(base_, base, name),
                                 it != key->values.end() ? it->second.after : std::nullopt});
      }
    }
    for (const std::string& folded : key->valueOrder) {
      const RegValueChange& value = key->values.at(folded);
      if (key->cleared && BaseValue(base_, base, value.name)) continue;  // listed above
      change.values.push_back({value.name, BaseValue(base_, base, value.name), value.after});
    }
    if (base != 0) base_.CloseKey(base);
    std::erase_if(change.values, [](const RegValueChange& v) { return v.before == v.after; });
    if (change.existedBefore == change.existsAfter && change.values.empty()) continue;
    changes.keys.push_back(std::move(change));
  }
  return changes;
}

}  // namespace tovalin
