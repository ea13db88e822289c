// tovalin-cli get: the state of a setting.
#include <iostream>
#include <memory>

#include "app/cli/Commands.h"

namespace tovalin::cli {

Command AddGet(CLI::App& app) {
  struct Options {
    MachineOptions machine;
    std::int32_t itemId = 0;
  };
  auto options = std::make_shared<Options>();
  CLI::App* sub = app.add_subcommand("get", "Print the current state of a setting item");
  sub->add_option("ITEMID", options->itemId, "Item id, as `report` lists it")->required();
  AddMachineOptions(*sub, options->machine);
  return {sub, [options] {
            std::unique_ptr<Platform> platform = OpenMachine(options->machine, false);
            TZelMso mso(*platform);
            OfferedItem(mso, options->itemId, TZelItemKind::Setting);
            std::cout << mso.GetItemState(options->itemId) << "\n";
            return 0;
          }};
}

}  // namespace tovalin::cli
