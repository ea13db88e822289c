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

void MarkSubtreeDeleted(RegNode& node) {
  node.MarkDeleted();
  for (auto& child : node.children) MarkSubtreeDeleted(*child);
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
  MarkSubtreeDeleted(**it);
  (*it)->parent = nullptr;
  children.erase(it);
  Touched();
  return true;
}

namespace {
// Below this many values a scan is as quick as the index and costs no memory.
constexpr std::size_t kIndexedValues = 32;
// A key with this much text looks its values up in the text rather than reading them all.
constexpr std::size_t kLookedUpText = 64 * 1024;

// The same for names that CompareNoCase finds equal.
std::size_t FoldedHash(std::string_view name) {
  std::uint64_t hash = 14695981039346656037ull;
  auto add = [&](char c) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  };
  if (std::any_of(name.begin(), name.end(), [](char c) { return (c & 0x80) != 0; })) {
    for (const char c : FoldNoCase(name)) add(c);
  } else {
    for (const char c : name) add(AsciiUpper(c));
  }
  return static_cast<std::size_t>(hash ^ (hash >> 29));
}

}  // namespace

void RegValueIndex::Insert(const std::vector<RegValue>& values, std::size_t position) {
  std::vector<std::uint32_t>& buckets = built_->buckets;
  const std::size_t mask = buckets.size() - 1;
  std::size_t i = FoldedHash(values[position].name) & mask;
  while (buckets[i] != 0) i = (i + 1) & mask;
  buckets[i] = static_cast<std::uint32_t>(position + 1);
}

void RegValueIndex::Build(const std::vector<RegValue>& values) {
  if (!built_) built_ = std::make_unique<Built>();
  std::size_t size = 64;
  while (size < values.size() * 2) size *= 2;
  built_->buckets.assign(size, 0);
  for (std::size_t k = 0; k < values.size(); ++k) Insert(values, k);
  built_->storage = values.data();
  built_->size = values.size();
}

std::ptrdiff_t RegValueIndex::Find(const std::vector<RegValue>& values, std::string_view name) {
  if (values.size() >= kIndexedValues) {
    if (!built_ || built_->storage != values.data() || built_->size != values.size()) {
      Build(values);
    }
    const std::vector<std::uint32_t>& buckets = built_->buckets;
    const std::size_t mask = buckets.size() - 1;
    for (std::size_t i = FoldedHash(name) & mask; buckets[i] != 0; i = (i + 1) & mask) {
      const std::size_t k = buckets[i] - 1;
      if (CompareNoCase(values[k].name, name) == 0) return static_cast<std::ptrdiff_t>(k);
    }
    return -1;
  }
  for (std::size_t k = 0; k < values.size(); ++k) {
    if (CompareNoCase(values[k].name, name) == 0) return static_cast<std::ptrdiff_t>(k);
  }
  return -1;
}

void RegValueIndex::Appended(const std::vector<RegValue>& values, const RegValue* before) {
  // Kept up to date only when it was up to date before the value was added.
  if (!built_ || built_->storage != before || built_->size + 1 != values.size()) return;
  if (values.size() * 2 > built_->buckets.size()) {
    Build(values);
    return;
  }
  Insert(values, values.size() - 1);
  built_->storage = values.data();
  built_->size = values.size();
}

bool RegValueIndex::BuildOverText(const RegNode& key, const RegValueSource& source) {
  built_ = std::make_unique<Built>();
  // At most one value a line: the table never grows.
  const std::size_t lines =
      static_cast<std::size_t>(std::count(key.fileText.begin(), key.fileText.end(), '\n')) + 1;
  std::size_t size = 64;
  while (size < lines * 2) size *= 2;
  built_->lines.assign(size, 0);
  const std::size_t mask = size - 1;
  bool twice = false;
  source.lines(key, [&](std::uint32_t at, std::string_view name) {
    const std::size_t hash = FoldedHash(name);
    const std::uint64_t tag = static_cast<std::uint64_t>(static_cast<std::uint32_t>(hash)) << 32;
    std::size_t i = hash & mask;
    for (; built_->lines[i] != 0; i = (i + 1) & mask) {
      const std::uint64_t slot = built_->lines[i];
      if ((slot & ~0xFFFFFFFFull) == tag &&
          CompareNoCase(ReadAt(key, source, static_cast<std::uint32_t>(slot - 1)).name, name) ==
              0) {
        twice = true;
      }
    }
    built_->lines[i] = tag | (static_cast<std::uint64_t>(at) + 1);
  });
  if (twice) built_.reset();
  return !twice;
}

const RegValue& RegValueIndex::ReadAt(const RegNode& key, const RegValueSource& source,
                                      std::uint32_t at) {
  auto it = built_->read.find(at);
  if (it == built_->read.end()) it = built_->read.emplace(at, source.valueAt(key, at)).first;
  return it->second;
}

bool RegValueIndex::FindInText(const RegNode& key, const RegValueSource& source,
                               std::string_view name, const RegValue*& found) {
  if ((!built_ || built_->lines.empty()) && !BuildOverText(key, source)) return false;
  const std::size_t hash = FoldedHash(name);
  const std::uint64_t tag = static_cast<std::uint64_t>(static_cast<std::uint32_t>(hash)) << 32;
  const std::size_t mask = built_->lines.size() - 1;
  found = nullptr;
  for (std::size_t i = hash & mask; built_->lines[i] != 0; i = (i + 1) & mask) {
    const std::uint64_t slot = built_->lines[i];
    if ((slot & ~0xFFFFFFFFull) != tag) continue;
    const RegValue& value = ReadAt(key, source, static_cast<std::uint32_t>(slot - 1));
    if (CompareNoCase(value.name, name) == 0) {
      found = &value;
      break;
    }
  }
  return true;
}

void RegNode::ReadValues() const {
  std::vector<RegValue> read = valueSource_->all(*this);
  values_ = std::move(read);
  valueSource_ = nullptr;
  valueIndex.Forget();  // values read from the text go with it
}

RegValue* RegNode::FindValueToChange(std::string_view valueName) {
  if (valueSource_ != nullptr) ReadValues();
  std::vector<RegValue>& values = values_;
  const std::ptrdiff_t k = valueIndex.Find(values, valueName);
  return k < 0 ? nullptr : &values[static_cast<std::size_t>(k)];
}

const RegValue* RegNode::FindValue(std::string_view valueName) const {
  if (valueSource_ != nullptr && fileText.size() >= kLookedUpText) {
    const RegValue* found = nullptr;
    if (valueIndex.FindInText(*this, *valueSource_, valueName, found)) return found;
  }
  const std::vector<RegValue>& values = Values();
  const std::ptrdiff_t k = valueIndex.Find(values, valueName);
  return k < 0 ? nullptr : &values[static_cast<std::size_t>(k)];
}

void RegNode::PutValue(std::string_view valueName, std::uint32_t type,
                       std::vector<std::uint8_t> data) {
  MarkModified();
  if (RegValue* v = FindValueToChange(valueName)) {
    v->type = type;
    v->data = std::move(data);
    return;
  }
  const RegValue* before = values_.data();
  values_.push_back(RegValue{std::string(valueName), type, std::move(data)});
  valueIndex.Appended(values_, before);
}

bool RegNode::RemoveValue(std::string_view valueName) {
  if (valueSource_ != nullptr) ReadValues();
  std::vector<RegValue>& values = values_;
  const std::ptrdiff_t k = valueIndex.Find(values, valueName);
  if (k < 0) return false;
  values.erase(values.begin() + k);
  valueIndex.Forget();  // the positions after it moved
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
