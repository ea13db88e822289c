// What the fuzz targets share: a check that aborts with a message libFuzzer shows beside the
// input, and a comparison of registry trees.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "support/Text.h"
#include "support/registry/TreeRegistry.h"

namespace tovalin::fuzz {

[[noreturn]] inline void Fail(const std::string& what) {
  // Control bytes spelled out: names from the input may hold NULs and line breaks.
  std::string shown;
  for (const char c : what) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", u);
      shown += escape;
    } else {
      shown.push_back(c);
    }
  }
  std::fprintf(stderr, "fuzz check failed: %s\n", shown.c_str());
  std::abort();
}

inline void Check(bool condition, const std::string& what) {
  if (!condition) Fail(what);
}

// Same names, values (in the same order when `valueOrder`, else only as a set: a changed key's
// values come out in the writer's order, and so do those of a key `a` has marked modified, as
// the reader marks a key that a hive names twice in other letter case), class, link and
// subkeys, recursively.
inline std::string TreeDifference(const RegNode& a, const RegNode& b, bool valueOrder,
                                  const std::string& path = {}) {
  const std::string here = path.empty() ? a.name : path + "\\" + a.name;
  // A key with nothing of its own is only implied by its subkeys' paths: whichever spelling
  // came first names it, and the registry ignores case.
  const bool implied = a.Values().empty() && a.className.empty() && !a.link;
  if (implied ? CompareNoCase(a.name, b.name) != 0 : a.name != b.name) {
    return "name " + here + " vs " + b.name;
  }
  if (a.className != b.className) return "class of " + here;
  if (a.link != b.link) return "link flag of " + here;
  if (a.Values().size() != b.Values().size()) return "value count of " + here;
  for (std::size_t k = 0; k < a.Values().size(); ++k) {
    const RegValue& va = a.Values()[k];
    const RegValue* vb = valueOrder && !a.Modified() ? &b.Values()[k] : b.FindValue(va.name);
    if (vb == nullptr || vb->name != va.name) return "value \"" + va.name + "\" of " + here;
    if (vb->type != va.type) return "type of \"" + va.name + "\" in " + here;
    if (vb->data != va.data) return "data of \"" + va.name + "\" in " + here;
  }
  if (a.children.size() != b.children.size()) return "subkey count of " + here;
  for (std::size_t k = 0; k < a.children.size(); ++k) {
    std::string d = TreeDifference(*a.children[k], *b.children[k], valueOrder, here);
    if (!d.empty()) return d;
  }
  return {};
}

inline void MarkModified(RegNode& node) {
  node.MarkModified();
  for (auto& child : node.children) MarkModified(*child);
}

}  // namespace tovalin::fuzz

namespace tovalin::fuzz {

// A deep copy, to compare a registry with what it was before.
inline std::shared_ptr<RegNode> CloneTree(const RegNode& node, RegNode* parent = nullptr) {
  auto copy = std::make_shared<RegNode>();
  copy->name = node.name;
  copy->parent = parent;
  for (const RegValue& v : node.Values()) copy->PutValue(v.name, v.type, v.data);
  copy->className = node.className;
  copy->link = node.link;
  copy->grantedAccess = node.grantedAccess;
  for (const auto& child : node.children) copy->children.push_back(CloneTree(*child, copy.get()));
  return copy;
}

}  // namespace tovalin::fuzz
