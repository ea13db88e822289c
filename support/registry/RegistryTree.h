// The registry as a tree of keys, shared by the in-memory registry and the file-backed Wine
// hives. Keys keep their subkeys sorted without regard to case, as Windows and Wine enumerate
// them; values keep the order in which they were added.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "support/platform/Platform.h"

namespace tovalin {

struct RegValue {
  std::string name;
  std::uint32_t type = win::kRegNone;
  std::vector<std::uint8_t> data;
};

struct RegNode;

// How a file-backed store reads a key's values from the key's text (RegNode::fileText), which
// it checked when it read the file.
struct RegValueSource {
  // Every value, as they are kept once read.
  std::vector<RegValue> (*all)(const RegNode& key);
  // Where each value's line starts in the text, and the value's name.
  void (*lines)(const RegNode& key,
                const std::function<void(std::uint32_t at, std::string_view name)>& found);
  // The value whose line starts at `at`.
  RegValue (*valueAt)(const RegNode& key, std::uint32_t at);
};

// Finds a key's values by name when it has many: a lookup per name in a list would make loading
// or reading a key of a hundred thousand values take minutes. It only speeds lookups up: it is
// rebuilt whenever the list is not the one it was made for, and every hit is checked.
class RegValueIndex {
 public:
  RegValueIndex() = default;
  // A copied key has values of its own: its index is made anew.
  RegValueIndex(const RegValueIndex&) {}
  RegValueIndex& operator=(const RegValueIndex&) {
    built_.reset();
    return *this;
  }
  RegValueIndex(RegValueIndex&&) = default;
  RegValueIndex& operator=(RegValueIndex&&) = default;

  // The position of the value named `name` (compared as CompareNoCase does), or -1.
  std::ptrdiff_t Find(const std::vector<RegValue>& values, std::string_view name);
  // After values.push_back of a name not there yet; `before` is what values.data() was.
  void Appended(const std::vector<RegValue>& values, const RegValue* before);
  // After values.erase of a value, or when the list may be reordered.
  void Forget() { built_.reset(); }
  // For a key whose values are still in its text: the value named `name` read from there (null
  // when there is none). False when the text cannot be looked into by name (a name given
  // twice): the values are to be read all.
  bool FindInText(const RegNode& key, const RegValueSource& source, std::string_view name,
                  const RegValue*& found);

 private:
  // Positions in an open-addressing table (a position + 1 per slot, 0 for none, at most half of
  // the buckets used): four bytes for each slot, where a map of names took seventy a value.
  struct Built {
    std::vector<std::uint32_t> buckets;
    // The list as it was when indexed: one that reallocated, grew or shrank since is indexed
    // anew.
    const RegValue* storage = nullptr;
    std::size_t size = 0;
    // Over the key's text instead: the name's hash in the upper half of a slot, where its line
    // starts + 1 in the lower; and the values read from the text so far, by where they start.
    std::vector<std::uint64_t> lines;
    std::unordered_map<std::uint32_t, RegValue> read;
  };
  void Build(const std::vector<RegValue>& values);
  bool BuildOverText(const RegNode& key, const RegValueSource& source);
  const RegValue& ReadAt(const RegNode& key, const RegValueSource& source, std::uint32_t at);
  void Insert(const std::vector<RegValue>& values, std::size_t position);

  std::unique_ptr<Built> built_;  // only for keys with many values: most keys have a few
};

struct RegNode {
  std::string name;
  RegNode* parent = nullptr;
  std::vector<std::shared_ptr<RegNode>> children;  // sorted by CompareNoCase
  // For file-backed stores, in a text the store keeps alive (a hive keeps the file it read):
  // what it kept to write an untouched key back as it was, and the text of the key with all its
  // subkeys, as long as none of them changed and it lies in one piece in the order the store
  // writes keys. Every change clears the latter for the key and the keys above it, so that a
  // key whose text is empty has keys above it with empty text as well.
  std::string_view fileText;
  std::string_view subtreeText;
  std::string className;
  mutable RegValueIndex valueIndex;
  // Rights this key grants; an open asking for more is denied.
  std::uint32_t grantedAccess = win::kKeyAllAccess;
  // One past the child the last lookup found. Scans open keys in enumeration order, so the next
  // lookup nearly always wants that child; it is only a guess, checked before searching.
  mutable std::uint32_t lookupHint = 0;
  // Where the name the last lookup aside looked for belongs among the children.
  mutable std::uint32_t asideHint = 0;
  bool deleted = false;
  // A Wine symbolic link key ("#link" in a hive file): kept so that rewriting it keeps it a link.
  bool link = false;

  RegNode() = default;
  RegNode(const RegNode&) = default;
  RegNode(RegNode&&) = default;
  RegNode& operator=(const RegNode&) = default;
  RegNode& operator=(RegNode&&) = default;
  // Takes the subtree apart level by level: a hive may nest keys deeper than the call stack.
  ~RegNode();

  // The values, in insertion order, no name twice. EditValues hands the list out to be
  // reordered (the index is made anew); values are added and removed with PutValue and
  // RemoveValue, and a name is not renamed in place.
  const std::vector<RegValue>& Values() const {
    if (valueSource_ != nullptr) ReadValues();
    return values_;
  }
  std::vector<RegValue>& EditValues() {
    if (valueSource_ != nullptr) ReadValues();
    valueIndex.Forget();  // the caller may reorder them
    return values_;
  }
  // For file-backed stores: the values are in the key's text, read from it when first asked
  // for, so that keys nobody looks into cost no more than their text. A value of a key of many
  // is looked up in the text by name, without reading the others.
  void DeferValues(const RegValueSource* source) { valueSource_ = source; }

  // Set when the key or its values changed since a file-backed store loaded or saved it.
  bool Modified() const { return modified_; }
  void MarkModified() {
    modified_ = true;
    Touched();
  }
  // For stores: the key is as the file now holds it.
  void MarkSaved() { modified_ = false; }
  // A deleted key is never read again: values still in its text are not read from a text that
  // may go with the file it came from.
  void MarkDeleted() {
    deleted = true;
    valueSource_ = nullptr;
  }

  RegNode* FindChild(std::string_view childName) const;
  // The same, for a lookup beside a scan in enumeration order (a probe for a redirecting
  // subkey at each step of a path): the guess the scan relies on stays as it was.
  RegNode* FindChildAside(std::string_view childName) const;
  // Inserts in sorted position; returns the existing child when there is one.
  RegNode* AddChild(std::string_view childName);
  bool RemoveChild(std::string_view childName);
  // Valid until the values change or are all read (Values, EditValues).
  const RegValue* FindValue(std::string_view valueName) const;
  // Sets or replaces a value, keeping its place when it exists.
  void PutValue(std::string_view valueName, std::uint32_t type, std::vector<std::uint8_t> data);
  bool RemoveValue(std::string_view valueName);
  // Path from the hive root, components joined by "\".
  std::string Path() const;

 private:
  RegValue* FindValueToChange(std::string_view valueName);
  void ReadValues() const;
  // Something in the subtree changed: its text, and that of the keys above, no longer holds.
  void Touched();

  mutable std::vector<RegValue> values_;
  mutable const RegValueSource* valueSource_ = nullptr;  // set while they are still to be read
  bool modified_ = false;
};

// Shared pointer to the child, for code that keeps nodes alive.
std::shared_ptr<RegNode> ChildPtr(const RegNode& node, std::string_view childName);

}  // namespace tovalin