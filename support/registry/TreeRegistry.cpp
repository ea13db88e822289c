#include "support/registry/TreeRegistry.h"

#include <algorithm>

#include "support/LittleEndian.h"
#include "support/Text.h"

namespace tovalin {

namespace {

constexpr RegHandle kRootHandles[4] = {0x80000000u, 0x80000001u, 0x80000002u, 0x80000003u};

int RootIndex(RegHandle handle) {
  for (int i = 0; i < 4; ++i) {
    if (kRootHandles[i] == handle) return i;
  }
  return -1;
}

}  // namespace

TreeRegistry::TreeRegistry() {
  for (auto& root : roots_) root = std::make_shared<RegNode>();
}

RegHandle TreeRegistry::Root(RootKey root) {
  return kRootHandles[static_cast<int>(root)];
}

void TreeRegistry::SetRootNode(RootKey root, std::shared_ptr<RegNode> node) {
  roots_[static_cast<int>(root)] = std::move(node);
}

std::shared_ptr<RegNode> TreeRegistry::RootNode(RootKey root) const {
  return roots_[static_cast<int>(root)];
}

bool TreeRegistry::Resolve(RegHandle handle, OpenKeyState& state) const {
  const int root = RootIndex(handle);
  if (root >= 0) {
    state.node = roots_[root];
    state.access = win::kKeyAllAccess;
    return state.node != nullptr;
  }
  auto it = handles_.find(handle);
  if (it == handles_.end()) return false;
  state = it->second;
  return true;
}

std::shared_ptr<RegNode> TreeRegistry::Walk(const std::shared_ptr<RegNode>& node,
                                            std::string_view subPath) const {
  std::shared_ptr<RegNode> found;
  bool created = false;
  WalkPath(OpenKeyState{node, win::kKeyAllAccess}, subPath, false, found, created);
  return found;
}

RegNode* TreeRegistry::Redirect(RegNode* node, std::string_view /*next*/) const {
  return node;
}

RegNode* TreeRegistry::Follow(RegNode* node) const {
  return node;
}

std::shared_ptr<RegNode> TreeRegistry::Share(RegNode* node) const {
  if (node->parent != nullptr) return ChildPtr(*node->parent, node->name);
  for (const auto& root : roots_) {
    if (root.get() == node) return root;
  }
  return nullptr;
}

long TreeRegistry::WalkPath(const OpenKeyState& from, std::string_view subPath, bool create,
                            std::shared_ptr<RegNode>& result, bool& created) const {
  // Probes walk paths by the ten thousand: keys are looked up in place, and only the key at
  // the end is handed out as a shared pointer.
  result = nullptr;
  created = false;
  RegNode* current = from.node.get();
  std::shared_ptr<RegNode> last;  // the key the last component found, owned
  std::size_t start = 0;
  while (start <= subPath.size()) {
    std::size_t end = subPath.find('\\', start);
    if (end == std::string_view::npos) end = subPath.size();
    const std::string_view part = subPath.substr(start, end - start);
    const bool isLast = end == subPath.size();
    start = end + 1;
    if (part.empty()) continue;
    const bool fromHandle = current == from.node.get();
    current = Redirect(current, part);
    RegNode* next = nullptr;
    if (isLast) {
      last = ChildPtr(*current, part);
      next = last.get();
    } else {
      next = current->FindChild(part);
    }
    if (next != nullptr) {
      next = Follow(next);
      if (next == nullptr) return win::kFileNotFound;  // a link to nowhere
    } else {
      if (!create) return win::kFileNotFound;
      // Creating needs the right to add subkeys, on the handle for the first step and on the
      // key itself below it.
      const std::uint32_t have = fromHandle ? from.access : current->grantedAccess;
      if ((have & win::kKeyCreateSubKey) == 0 ||
          (current->grantedAccess & win::kKeyCreateSubKey) == 0) {
        return win::kAccessDenied;
      }
      if (const long guard = Guard(); guard != win::kSuccess) return guard;
      next = current->AddChild(part);
      created = true;
      Changed(*next);
      last = nullptr;
    }
    current = next;
  }
  RegNode* const reached = Redirect(current, {});
  result = last && last.get() == reached ? std::move(last)
           : reached == from.node.get()  ? from.node
                                         : Share(reached);
  return win::kSuccess;
}

long TreeRegistry::Guard() const {
  return writeGuard ? writeGuard(lastErrorDetail_) : win::kSuccess;
}

void TreeRegistry::Changed(RegNode& node) const {
  node.MarkModified();
  if (onChange) onChange(node);
}

RegHandle TreeRegistry::NewHandle(std::shared_ptr<RegNode> node, std::uint32_t access) {
  const RegHandle handle = nextHandle_++;
  handles_[handle] = OpenKeyState{std::move(node), access};
  return handle;
}

long TreeRegistry::OpenKey(RegHandle parent, std::string_view subPath, std::uint32_t access,
                           RegHandle& result) {
  result = 0;
  OpenKeyState state;
  if (!Resolve(parent, state)) return win::kInvalidHandle;
  if (state.node->deleted) return win::kKeyDeleted;
  std::shared_ptr<RegNode> node = Walk(state.node, subPath);
  if (!node) return win::kFileNotFound;
  if ((access & ~node->grantedAccess & 0xF003F) != 0) return win::kAccessDenied;
  result = NewHandle(std::move(node), access);
  return win::kSuccess;
}

long TreeRegistry::CreateKey(RegHandle parent, std::string_view subPath, std::uint32_t access,
                             RegHandle& result) {
  result = 0;
  lastErrorDetail_.clear();
  OpenKeyState state;
  if (!Resolve(parent, state)) return win::kInvalidHandle;
  if (state.node->deleted) return win::kKeyDeleted;
  std::shared_ptr<RegNode> node;
  bool created = false;
  if (const long walked = WalkPath(state, subPath, true, node, created); walked != win::kSuccess) {
    return walked;
  }
  if (!created && (access & ~node->grantedAccess & 0xF003F) != 0) return win::kAccessDenied;
  result = NewHandle(std::move(node), access);
  return win::kSuccess;
}

long TreeRegistry::CloseKey(RegHandle key) {
  if (RootIndex(key) >= 0) return win::kSuccess;
  return handles_.erase(key) ? win::kSuccess : win::kInvalidHandle;
}

namespace {
long EnumName(const std::string& name, std::uint32_t maxUnits, std::string& out) {
  if (Utf16Length(name) + 1 > maxUnits) return win::kMoreData;
  out = name;
  return win::kSuccess;
}

// An instruction of its own: GCC 12's dead-code pass drops __builtin_prefetch here.
void PrefetchForRead(const void* address) {
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
  asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(address)));
#else
  (void)address;
#endif
}

// Subkeys are enumerated index after index, and a caller usually looks into each as it is named.
// Keys created one by one lie anywhere in memory: the ones a few places on are fetched into the
// cache now: the key first; its name and its subkey list once the key is there; its first
// subkey (the one a probe of the key looks for, as often as not) once the list is.
void PrefetchAhead(const std::vector<std::shared_ptr<RegNode>>& children, std::size_t index) {
  constexpr std::size_t kKeyAhead = 8;
  constexpr std::size_t kNameAhead = 4;
  constexpr std::size_t kSubkeyAhead = 2;
  if (index + kKeyAhead < children.size()) PrefetchForRead(children[index + kKeyAhead].get());
  if (index + kNameAhead < children.size()) {
    const RegNode& next = *children[index + kNameAhead];
    PrefetchForRead(next.name.data());
    if (!next.children.empty()) PrefetchForRead(next.children.data());
  }
  if (index + kSubkeyAhead < children.size()) {
    const RegNode& soon = *children[index + kSubkeyAhead];
    if (!soon.children.empty()) PrefetchForRead(soon.children.front().get());
  }
}
}  // namespace

long TreeRegistry::EnumKey(RegHandle key, std::uint32_t index, std::uint32_t maxUnits,
                           std::string& name) {
  OpenKeyState state;
  if (!Resolve(key, state)) return win::kInvalidHandle;
  if (state.node->deleted) return win::kKeyDeleted;
  if ((state.access & win::kKeyEnumerateSubKeys) == 0) return win::kAccessDenied;
  if (index >= state.node->children.size()) return win::kNoMoreItems;
  PrefetchAhead(state.node->children, index);
  return EnumName(state.node->children[index]->name, maxUnits, name);
}

long TreeRegistry::EnumValue(RegHandle key, std::uint32_t index, std::uint32_t maxUnits,
                             std::string& name) {
  OpenKeyState state;
  if (!Resolve(key, state)) return win::kInvalidHandle;
  if (state.node->deleted) return win::kKeyDeleted;
  if ((state.access & win::kKeyQueryValue) == 0) return win::kAccessDenied;
  const std::vector<RegValue>& values = state.node->Values();
  if (index >= values.size()) return win::kNoMoreItems;
  return EnumName(values[index].name, maxUnits, name);
}

long TreeRegistry::QueryInfoKey(RegHandle key, std::uint32_t& subKeys, std::uint32_t& values) {
  OpenKeyState state;
  if (!Resolve(key, state)) return win::kInvalidHandle;
  if (state.node->deleted) return win::kKeyDeleted;
  if ((state.access & win::kKeyQueryValue) == 0) return win::kAccessDenied;
  subKeys = static_cast<std::uint32_t>(state.node->children.size());
  values = static_cast<std::uint32_t>(state.node->Values().size());
  return win::kSuccess;
}

long TreeRegistry::QueryValue(RegHandle key, std::string_view name, std::uint32_t& type,
                              std::vector<std::uint8_t>* data) {
  OpenKeyState state;
  if (!Resolve(key, state)) return win::kInvalidHandle;
  if (state.node->deleted) return win::kKeyDeleted;
  if ((state.access & win::kKeyQueryValue) == 0) return win::kAccessDenied;
  const RegValue* value = state.node->FindValue(name);
  if (value == nullptr) return win::kFileNotFound;
  type = value->type;
  if (data != nullptr) *data = value->data;
  return win::kSuccess;
}

long TreeRegistry::SetValue(RegHandle key, std::string_view name, std::uint32_t type,
                            const std::vector<std::uint8_t>& data) {
  lastErrorDetail_.clear();
  OpenKeyState state;
  if (!Resolve(key, state)) return win::kInvalidHandle;
  if (state.node->deleted) return win::kKeyDeleted;
  if ((state.access & win::kKeySetValue) == 0) return win::kAccessDenied;
  if (const long guard = Guard(); guard != win::kSuccess) return guard;
  state.node->PutValue(name, type, data);
  Changed(*state.node);
  return win::kSuccess;
}

long TreeRegistry::DeleteValue(RegHandle key, std::string_view name) {
  lastErrorDetail_.clear();
  OpenKeyState state;
  if (!Resolve(key, state)) return win::kInvalidHandle;
  if (state.node->deleted) return win::kKeyDeleted;
  if ((state.access & win::kKeySetValue) == 0) return win::kAccessDenied;
  if (state.node->FindValue(name) == nullptr) return win::kFileNotFound;
  if (const long guard = Guard(); guard != win::kSuccess) return guard;
  state.node->RemoveValue(name);
  Changed(*state.node);
  return win::kSuccess;
}

long TreeRegistry::DeleteKey(RegHandle parent, std::string_view subPath) {
  lastErrorDetail_.clear();
  OpenKeyState state;
  if (!Resolve(parent, state)) return win::kInvalidHandle;
  if (state.node->deleted) return win::kKeyDeleted;
  // An empty path names the key of the handle itself, as RegDeleteKey opens it; a predefined
  // root cannot be deleted.
  std::shared_ptr<RegNode> node = Walk(state.node, subPath);
  if (!node) return win::kFileNotFound;
  for (const auto& root : roots_) {
    if (root == node) return win::kAccessDenied;
  }
  if ((node->grantedAccess & win::kDelete) == 0) return win::kAccessDenied;
  if (!node->children.empty()) return win::kAccessDenied;
  RegNode* owner = node->parent;
  if (owner == nullptr) return win::kAccessDenied;
  if (const long guard = Guard(); guard != win::kSuccess) return guard;
  owner->RemoveChild(node->name);
  Changed(*owner);
  return win::kSuccess;
}

std::string TreeRegistry::NativeKeyName(RootKey root, std::string_view path) {
  const std::vector<std::string> parts = SplitPath(path);
  RegNode* current = roots_[static_cast<int>(root)].get();
  std::size_t walked = 0;
  for (; walked < parts.size(); ++walked) {
    RegNode* from = Redirect(current, parts[walked]);
    RegNode* next = from->FindChild(parts[walked]);
    if (next != nullptr) next = Follow(next);
    // A missing key would be made where the walk stands now, redirected for its name.
    if (next == nullptr) {
      current = from;
      break;
    }
    current = next;
  }
  if (walked == parts.size()) current = Redirect(current, {});
  std::string name = NativeNodeName(*current);
  if (name.empty()) return name;
  for (; walked < parts.size(); ++walked) name += "\\" + parts[walked];
  return name;
}

std::string TreeRegistry::NativeNodeName(const RegNode& node) const {
  constexpr const char* kRootNames[4] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                         "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
  const RegNode* base = nullptr;
  int baseRoot = -1;
  for (const RegNode* at = &node; at != nullptr; at = at->parent) {
    for (int i = 0; i < 4; ++i) {
      if (roots_[i].get() != at) continue;
      const bool user = baseRoot == static_cast<int>(RootKey::CurrentUser);
      if (!user) {
        base = at;
        baseRoot = i;
      }
    }
  }
  if (base == nullptr) return {};
  std::vector<const RegNode*> chain;
  for (const RegNode* at = &node; at != base; at = at->parent) chain.push_back(at);
  std::string name = kRootNames[baseRoot];
  for (auto at = chain.rbegin(); at != chain.rend(); ++at) name += "\\" + (*at)->name;
  return name;
}

RegNode* TreeRegistry::Find(RootKey root, std::string_view path) const {
  std::shared_ptr<RegNode> node = Walk(roots_[static_cast<int>(root)], path);
  return node.get();
}

RegNode* TreeRegistry::Ensure(RootKey root, std::string_view path) {
  RegNode* current = roots_[static_cast<int>(root)].get();
  for (const std::string& part : SplitPath(path)) current = current->AddChild(part);
  return current;
}

void TreeRegistry::SetValueDirect(RootKey root, std::string_view path, std::string_view name,
                                  std::uint32_t type, std::vector<std::uint8_t> data) {
  Ensure(root, path)->PutValue(name, type, std::move(data));
}

void TreeRegistry::SetString(RootKey root, std::string_view path, std::string_view name,
                             std::string_view text, std::uint32_t type) {
  std::vector<std::uint8_t> data = Utf8ToUtf16Bytes(text);
  data.push_back(0);
  data.push_back(0);
  SetValueDirect(root, path, name, type, std::move(data));
}

void TreeRegistry::SetDword(RootKey root, std::string_view path, std::string_view name,
                            std::uint32_t value) {
  SetValueDirect(root, path, name, win::kRegDword, Le32Bytes(value));
}

void TreeRegistry::SetBinary(RootKey root, std::string_view path, std::string_view name,
                             std::vector<std::uint8_t> data) {
  SetValueDirect(root, path, name, win::kRegBinary, std::move(data));
}

void TreeRegistry::SetAccess(RootKey root, std::string_view path, std::uint32_t access) {
  Ensure(root, path)->grantedAccess = access;
}

std::optional<std::string> TreeRegistry::GetString(RootKey root, std::string_view path,
                                                   std::string_view name) const {
  const RegNode* node = Find(root, path);
  if (node == nullptr) return std::nullopt;
  const RegValue* value = node->FindValue(name);
  if (value == nullptr) return std::nullopt;
  std::u16string text = Utf16FromBytes(value->data.data(), value->data.size());
  const std::size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos) text.resize(nul);
  return Utf16ToUtf8(text);
}

std::optional<std::uint32_t> TreeRegistry::GetDword(RootKey root, std::string_view path,
                                                    std::string_view name) const {
  const RegNode* node = Find(root, path);
  if (node == nullptr) return std::nullopt;
  const RegValue* value = node->FindValue(name);
  if (value == nullptr || value->type != win::kRegDword || value->data.size() != 4) {
    return std::nullopt;
  }
  return LoadLe32(value->data.data());
}

}  // namespace tovalin
