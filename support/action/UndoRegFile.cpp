#include "support/action/UndoRegFile.h"

#include <algorithm>

#include "support/Text.h"
#include "support/regfile/RegeditWriter.h"

namespace tovalin {

namespace {

struct NamedKey {
  const RegKeyChange* change = nullptr;
  std::string name;
  std::size_t depth = 0;
};

bool Below(std::string_view name, std::string_view ancestor) {
  return name.size() > ancestor.size() && name[ancestor.size()] == '\\' &&
         StartsWithNoCase(name, ancestor);
}

}  // namespace

std::vector<std::uint8_t> UndoRegFile(const RegChangeSet& changes, const NativeKeyNames& names,
                                      std::string_view undoes) {
  std::vector<NamedKey> made;
  std::vector<NamedKey> restored;
  for (const RegKeyChange& key : changes.keys) {
    const bool wasMade = !key.existedBefore && key.existsAfter;
    const bool needsRestore = key.existedBefore && (!key.existsAfter || !key.values.empty());
    if (!wasMade && !needsRestore) continue;
    std::string name = names ? names(key.root, key.path) : std::string();
    if (name.empty()) name = RegKeyName(key.root, key.path);
    const std::size_t depth = SplitPath(name).size();
    (wasMade ? made : restored).push_back({&key, std::move(name), depth});
  }
  const auto byDepth = [](const NamedKey& a, const NamedKey& b) { return a.depth < b.depth; };
  std::stable_sort(made.begin(), made.end(), byDepth);
  std::stable_sort(restored.begin(), restored.end(), byDepth);

  RegeditWriter file(undoes);
  // Removing a key takes its subtree along: only the top-most of the keys made is named. They
  // go first, so that nothing restored afterwards lies below one of them.
  std::vector<const std::string*> removed;
  for (const NamedKey& key : made) {
    const bool covered = std::any_of(removed.begin(), removed.end(), [&](const std::string* top) {
      return Below(key.name, *top) || EqualsNoCase(key.name, *top);
    });
    if (covered) continue;
    file.Key(key.name, true);
    removed.push_back(&key.name);
  }
  // Parents before children, though regedit makes missing parents itself.
  for (const NamedKey& key : restored) {
    file.Key(key.name);
    for (const RegValueChange& value : key.change->values) {
      if (value.before) {
        file.Value(value.name, value.before->type, value.before->data);
      } else {
        file.DeletedValue(value.name);
      }
    }
  }
  return file.Bytes();
}

}  // namespace tovalin
