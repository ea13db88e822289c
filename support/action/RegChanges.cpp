#include "support/action/RegChanges.h"

#include <algorithm>
#include <functional>
#include <utility>

#include "support/Text.h"

namespace tovalin {

namespace {

std::size_t Depth(std::string_view path) {
  return SplitPath(path).size();
}

bool Exists(IRegistry& registry, RootKey root, std::string_view path) {
  const OpenedRegKey key(registry, root, path, win::kKeyQueryValue);
  // A key that refuses to be read is there all the same.
  return key.Open() || key.Code() == win::kAccessDenied;
}

std::vector<RegValueChange> AllValues(IRegistry& registry, RegHandle key) {
  std::vector<RegValueChange> values;
  std::string name;
  for (std::uint32_t i = 0; registry.EnumValue(key, i, 32768, name) == win::kSuccess; ++i) {
    values.push_back({name, ReadRegValue(registry, key, name), std::nullopt});
  }
  return values;
}

std::string ValueLabel(std::string_view name) {
  return name.empty() ? std::string("(既定)") : std::string(name);
}

RegRefusal Refused(IRegistry& registry, RootKey root, std::string_view path, long code) {
  std::string detail = registry.LastErrorDetail();
  return {RegKeyName(root, path), code, std::move(detail),
          ScopeOf(registry, root, path) == ChangeScope::Machine, false};
}

}  // namespace

OpenedRegKey::OpenedRegKey(IRegistry& registry, RootKey root, std::string_view path,
                           std::uint32_t access)
    : registry_(registry) {
  code_ = registry_.OpenKey(registry_.Root(root), path, access, handle_);
  if (code_ != win::kSuccess) handle_ = 0;
}

OpenedRegKey::~OpenedRegKey() {
  if (handle_ != 0) registry_.CloseKey(handle_);
}

std::optional<RegData> ReadRegValue(IRegistry& registry, RegHandle key, std::string_view name) {
  RegData value;
  if (key == 0 || registry.QueryValue(key, name, value.type, &value.data) != win::kSuccess) {
    return std::nullopt;
  }
  return value;
}

const char* RootKeyName(RootKey root) {
  switch (root) {
    case RootKey::ClassesRoot:
      return "HKEY_CLASSES_ROOT";
    case RootKey::CurrentUser:
      return "HKEY_CURRENT_USER";
    case RootKey::LocalMachine:
      return "HKEY_LOCAL_MACHINE";
    case RootKey::Users:
      return "HKEY_USERS";
  }
  return "";
}

std::optional<RootKey> RootKeyFromName(std::string_view name) {
  for (const RootKey root :
       {RootKey::ClassesRoot, RootKey::CurrentUser, RootKey::LocalMachine, RootKey::Users}) {
    if (EqualsNoCase(name, RootKeyName(root))) return root;
  }
  return std::nullopt;
}

std::string RegKeyName(RootKey root, std::string_view path) {
  std::string name = RootKeyName(root);
  for (const std::string& part : SplitPath(path)) {
    name.push_back('\\');
    name += part;
  }
  return name;
}

RegChangeSet RegChangeSet::Reversed() const {
  RegChangeSet reversed;
  reversed.keys.reserve(keys.size());
  for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
    RegKeyChange back{key->root, key->path, key->existsAfter, key->existedBefore, {}};
    for (const RegValueChange& value : key->values) {
      back.values.push_back({value.name, value.after, value.before});
    }
    reversed.keys.push_back(std::move(back));
  }
  return reversed;
}

ChangeScope ScopeOf(IRegistry& registry, RootKey root, std::string_view path) {
  switch (root) {
    case RootKey::CurrentUser:
      return ChangeScope::User;
    case RootKey::LocalMachine:
    case RootKey::Users:
      return ChangeScope::Machine;
    case RootKey::ClassesRoot:
      break;
  }
  // A class lives with the user where the user's own classes hold it (or the key it is made
  // in); everything else of HKEY_CLASSES_ROOT, new classes included, is the machine's.
  for (std::string at(path); !SplitPath(at).empty(); at = ParentPath(at)) {
    if (Exists(registry, RootKey::CurrentUser, "Software\\Classes\\" + at)) {
      return ChangeScope::User;
    }
  }
  return ChangeScope::Machine;
}

RegChangeSet ChangesOfScope(IRegistry& registry, const RegChangeSet& changes, ChangeScope scope) {
  RegChangeSet part;
  for (const RegKeyChange& key : changes.keys) {
    if (ScopeOf(registry, key.root, key.path) == scope) part.keys.push_back(key);
  }
  return part;
}

RegRefusal CheckWriteAccess(IRegistry& registry, const RegChangeSet& changes) {
  for (const RegKeyChange& key : changes.keys) {
    if (key.existedBefore && key.existsAfter && !key.values.empty()) {
      if (const OpenedRegKey open(registry, key.root, key.path, win::kKeySetValue); !open.Open()) {
        return Refused(registry, key.root, key.path, open.Code());
      }
    } else if (!key.existedBefore && key.existsAfter) {
      std::string parent = ParentPath(key.path);
      while (!parent.empty() && !Exists(registry, key.root, parent)) parent = ParentPath(parent);
      if (const OpenedRegKey open(registry, key.root, parent, win::kKeyCreateSubKey);
          !open.Open()) {
        return Refused(registry, key.root, parent, open.Code());
      }
    } else if (key.existedBefore && !key.existsAfter) {
      // Deleting a key is a write to it: one the user may not write is not deleted either, even
      // where the store would let DELETE through (Wine grants it to every key).
      if (const OpenedRegKey open(registry, key.root, key.path, win::kDelete | win::kKeySetValue);
          !open.Open() && open.Code() != win::kFileNotFound) {
        return Refused(registry, key.root, key.path, open.Code());
      }
    }
  }
  return {};
}

std::vector<std::string> Differences(IRegistry& registry, const RegChangeSet& changes) {
  std::vector<std::string> lines;
  for (const RegKeyChange& key : changes.keys) {
    const std::string name = RegKeyName(key.root, key.path);
    const OpenedRegKey open(registry, key.root, key.path, win::kKeyQueryValue);
    const bool exists = open.Open() || open.Code() == win::kAccessDenied;
    if (exists != key.existedBefore) {
      lines.push_back(exists ? "キー " + name + " があります。"
                             : "キー " + name + " がありません。");
      continue;
    }
    if (!open.Open()) continue;
    for (const RegValueChange& value : key.values) {
      const std::optional<RegData> now = ReadRegValue(registry, open.Handle(), value.name);
      if (now == value.before) continue;
      const std::string what = name + " の値 " + ValueLabel(value.name);
      lines.push_back(!now            ? what + " がありません。"
                      : !value.before ? what + " があります。"
                                      : what + " が変わっています。");
    }
  }
  return lines;
}

RegRefusal ApplyChanges(IRegistry& registry, const RegChangeSet& changes) {
  // What puts back each change made so far, newest last.
  std::vector<std::function<bool()>> undo;
  auto putBack = [&](RegRefusal refusal) {
    for (auto step = undo.rbegin(); step != undo.rend(); ++step) {
      if (!(*step)()) refusal.restoreFailed = true;
    }
    return refusal;
  };
  auto writeValues = [&registry](RootKey root, const std::string& path,
                                 const std::vector<RegValueChange>& values, bool after) {
    const OpenedRegKey key(registry, root, path, win::kKeySetValue | win::kKeyQueryValue);
    if (!key.Open()) return key.Code();
    for (const RegValueChange& value : values) {
      const std::optional<RegData>& target = after ? value.after : value.before;
      const long code =
          target ? registry.SetValue(key.Handle(), value.name, target->type, target->data)
                 : registry.DeleteValue(key.Handle(), value.name);
      if (code != win::kSuccess && !(code == win::kFileNotFound && !target)) return code;
    }
    return win::kSuccess;
  };

  std::vector<const RegKeyChange*> created;
  std::vector<const RegKeyChange*> deleted;
  for (const RegKeyChange& key : changes.keys) {
    if (!key.existedBefore && key.existsAfter) created.push_back(&key);
    if (key.existedBefore && !key.existsAfter) deleted.push_back(&key);
  }
  std::stable_sort(created.begin(), created.end(),
                   [](const auto* a, const auto* b) { return Depth(a->path) < Depth(b->path); });
  std::stable_sort(deleted.begin(), deleted.end(),
                   [](const auto* a, const auto* b) { return Depth(a->path) > Depth(b->path); });

  for (const RegKeyChange* key : created) {
    if (Exists(registry, key->root, key->path)) continue;
    RegHandle handle = 0;
    if (const long code =
            registry.CreateKey(registry.Root(key->root), key->path, win::kKeyWrite, handle);
        code != win::kSuccess) {
      return putBack(Refused(registry, key->root, key->path, code));
    }
    registry.CloseKey(handle);
    undo.push_back([&registry, key] {
      return registry.DeleteKey(registry.Root(key->root), key->path) == win::kSuccess;
    });
  }

  for (const RegKeyChange& key : changes.keys) {
    if (!key.existsAfter || key.values.empty()) continue;
    // What the key holds now is what goes back, whatever the record says it held.
    std::vector<RegValueChange> now;
    if (const OpenedRegKey open(registry, key.root, key.path, win::kKeyQueryValue); open.Open()) {
      for (const RegValueChange& value : key.values) {
        now.push_back({value.name, ReadRegValue(registry, open.Handle(), value.name), value.after});
      }
    }
    if (const long code = writeValues(key.root, key.path, key.values, true);
        code != win::kSuccess) {
      RegRefusal refusal = Refused(registry, key.root, key.path, code);
      writeValues(key.root, key.path, now, false);
      return putBack(std::move(refusal));
    }
    undo.push_back([writeValues, &key, now] {
      return writeValues(key.root, key.path, now, false) == win::kSuccess;
    });
  }

  for (const RegKeyChange* key : deleted) {
    std::vector<RegValueChange> held;
    {
      const OpenedRegKey open(registry, key->root, key->path, win::kKeyQueryValue);
      if (!open.Open()) {
        if (open.Code() == win::kFileNotFound) continue;
        return putBack(Refused(registry, key->root, key->path, open.Code()));
      }
      held = AllValues(registry, open.Handle());
    }
    if (const long code = registry.DeleteKey(registry.Root(key->root), key->path);
        code != win::kSuccess) {
      return putBack(Refused(registry, key->root, key->path, code));
    }
    undo.push_back([&registry, writeValues, key, held] {
      RegHandle handle = 0;
      if (registry.CreateKey(registry.Root(key->root), key->path, win::kKeyWrite, handle) !=
          win::kSuccess) {
        return false;
      }
      registry.CloseKey(handle);
      return writeValues(key->root, key->path, held, false) == win::kSuccess;
    });
  }
  return {};
}

}  // namespace tovalin
