#include "support/registry/RegistryTree.h"

#include <algorithm>

#include "support/Text.h"

namespace tovalin {

namespace {

using ChildIt = std::vector<std::shared_ptr<RegNode>>::const_iterator;

ChildIt Search(const RegNode& node, std::string_view name) {
  return std::lower_bound(node.children.begin(), node.children.end(), name,
                          [](const std::shared_ptr<RegNode>& child, std::string_view key) {
                            return CompareNoCase(child->name, key) < 0;
                          });
}

// The first child not ordered before `name`. The hint is tried first: the child after the one
// found last (a scan in enumeration order), then that one again (a key opened twice).
ChildIt LowerBound(const RegNode& node, std::string_view name) {
  const auto& children = node.children;
  const std::size_t hint = node.lookupHint;
  for (const std::size_t k : {hint, hint - 1}) {
    if (k < children.size() && CompareNoCase(children[k]->name, name) == 0) {
      node.lookupHint = static_cast<std::uint32_t>(k + 1);
      return children.begin() + static_cast<std::ptrdiff_t>(k);
    }
  }
  const ChildIt it = Search(node, name);
  node.lookupHint = static_cast<std::uint32_t>(it - children.begin() + 1);
  return it;
}

// The same for a lookup aside from a scan, which asks each key for the same name: where that
// name belonged last time is checked first, against the children on either side of it.
ChildIt LowerBoundAside(const RegNode& node, std::string_view name) {
  const auto& children = node.children;
  const std::size_t k = node.asideHint;
  if (k <= children.size() &&
      (k == children.size() || CompareNoCase(children[k]->name, name) >= 0) &&
      (k == 0 || CompareNoCase(children[k - 1]->name, name) < 0)) {
    return children.begin() + static_cast<std::ptrdiff_t>(k);
  }
  const ChildIt it = Search(node, name);
  node.asideHint = static_cast<std::uint32_t>(it - children.begin());
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

RegNode* RegNode::FindChildAside(std::string_view childName) const {
  auto it = LowerBoundAside(*this, childName);
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
  RegNode* added = children.insert(it, std::move(node))->get();
  added->MarkModified();
  return added;
}

bool RegNode::RemoveChild(std::string_view childName) {
  auto it = LowerBound(*this, childName);
  if (it == children.end() || CompareNoCase((*it)->name, childName) != 0) return false;
  MarkDeleted(**it);
  (*it)->parent = nullptr;
  children.erase(it);
  Touched();
  return true;
}

namespace {
// Below this many values a scan is as quick as the index and costs no memory.
constexpr std::size_t kIndexedValues = 32;
}  // namespace

void RegValueIndex::Build(const std::vector<RegValue>& values) {
  if (!built_) built_ = std::make_unique<Built>();
  built_->byName.clear();
  built_->byName.reserve(values.size());
  for (std::size_t k = 0; k < values.size(); ++k) {
    built_->byName.try_emplace(FoldNoCase(values[k].name), k);
  }
  built_->storage = values.data();
  built_->size = values.size();
}

std::ptrdiff_t RegValueIndex::Find(const std::vector<RegValue>& values, std::string_view name) {
  if (values.size() >= kIndexedValues) {
    if (!built_ || built_->storage != values.data() || built_->size != values.size()) {
      Build(values);
    }
    const auto it = built_->byName.find(FoldNoCase(name));
    if (it == built_->byName.end()) return -1;
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
  built_->byName.try_emplace(FoldNoCase(values.back().name), values.size() - 1);
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
  built_->byName.erase(FoldNoCase(name));
  for (auto& [folded, position] : built_->byName) {
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
  MarkModified();
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
  MarkModified();
  return true;
}

void RegNode::Touched() {
  subtreeText = {};
  // Keys above one whose text is already empty have empty text too.
  for (RegNode* n = parent; n != nullptr && !n->subtreeText.empty(); n = n->parent) {
    n->subtreeText = {};
  }
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

}  // namespace tovalin
