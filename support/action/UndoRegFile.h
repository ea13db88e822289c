// The undo file of an action: a regedit file that, imported by regedit on the machine (or by
// `wine regedit` in the prefix), gives back the registry as it was before the action, without
// Tovalin. A user may keep it, mail it or double-click it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "support/action/RegChanges.h"

namespace tovalin {

// The key a program's root and path lead to, as regedit run natively names it
// (IRegistry::NativeKeyName); "" when it cannot tell, and the program's own name is written.
using NativeKeyNames = std::function<std::string(RootKey root, std::string_view path)>;

// The bytes of the file for `changes` made: keys the action made are removed, keys it removed
// come back with every value they held, and each value it changed gets its type and data back;
// one it added is removed. `undoes` says in a ";" line what the action was.
std::vector<std::uint8_t> UndoRegFile(const RegChangeSet& changes, const NativeKeyNames& names,
                                      std::string_view undoes);

}  // namespace tovalin
