#include "support/action/ActionHistory.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <system_error>

#include "support/action/ActionJson.h"
#include "support/action/HostFiles.h"
#include "support/action/UndoRegFile.h"

namespace tovalin {

namespace {

constexpr const char* kFinished = ".json";
constexpr const char* kUnfinished = ".pending.json";
constexpr const char* kUndo = ".reg";

nlohmann::ordered_json RecordToJson(const ActionRecord& record, bool finished) {
  nlohmann::ordered_json names = nlohmann::ordered_json::array();
  for (const std::string& name : record.nativeNames) names.push_back(NameToJson(name));
  nlohmann::ordered_json files = nlohmann::ordered_json::array();
  for (const RemovedFile& file : record.files) {
    files.push_back({{"path", NameToJson(file.trash.path)},
                     {"trashed", NameToJson(file.trash.trashed)},
                     {"info", NameToJson(file.trash.info)},
                     {"inTrash", file.inTrash}});
  }
  return {{"sequence", record.sequence},
          {"time", record.time},
          {"finished", finished},
          {"undone", record.undone},
          {"undoing", record.undoing},
          {"itemId", record.info.itemId},
          {"userInfo", record.info.userInfo},
          {"title", NameToJson(record.info.title)},
          {"application", NameToJson(record.info.application)},
          {"what", NameToJson(record.info.what)},
          {"machine", NameToJson(record.info.machine)},
          {"registry", ChangesToJson(record.registry)},
          {"nativeNames", std::move(names)},
          {"files", std::move(files)}};
}

ActionRecord RecordFromJson(const nlohmann::json& json) {
  ActionRecord record;
  record.sequence = json.at("sequence").get<int>();
  record.time = json.at("time").get<std::string>();
  record.undone = json.at("undone").get<bool>();
  record.undoing = json.value("undoing", false);
  record.info.itemId = json.at("itemId").get<std::int32_t>();
  record.info.userInfo = json.at("userInfo").get<bool>();
  record.info.title = NameFromJson(json.at("title"));
  record.info.application = NameFromJson(json.at("application"));
  record.info.what = NameFromJson(json.at("what"));
  record.info.machine = NameFromJson(json.at("machine"));
  record.registry = ChangesFromJson(json.at("registry"));
  for (const nlohmann::json& name : json.at("nativeNames")) {
    record.nativeNames.push_back(NameFromJson(name));
  }
  for (const nlohmann::json& file : json.at("files")) {
    record.files.push_back({{NameFromJson(file.at("path")), NameFromJson(file.at("trashed")),
                             NameFromJson(file.at("info"))},
                            file.at("inTrash").get<bool>()});
  }
  return record;
}

// The record's sequence from its file name, and whether it is finished; 0 for other files.
int SequenceOf(const std::string& name, bool& finished) {
  std::size_t digits = 0;
  while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') ++digits;
  if (digits == 0 || digits > 9) return 0;
  const std::string rest = name.substr(digits);
  if (rest != kFinished && rest != kUnfinished) return 0;
  finished = rest == kFinished;
  return std::stoi(name.substr(0, digits));
}

}  // namespace

std::string LocalTimeText() {
  const std::time_t now = std::time(nullptr);
  std::tm local = *std::localtime(&now);
  std::tm utc = *std::gmtime(&now);
  utc.tm_isdst = local.tm_isdst;
  const long offset = static_cast<long>(std::difftime(std::mktime(&local), std::mktime(&utc)));
  char text[96];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d",
                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, offset < 0 ? '-' : '+',
                static_cast<int>(std::labs(offset) / 3600 % 100),
                static_cast<int>(std::labs(offset) % 3600 / 60));
  return text;
}

// One action's record as the action goes.
class ActionHistory::Entry : public IActionJournal {
 public:
  Entry(ActionHistory& history, ActionInfo info) : history_(history) {
    record_.info = std::move(info);
  }

  void Planned(const ActionPlan& plan, IRegistry& registry) override {
    if (plan.Empty()) return;
    record_.sequence = history_.NextSequence();
    record_.time = history_.now_ ? history_.now_() : LocalTimeText();
    record_.registry = plan.registry;
    for (const RegKeyChange& key : plan.registry.keys) {
      std::string native = registry.NativeKeyName(key.root, key.path);
      record_.nativeNames.push_back(native.empty() ? RegKeyName(key.root, key.path)
                                                   : std::move(native));
    }
    history_.Store(record_, false);
    stored_ = true;
  }
  void FileRemoved(const RemovedFile& file) override {
    if (!stored_) return;
    record_.files.push_back(file);
    history_.Store(record_, false);
  }
  void Done() override {
    if (!stored_) return;
    history_.Store(record_, true);
    stored_ = false;
    history_.Prune();
  }
  void Abandoned() override {
    if (!stored_) return;
    std::error_code ignored;
    std::filesystem::remove(HostPath(history_.PathOf(record_.sequence, kUnfinished)), ignored);
    stored_ = false;
  }

 private:
  ActionHistory& history_;
  ActionRecord record_;
  bool stored_ = false;
};

ActionHistory::UndoFileWriter ActionHistory::RegeditUndoFile() {
  return [](const ActionRecord& record) {
    const NativeKeyNames names = [&record](RootKey root, std::string_view path) {
      for (std::size_t i = 0; i < record.registry.keys.size(); ++i) {
        const RegKeyChange& key = record.registry.keys[i];
        if (key.root == root && key.path == path && i < record.nativeNames.size()) {
          return record.nativeNames[i];
        }
      }
      return std::string();
    };
    std::string undoes = "Tovalin: " + record.time + " " + record.info.title;
    if (!record.info.what.empty()) undoes += " → " + record.info.what;
    const std::vector<std::uint8_t> bytes = UndoRegFile(record.registry, names, undoes);
    return std::string(bytes.begin(), bytes.end());
  };
}

ActionHistory::ActionHistory(std::string folder, UndoFileWriter undoFile,
                             std::function<std::string()> now)
    : folder_(std::move(folder)),
      undoFile_(undoFile ? std::move(undoFile) : RegeditUndoFile()),
      now_(std::move(now)) {}

std::string ActionHistory::PathOf(int sequence, const char* ending) const {
  char name[16];
  std::snprintf(name, sizeof(name), "%06d", sequence);
  return HostPathText(HostPath(folder_) / HostPath(std::string(name) + ending));
}

int ActionHistory::NextSequence() const {
  int last = 0;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(HostPath(folder_), error)) {
    bool finished = false;
    last = std::max(last, SequenceOf(HostPathText(entry.path().filename()), finished));
  }
  return last + 1;
}

void ActionHistory::Store(const ActionRecord& record, bool finished) {
  if (finished && undoFile_ && !record.registry.Empty()) {
    WriteHostFileDurably(PathOf(record.sequence, kUndo), undoFile_(record));
  }
  const std::string text = RecordToJson(record, finished).dump(1) + "\n";
  WriteHostFileDurably(PathOf(record.sequence, finished ? kFinished : kUnfinished), text);
  if (finished) {
    std::error_code ignored;
    std::filesystem::remove(HostPath(PathOf(record.sequence, kUnfinished)), ignored);
  }
}

std::unique_ptr<IActionJournal> ActionHistory::Journal(ActionInfo info) {
  return std::make_unique<Entry>(*this, std::move(info));
}

void ActionHistory::MarkUndone(ActionRecord record) {
  record.undone = true;
  record.undoing = false;
  Store(record, true);
}

void ActionHistory::MarkUndoing(ActionRecord record, bool undoing) {
  record.undoing = undoing;
  Store(record, true);
}

std::vector<ActionRecord> ActionHistory::List(IRegistry* registry) {
  std::vector<ActionRecord> records;
  std::error_code error;
  std::vector<std::pair<int, bool>> found;
  for (const auto& entry : std::filesystem::directory_iterator(HostPath(folder_), error)) {
    bool finished = false;
    if (const int sequence = SequenceOf(HostPathText(entry.path().filename()), finished)) {
      found.emplace_back(sequence, finished);
    }
  }
  std::sort(found.begin(), found.end());
  for (const auto& [sequence, finished] : found) {
    const std::string path = PathOf(sequence, finished ? kFinished : kUnfinished);
    ActionRecord record;
    try {
      const std::optional<std::string> text = ReadHostFile(path);
      if (!text) continue;
      record = RecordFromJson(nlohmann::json::parse(*text));
    } catch (const std::exception&) {
      continue;  // a record another version wrote, or one damaged: it cannot be undone here
    }
    if (!finished) {
      if (registry == nullptr) continue;
      // Cut off: made as far as the registry shows it and the files it noted.
      const bool registryMade =
          !record.registry.Empty() && Differences(*registry, record.registry.Reversed()).empty();
      if (!registryMade) {
        record.registry = {};
        record.nativeNames.clear();
      }
      if (record.registry.Empty() && record.files.empty()) {
        std::filesystem::remove(HostPath(path), error);
        continue;
      }
      Store(record, true);
    }
    if (record.undoing && registry != nullptr) {
      // An undo cut off: undone where the registry holds the before-state again.
      record.undone = !record.registry.Empty() && Differences(*registry, record.registry).empty();
      record.undoing = false;
      Store(record, true);
    }
    record.recordFile = PathOf(sequence, kFinished);
    if (!record.registry.Empty() && std::filesystem::exists(HostPath(PathOf(sequence, kUndo)))) {
      record.undoFile = PathOf(sequence, kUndo);
    }
    records.push_back(std::move(record));
  }
  std::reverse(records.begin(), records.end());
  return records;
}

void ActionHistory::Prune() {
  std::error_code error;
  std::vector<int> finished;
  for (const auto& entry : std::filesystem::directory_iterator(HostPath(folder_), error)) {
    bool done = false;
    const int sequence = SequenceOf(HostPathText(entry.path().filename()), done);
    if (sequence != 0 && done) finished.push_back(sequence);
  }
  if (finished.size() <= kKept) return;
  std::sort(finished.begin(), finished.end());
  for (std::size_t i = 0; i + kKept < finished.size(); ++i) {
    std::filesystem::remove(HostPath(PathOf(finished[i], kFinished)), error);
    std::filesystem::remove(HostPath(PathOf(finished[i], kUndo)), error);
  }
}

}  // namespace tovalin
