// Undoing a recorded action: its keys and values put back to their before-state as one action,
// its files brought back from the trash, its record marked undone. What another program changed
// since (Wine, Office, another tool) is named, and the undo refused unless forced.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/action/ActionHistory.h"
#include "support/action/RegChanges.h"
#include "support/platform/Platform.h"

namespace tovalin {

// What differs from the record's after-state now: each key, value and file in words.
std::vector<std::string> UndoConflicts(Platform& machine, const ActionRecord& record);

// The changes that bring the record's keys and values to their before-state from what the
// registry holds now (what another program changed since included).
RegChangeSet RestoringChanges(IRegistry& registry, const RegChangeSet& record);

struct UndoOutcome {
  bool declined = false;  // the registry part was not made (an elevation declined)
  // Files that could not be brought back, in words.
  std::vector<std::string> filesLeft;
};

// Undoes a record. Refuses with ERegistryException listing the conflicts unless `force`.
// `perform` makes the registry changes as one action (PerformChanges, or the window's way with
// an elevated part) and returns false when declined; the record is marked undone once the
// registry part is made.
UndoOutcome UndoAction(Platform& machine, ActionHistory& history, const ActionRecord& record,
                       bool force, const std::function<bool(const RegChangeSet&)>& perform);

}  // namespace tovalin
