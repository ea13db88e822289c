// tovalin-cli repair: a repair, refused while its application runs.
#include <iostream>
#include <memory>

#include "app/cli/Commands.h"

namespace tovalin::cli {

Command AddRepair(CLI::App& app) {
  struct Options {
    MachineOptions machine;
    std::int32_t itemId = 0;
    int waitSeconds = 0;
  };
  auto options = std::make_shared<Options>();
  CLI::App* sub =
      app.add_subcommand("repair", "Run a repair item; refused while the application is running");
  sub->add_option("ITEMID", options->itemId, "Item id, as `report` lists it")->required();
  AddMachineOptions(*sub, options->machine);
  AddWaitOption(*sub, options->waitSeconds);
  return {sub, [options] {
            RequireSavedMachine(options->machine);
            std::unique_ptr<Platform> platform = OpenMachine(options->machine, true);
            WaitForWine(*platform, options->waitSeconds);
            TZelMso mso(*platform);
            const TZelMsoItem& item = OfferedItem(mso, options->itemId, TZelItemKind::Trouble);
            const TZelMsoApp& application =
                kMsoApps[static_cast<std::size_t>(ItemApplication(item.ItemId))];
            TArrayDword pids;
            mso.FindRunningProcesses(application.ExeName, pids);
            if (!pids.empty()) {
              std::cerr << "tovalin-cli: " << application.AppName
                        << " が実行中です。終了してから修復してください。\n";
              return 1;
            }
            ActionHistory history = OpenHistory(options->machine);
            ActionInfo info = mso.ItemActionInfo(item.ItemId, 0);
            info.machine = MachineName(options->machine);
            const TZelMso::TRepairResult done =
                mso.RunRepair(item.ItemId, history.Journal(std::move(info)).get());
            if (!done.Skipped.empty()) {
              std::cerr << "tovalin-cli: " << done.Summary() << "\n";
              return 1;
            }
            std::cout << item.Title << ": " << item.Captions.at(0) << "\n";
            if (done.RemovesFiles) std::cout << done.Summary() << "\n";
            return done.Succeeded() ? 0 : 1;
          }};
}

}  // namespace tovalin::cli
