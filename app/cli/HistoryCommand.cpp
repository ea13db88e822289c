// tovalin-cli history: the actions Tovalin made on the machine, newest first, numbered from 1
// as undo takes them.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>

#include "app/cli/Commands.h"
#include "support/action/ActionJson.h"

namespace tovalin::cli {

namespace {

nlohmann::ordered_json HistoryJson(const std::vector<ActionRecord>& records) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  int number = 0;
  for (const ActionRecord& record : records) {
    nlohmann::ordered_json entry = {{"number", ++number}, {"time", record.time}};
    if (record.info.userInfo) {
      entry["userInfo"] = true;
    } else {
      entry["itemId"] = record.info.itemId;
    }
    nlohmann::ordered_json files = nlohmann::ordered_json::array();
    for (const RemovedFile& file : record.files) {
      files.push_back({{"path", NameToJson(file.trash.path)}, {"inTrash", file.inTrash}});
    }
    entry.update({{"title", NameToJson(record.info.title)},
                  {"application", NameToJson(record.info.application)},
                  {"what", NameToJson(record.info.what)},
                  {"undone", record.undone},
                  {"undoFile", record.undoFile.empty() ? nlohmann::ordered_json(nullptr)
                                                       : NameToJson(record.undoFile)},
                  {"changes", ChangesToJson(record.registry)},
                  {"files", std::move(files)}});
    list.push_back(std::move(entry));
  }
  return list;
}

}  // namespace

Command AddHistory(CLI::App& app) {
  struct Options {
    MachineOptions machine;
    bool json = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* sub = app.add_subcommand(
      "history", "List the changes Tovalin made, newest first, numbered as undo takes them");
  sub->add_flag("--json", options->json, "Print JSON instead of text");
  AddMachineOptions(*sub, options->machine);
  return {sub, [options] {
            RequireSavedMachine(options->machine);
            std::unique_ptr<Platform> platform = OpenMachine(options->machine, false);
            ActionHistory history = OpenHistory(options->machine);
            const std::vector<ActionRecord> records = history.List(&platform->Registry());
            if (options->json) {
              std::cout << JsonText(HistoryJson(records)) << "\n";
              return 0;
            }
            std::cout << "変更の履歴 (history): " << records.size() << "\n";
            int number = 0;
            for (const ActionRecord& record : records) {
              std::cout << "  " << ++number << "  " << record.time << "  "
                        << (record.info.application.empty() ? "-" : record.info.application) << "  "
                        << record.info.title << " → " << record.info.what
                        << (record.undone ? "  [元に戻し済み (undone)]" : "") << "\n";
              if (!record.undoFile.empty()) {
                std::cout << "      元に戻すファイル (undo file): " << record.undoFile << "\n";
              }
              for (const RemovedFile& file : record.files) {
                std::cout << "      "
                          << (file.inTrash ? "ごみ箱へ (to the trash): " : "削除 (removed): ")
                          << file.trash.path << "\n";
              }
            }
            return 0;
          }};
}

}  // namespace tovalin::cli
