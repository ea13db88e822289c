#include "support/action/Undo.h"

#include <utility>

#include "support/ZelRegistry.h"

namespace tovalin {

std::vector<std::string> UndoConflicts(Platform& machine, const ActionRecord& record) {
  std::vector<std::string> lines = Differences(machine.Registry(), record.registry.Reversed());
  for (const RemovedFile& file : record.files) {
    if (!file.inTrash) {
      lines.push_back("ファイル " + file.trash.path +
                      " はごみ箱に移さず削除したため、戻せません。");
    } else if (machine.Files().GetFileAttributes(file.trash.path) != win::kInvalidFileAttributes) {
      lines.push_back("ファイル " + file.trash.path + " があります。");
    }
  }
  return lines;
}

RegChangeSet RestoringChanges(IRegistry& registry, const RegChangeSet& record) {
  RegChangeSet restoring;
  for (const RegKeyChange& key : record.keys) {
    const OpenedRegKey open(registry, key.root, key.path, win::kKeyQueryValue);
    RegKeyChange change{key.root, key.path, open.Open(), key.existedBefore, {}};
    if (!change.existedBefore && !change.existsAfter) continue;
    for (const RegValueChange& value : key.values) {
      std::optional<RegData> now = ReadRegValue(registry, open.Handle(), value.name);
      if (now != value.before) change.values.push_back({value.name, std::move(now), value.before});
    }
    if (change.existedBefore == change.existsAfter && change.values.empty()) continue;
    restoring.keys.push_back(std::move(change));
  }
  return restoring;
}

UndoOutcome UndoAction(Platform& machine, ActionHistory& history, const ActionRecord& record,
                       bool force, const std::function<bool(const RegChangeSet&)>& perform) {
  UndoOutcome outcome;
  if (record.undone) throw ERegistryException("この変更はもう元に戻してあります。");
  if (!force) {
    if (const std::vector<std::string> conflicts = UndoConflicts(machine, record);
        !conflicts.empty()) {
      std::string text =
          "変更の後で次のものが変わっているため、元に戻しませんでした"
          "（--force で戻せます）。";
      for (const std::string& line : conflicts) text += "\r\n" + line;
      throw ERegistryException(text);
    }
  }
  history.MarkUndoing(record, true);
  bool made = false;
  try {
    made = perform(RestoringChanges(machine.Registry(), record.registry));
  } catch (...) {
    history.MarkUndoing(record, false);
    throw;
  }
  if (!made) {
    history.MarkUndoing(record, false);
    outcome.declined = true;
    return outcome;
  }
  history.MarkUndone(record);
  for (const RemovedFile& file : record.files) {
    if (!file.inTrash) {
      outcome.filesLeft.push_back(file.trash.path + ": ごみ箱に移さずに削除したファイルです。");
      continue;
    }
    const long code = machine.Files().RestoreFile(file.trash);
    if (code == win::kSuccess) continue;
    outcome.filesLeft.push_back(
        file.trash.path + ": " +
        (code == win::kFileExists     ? std::string("同じ名前のファイルがあります。")
         : code == win::kFileNotFound ? std::string("ごみ箱にもうありません。")
                                      : machine.ErrorText(code)));
  }
  return outcome;
}

}  // namespace tovalin
