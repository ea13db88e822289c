#include "support/platform/memory/MemoryRegistry.h"

#include <algorithm>

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

// The first child not ordered before `name`. The hint is tried first: the child after the one
// found last (a scan in enumeration order), then that one again (a key opened twice).
auto LowerBound(const RegNode& node, std::string_view name) {
  const auto& children = node.children;
  const std::size_t hint = node.lookupHint;
  for (const std::size_t k : {hint, hint - 1}) {
    if (k < children.size() && CompareNoCase(children[k]->name, name) == 0) {
      node.lookupHint = k + 1;
      return children.begin() + static_cast<std::ptrdiff_t>(k);
    }
  }
  auto it = std::lower_bound(children.begin(), children.end(), name,
                             [](const std::shared_ptr<RegNode>& child, std::string_view key) {
                               return CompareNoCase(child->name, key) < 0;
                             });
  node.lookupHint = static_cast<std::size_t>(it - children.begin()) + 1;
  return it;
}

void MarkDeleted(RegNode& node) {
  node.deleted = true;
  for (auto& child : node.children) MarkDeleted(*child);
}

}  // namespace

RegNode::~RegNode() {
  std::vector<std::shared_ptr<RegNode>> pending = std::move(children);
  while (!pending.empty()) {
    std::shared_ptr<RegNode> node = std::move(pending.back());
    pending.pop_back();
    // Only a subtree nobody else holds is ours to take apart.
    if (node.use_count() == 1) {
      for (std::shared_ptr<RegNode>& child : node->children) pending.push_back(std::move(child));
      node->children.clear();
    }
  }
}

RegNode* RegNode::FindChild(std::string_view childName) const {
  auto it = LowerBound(*this, childName);
  if (it != children.end() && CompareNoCase((*it)->name, childName) == 0) return it->get();
  return nullptr;
}

std::shared_ptr<RegNode> ChildPtr(const RegNode& node, std::string_view childName) {
  auto it = LowerBound(node, childName);
  if (it != node.children.end() && CompareNoCase((*it)->name, childName) == 0) return *it;
  return nullptr;
}

RegNode* RegNode::AddChild(std::string_view childName) {
  auto it = LowerBound(*this, childName);
  if (it != children.end() && CompareNoCase((*it)->name, childName) == 0) return it->get();
  auto node = std::make_shared<RegNode>();
  node->name = std::string(childName);
  node->parent = this;
  node->modified = true;
  return children.insert(it, std::move(node))->get();
}

bool RegNode::RemoveChild(std::string_view childName) {
  auto it = LowerBound(*this, childName);
  if (it == children.end() || CompareNoCase((*it)->name, childName) != 0) return false;
  MarkDeleted(**it);
  (*it)->parent = nullptr;
  children.erase(it);
  return true;
}

namespace {
// Below this many values a scan is as quick as the index and costs no memory.
constexpr std::size_t kIndexedValues = 32;
}  // namespace

void RegValueIndex::Build(const std::vector<RegValue>& values) {
  if (!built_) built_ = std::make_unique<Built>();
  built_->slots.clear();
  built_->slots.reserve(values.size());
  for (std::size_t k = 0; k < values.size(); ++k) {
    built_->slots.try_emplace(FoldNoCase(values[k].name), k);
  }
  built_->storage = values.data();
  built_->size = values.size();
}

std::ptrdiff_t RegValueIndex::Find(const std::vector<RegValue>& values, std::string_view name) {
  if (values.size() >= kIndexedValues) {
    if (!built_ || built_->storage != values.data() || built_->size != values.size()) {
      Build(values);
    }
    const auto it = built_->slots.find(FoldNoCase(name));
    if (it == built_->slots.end()) return -1;
    const std::size_t k = it->second;
    if (CompareNoCase(values[k].name, name) == 0) return static_cast<std::ptrdiff_t>(k);
    // Reordered in place: indexed anew next time; a scan finds it now.
    built_->storage = nullptr;
  }
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (CompareNoCase(values[k].name, name) == 0) return static_cast<std::ptrdiff_t>(k);
  }
  return -1;
}

void RegValueIndex::Appended(const std::vector<RegValue>& values, const RegValue* before) {
  // Kept up to date only when it was up to date before the value was added.
  if (!built_ || built_->storage != before || built_->size + 1 != values.size()) return;
  built_->slots.try_emplace(FoldNoCase(values.back().name), values.size() - 1);
  built_->storage = values.data();
  built_->size = values.size();
}

void RegValueIndex::Removed(const std::vector<RegValue>& values, std::size_t at,
                            std::string_view name) {
  if (!built_ || built_->storage != values.data() || built_->size != values.size() + 1) {
    built_.reset();
    return;
  }
  // Cheaper than indexing anew, and no dearer than the erase itself.
  built_->slots.erase(FoldNoCase(name));
  for (auto& [folded, position] : built_->slots) {
    if (position > at) --position;
  }
  built_->size = values.size();
}

RegValue* RegNode::FindValue(std::string_view valueName) {
  const std::ptrdiff_t k = valueIndex.Find(values, valueName);
  return k < 0 ? nullptr : &values[static_cast<std::size_t>(k)];
}

const RegValue* RegNode::FindValue(std::string_view valueName) const {
  const std::ptrdiff_t k = valueIndex.Find(values, valueName);
  return k < 0 ? nullptr : &values[static_cast<std::size_t>(k)];
}

void RegNode::PutValue(std::string_view valueName, std::uint32_t type,
                       std::vector<std::uint8_t> data) {
  modified = true;
  if (RegValue* v = FindValue(valueName)) {
    v->type = type;
    v->data = std::move(data);
    return;
  }
  const RegValue* before = values.data();
  values.push_back(RegValue{std::string(valueName), type, std::move(data)});
  valueIndex.Appended(values, before);
}

bool RegNode::RemoveValue(std::string_view valueName) {
  const std::ptrdiff_t k = valueIndex.Find(values, valueName);
  if (k < 0) return false;
  const std::string removed = std::move(values[static_cast<std::size_t>(k)].name);
  values.erase(values.begin() + k);
  valueIndex.Removed(values, static_cast<std::size_t>(k), removed);
  modified = true;
  return true;
}

std::string RegNode::Path() const {
  std::vector<const RegNode*> chain;
  for (const RegNode* n = this; n != nullptr && n->parent != nullptr; n = n->parent) {
    chain.push_back(n);
  }
  std::string out;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    if (!out.empty()) out.push_back('\\');
    out += (*it)->name;
  }
  return out;
}

MemoryRegistry::MemoryRegistry() {
  for (auto& root : roots_) root = std::make_shared<RegNode>();
}

RegHandle MemoryRegistry::Root(RootKey root) {
  return kRootHandles[static_cast<int>(root)];
}

void MemoryRegistry::SetRootNode(RootKey root, std::shared_ptr<RegNode> node) {
  roots_[static_cast<int>(root)] = std::move(node);
}

std::shared_ptr<RegNode> MemoryRegistry::RootNode(RootKey root) const {
  return roots_[static_cast<int>(root)];
}

bool MemoryRegistry::Resolve(RegHandle handle, OpenKeyState& state) const {
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

std::shared_ptr<RegNode> MemoryRegistry::Walk(const std::shared_ptr<RegNode>& node,
                                              std::string_view subPath) const {
  // Probes walk paths by the ten thousand: the components are looked up in place, and only
  // the key at the end is handed out as a shared pointer.
  const RegNode* current = node.get();
  std::string_view pending;  // the last component seen, not yet looked up
  std::size_t start = 0;
  while (start <= subPath.size()) {
    std::size_t end = subPath.find('\\', start);
    if (end == std::string_view::npos) end = subPath.size();
    if (end > start) {
      if (!pending.empty()) {
        current = current->FindChild(pending);
        if (current == nullptr) return nullptr;
      }
      pending = subPath.substr(start, end - start);
    }
    start = end + 1;
  }
  return pending.empty() ? node : ChildPtr(*current, pending);
}

long MemoryRegistry::Guard() {
  return writeGuard ? writeGuard() : win::kSuccess;
}

void MemoryRegistry::Changed(RegNode& node) {
  node.modified = true;
  if (onChange) onChange(node);
}

RegHandle MemoryRegistry::NewHandle(std::shared_ptr<RegNode> node, std::uint32_t access) {
  const RegHandle handle = nextHandle_++;
  handles_[handle] = OpenKeyState{std::move(node), access};
  return handle;
}

long MemoryRegistry::OpenKey(RegHandle parent, std::string_view subPath, std::uint32_t access,
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

long MemoryRegistry::CreateKey(RegHandle parent, std::string_view subPath, std::uint32_t access,
                               RegHandle& result) {
  result = 0;
  OpenKeyState state;
  if (!Resolve(parent, state)) return win::kInvalidHandle;
  if (state.node->deleted) return win::kKeyDeleted;
  std::shared_ptr<RegNode> current = state.node;
  bool created = false;
  for (const std::string& part : SplitPath(subPath)) {
    std::shared_ptr<RegNode> next = ChildPtr(*current, part);
    if (!next) {
      // Creating needs the right to add subkeys, on the handle for the first step and on the
      // key itself below it.
      const std::uint32_t have = current == state.node ? state.access : current->grantedAccess;
      if ((have & win::kKeyCreateSubKey) == 0 ||
          (current->grantedAccess & win::kKeyCreateSubKey) == 0) {
        return win::kAccessDenied;
      }
      if (const long guard = Guard(); guard != win::kSuccess) return guard;
      current->AddChild(part);
      next = ChildPtr(*current, part);
      created = true;
      Changed(*next);
    }
    current = next;
  }
  if (!created && (access & ~current->grantedAccess & 0xF003F) != 0) return win::kAccessDenied;
  result = NewHandle(std::move(current), access);
  return win::kSuccess;
}

long MemoryRegistry::CloseKey(RegHandle key) {
  if (RootIndex(key) >= 0) return win::kSuccess;
  return handles_.erase(key) ? win::kSuccess : win::kInvalidHandle;
}

namespace {
long EnumName(const std::string& name, std::uint32_t maxUnits, std::string& out) {
  if (Utf16Length(name) + 1 > maxUnits) return win::kMoreData;
  out = name;
  return win::kSuccess;
}
}  // namespace

long MemoryRegistry::EnumKey(RegHandle key, std::uint32_t index, std::uint32_t maxUnits,
                             std::string& name) {
  OpenKeyState state;
  if (!Resolve(key, state)) return win::kInvalidHandle;
  if (state.node->deleted) return win::kKeyDeleted;
  if ((state.access & win::kKeyEnumerateSubKeys) == 0) return win::kAccessDenied;
  if (index >= state.node->children.size()) return win::kNoMoreItems;
  return EnumName(state.node->children[index]->name, maxUnits, name);
}

long MemoryRegistry::EnumValue(RegHandle key, std::uint32_t index, std::uint32_t maxUnits,
                               std::string& name) {
  OpenKeyState state;
  if (!Resolve(key, state)) return win::kInvalidHandle;
  if (state.node->deleted) return win::kKeyDeleted;
  if ((state.access & win::kKeyQueryValue) == 0) return win::kAccessDenied;
  if (index >= state.node->values.size()) return win::kNoMoreItems;
  return EnumName(state.node->values[index].name, maxUnits, name);
}

long MemoryRegistry::QueryInfoKey(RegHandle key, std::uint32_t& subKeys, std::uint32_t& values) {
  OpenKeyState state;
  if (!Resolve(key, state)) return win::kInvalidHandle;
  if (state.node->deleted) return win::kKeyDeleted;
  if ((state.access & win::kKeyQueryValue) == 0) return win::kAccessDenied;
  subKeys = static_cast<std::uint32_t>(state.node->children.size());
  values = static_cast<std::uint32_t>(state.node->values.size());
  return win::kSuccess;
}

long MemoryRegistry::QueryValue(RegHandle key, std::string_view name, std::uint32_t& type,
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

long MemoryRegistry::SetValue(RegHandle key, std::string_view name, std::uint32_t type,
                              const std::vector<std::uint8_t>& data) {
  OpenKeyState state;
  if (!Resolve(key, state)) return win::kInvalidHandle;
  if (state.node->deleted) return win::kKeyDeleted;
  if ((state.access & win::kKeySetValue) == 0) return win::kAccessDenied;
  if (const long guard = Guard(); guard != win::kSuccess) return guard;
  state.node->PutValue(name, type, data);
  Changed(*state.node);
  return win::kSuccess;
}

long MemoryRegistry::DeleteValue(RegHandle key, std::string_view name) {
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

long MemoryRegistry::DeleteKey(RegHandle parent, std::string_view subPath) {
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

RegNode* MemoryRegistry::Find(RootKey root, std::string_view path) const {
  std::shared_ptr<RegNode> node = Walk(roots_[static_cast<int>(root)], path);
  return node.get();
}

RegNode* MemoryRegistry::Ensure(RootKey root, std::string_view path) {
  RegNode* current = roots_[static_cast<int>(root)].get();
  for (const std::string& part : SplitPath(path)) current = current->AddChild(part);
  return current;
}

void MemoryRegistry::SetValueDirect(RootKey root, std::string_view path, std::string_view name,
                                    std::uint32_t type, std::vector<std::uint8_t> data) {
  Ensure(root, path)->PutValue(name, type, std::move(data));
}

void MemoryRegistry::SetString(RootKey root, std::string_view path, std::string_view name,
                               std::string_view text, std::uint32_t type) {
  std::vector<std::uint8_t> data = Utf8ToUtf16Bytes(text);
  data.push_back(0);
  data.push_back(0);
  SetValueDirect(root, path, name, type, std::move(data));
}

void MemoryRegistry::SetDword(RootKey root, std::string_view path, std::string_view name,
                              std::uint32_t value) {
  SetValueDirect(root, path, name, win::kRegDword,
                 {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                  static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
}

void MemoryRegistry::SetBinary(RootKey root, std::string_view path, std::string_view name,
                               std::vector<std::uint8_t> data) {
  SetValueDirect(root, path, name, win::kRegBinary, std::move(data));
}

void MemoryRegistry::SetAccess(RootKey root, std::string_view path, std::uint32_t access) {
  Ensure(root, path)->grantedAccess = access;
}

std::optional<std::string> MemoryRegistry::GetString(RootKey root, std::string_view path,
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

std::optional<std::uint32_t> MemoryRegistry::GetDword(RootKey root, std::string_view path,
                                                      std::string_view name) const {
  const RegNode* node = Find(root, path);
  if (node == nullptr) return std::nullopt;
  const RegValue* value = node->FindValue(name);
  if (value == nullptr || value->type != win::kRegDword || value->data.size() != 4) {
    return std::nullopt;
  }
  return static_cast<std::uint32_t>(value->data[0] | (value->data[1] << 8) |
                                    (value->data[2] << 16) |
                                    (static_cast<std::uint32_t>(value->data[3]) << 24));
}

}  // namespace tovalin
