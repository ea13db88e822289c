// tovalin-cli undo: a change of the history undone as one action of its own.
#include <iostream>
#include <memory>

#include "app/cli/Commands.h"
#include "support/ZelRegistry.h"
#include "support/action/Undo.h"

namespace tovalin::cli {

Command AddUndo(CLI::App& app) {
  struct Options {
    MachineOptions machine;
    int number = 0;
    int waitSeconds = 0;
    bool force = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* sub = app.add_subcommand(
      "undo",
      "Undo the newest change not yet undone, or change N of `history`: its keys and values as "
      "they were before, its files back from the trash");
  sub->add_option("N", options->number, "The change's number in `history`")
      ->check(CLI::PositiveNumber);
  sub->add_flag("--force", options->force,
                "Undo even where another program changed the keys or files since");
  AddMachineOptions(*sub, options->machine);
  AddWaitOption(*sub, options->waitSeconds);
  return {sub, [options] {
            RequireSavedMachine(options->machine);
            std::unique_ptr<Platform> platform = OpenMachine(options->machine, true);
            WaitForWine(*platform, options->waitSeconds);
            ActionHistory history = OpenHistory(options->machine);
            const std::vector<ActionRecord> records = history.List(&platform->Registry());
            const ActionRecord* chosen = nullptr;
            if (options->number > 0) {
              if (static_cast<std::size_t>(options->number) > records.size()) {
                throw std::runtime_error("変更 " + std::to_string(options->number) +
                                         " は履歴にありません (history で確認してください)。");
              }
              chosen = &records[static_cast<std::size_t>(options->number - 1)];
            } else {
              for (const ActionRecord& record : records) {
                if (!record.undone) {
                  chosen = &record;
                  break;
                }
              }
              if (chosen == nullptr) throw std::runtime_error("元に戻す変更がありません。");
            }
            const UndoOutcome outcome = UndoAction(
                *platform, history, *chosen, options->force, [&platform](const RegChangeSet& c) {
                  PerformChanges(platform->Registry(), c,
                                 [&platform](long code) { return platform->ErrorText(code); });
                  return true;
                });
            std::cout << "元に戻しました (undone): " << chosen->info.title << " → "
                      << chosen->info.what << "\n";
            for (const std::string& left : outcome.filesLeft) {
              std::cerr << "tovalin-cli: ごみ箱から戻せなかったファイル: " << left << "\n";
            }
            return outcome.filesLeft.empty() ? 0 : 1;
          }};
}

}  // namespace tovalin::cli
