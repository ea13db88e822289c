// The history of actions: one record per change Tovalin made, kept by the user (see
// DefaultHistoryFolder), so that every change can be undone. A record holds the before- and
// after-state of every key and value the action changed and the files it moved to the trash;
// beside it lies a regedit file that restores the before-state without Tovalin.
//
// A record is stored durably before the action's first write, marked as unfinished, and marked
// finished once the action is saved: an action cut off at any point leaves no record that claims
// it was done (the next listing settles what the registry shows).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/action/PlanningPlatform.h"
#include "support/action/RegChanges.h"
#include "support/platform/Platform.h"

namespace tovalin {

// What one action was, for people.
struct ActionInfo {
  std::int32_t itemId = 0;  // 0: the registered user
  bool userInfo = false;
  std::string title;        // the item's title, or the registered user's
  std::string application;  // "Excel"; "" for the registered user
  std::string what;         // what was done: the state's caption, the repair's word
  std::string machine;      // the Wine prefix on Linux; "" on Windows
};

// A file the action removed: moved to the trash (`trash.trashed` set) or, where no trash took
// it, removed for good.
struct RemovedFile {
  TrashedFile trash;
  bool inTrash = false;
};

struct ActionRecord {
  int sequence = 0;  // grows with each action; names the files
  std::string time;  // ISO 8601, local time with its offset
  ActionInfo info;
  RegChangeSet registry;
  // Regedit's name of each key of `registry` on the machine itself, in the same order.
  std::vector<std::string> nativeNames;
  std::vector<RemovedFile> files;
  bool undone = false;
  // An undo of it is under way: stored before the undo writes, so that an undo cut off is told
  // by what the registry shows.
  bool undoing = false;
  std::string recordFile;
  std::string undoFile;  // the regedit file; "" when the action changed no key
};

// Told by an action as it goes.
class IActionJournal {
 public:
  virtual ~IActionJournal() = default;
  // The rights are checked and nothing is written yet: the record of what will change.
  virtual void Planned(const ActionPlan& plan, IRegistry& registry) = 0;
  // A file is gone (each, as it goes, so that a cut-off repair still tells where they went).
  virtual void FileRemoved(const RemovedFile& file) = 0;
  // Everything is saved.
  virtual void Done() = 0;
  // Nothing was changed after all.
  virtual void Abandoned() = 0;
};

class ActionHistory {
 public:
  static constexpr std::size_t kKept = 200;
  // The regedit file that undoes a record, as bytes.
  using UndoFileWriter = std::function<std::string(const ActionRecord&)>;
  // The one regedit writes and reads: "Windows Registry Editor Version 5.00", UTF-16LE.
  static UndoFileWriter RegeditUndoFile();

  // `undoFile` writes each record's undo file (RegeditUndoFile when empty); `now` gives the
  // time stamped on records (the local time when empty).
  explicit ActionHistory(std::string folder, UndoFileWriter undoFile = {},
                         std::function<std::string()> now = {});
  const std::string& Folder() const { return folder_; }

  // Newest first. Records a cut-off action left unfinished are settled against `registry`:
  // kept when it shows the action made, dropped when it shows nothing made; without a registry
  // they are left for later and not listed.
  std::vector<ActionRecord> List(IRegistry* registry);
  // The journal of one action; an action with nothing to change leaves no record.
  std::unique_ptr<IActionJournal> Journal(ActionInfo info);
  void MarkUndone(ActionRecord record);
  void MarkUndoing(ActionRecord record, bool undoing);

 private:
  class Entry;
  std::string PathOf(int sequence, const char* ending) const;
  int NextSequence() const;
  void Store(const ActionRecord& record, bool finished);
  void Prune();

  std::string folder_;
  UndoFileWriter undoFile_;
  std::function<std::string()> now_;
};

// The local time as ISO 8601 with its offset ("2026-12-11T09:30:00+09:00").
std::string LocalTimeText();

}  // namespace tovalin
