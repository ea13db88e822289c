// tovalin-cli set: a setting changed, or with --check worked out, as one action.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "app/cli/Commands.h"
#include "support/ZelRegistry.h"

namespace tovalin::cli {

Command AddSet(CLI::App& app) {
  struct Options {
    MachineOptions machine;
    std::int32_t itemId = 0;
    std::int32_t state = 0;
    int waitSeconds = 0;
    bool json = false;
    bool check = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* sub = app.add_subcommand(
      "set", "Change a setting item; prints the state read back, exit 0 when it took effect");
  sub->add_option("ITEMID", options->itemId, "Item id, as `report` lists it")->required();
  sub->add_option("STATE", options->state, "0 or 1: the first or second caption")
      ->required()
      ->check(CLI::Range(0, 1));
  AddMachineOptions(*sub, options->machine);
  AddWaitOption(*sub, options->waitSeconds);
  sub->add_flag("--json", options->json,
                "Print {\"itemId\", \"before\", \"after\", \"changed\"} as JSON instead");
  sub->add_flag("--check", options->check,
                "Work out the state the change would give and write nothing");
  return {sub, [options] {
            RequireSavedMachine(options->machine);
            std::unique_ptr<Platform> platform = OpenMachine(options->machine, !options->check);
            WaitForWine(*platform, options->waitSeconds);
            TZelMso mso(*platform);
            const TZelMsoItem item = OfferedItem(mso, options->itemId, TZelItemKind::Setting);
            // The setters expect a real change: switching the logon IME off twice, say, would
            // replace the saved layout list by the one-entry list.
            const std::int32_t before = mso.GetItemState(options->itemId);
            std::int32_t state = before;
            std::string reason;
            if (state != options->state && options->check) {
              // A check makes the change on the planning view of the machine only, and reads
              // the state there.
              state = mso.PredictItemState(options->itemId, options->state);
              reason = mso.ItemStateReason();
            } else if (state != options->state) {
              ActionHistory history = OpenHistory(options->machine);
              ActionInfo info = mso.ItemActionInfo(options->itemId, options->state);
              info.machine = MachineName(options->machine);
              // The setter reads the state back itself: only a state other than the one asked
              // for is read again (on a large machine a read can scan every class).
              const bool took = mso.SetItemState(options->itemId, options->state,
                                                 history.Journal(std::move(info)).get());
              reason = mso.ItemStateReason();
              state = took ? options->state : mso.GetItemState(options->itemId);
            }
            if (options->json) {
              const nlohmann::ordered_json result = {{"itemId", options->itemId},
                                                     {"before", before},
                                                     {"after", state},
                                                     {"changed", state != before}};
              std::cout << result.dump() << "\n";
            } else {
              std::cout << state << "\n";
            }
            if (state == options->state) return 0;
            // Like every other failure, this one names its reason.
            std::cerr << "tovalin-cli: 「" << item.Title << "」(項目 " << options->itemId
                      << ") を「" << StateName(item, options->state) << "」"
                      << (options->check ? "にできません。変更しても状態は「"
                                         : "にできませんでした。読み戻した状態は「")
                      << StateName(item, state) << "」です。" << reason << "\n";
            return 1;
          }};
}

}  // namespace tovalin::cli
