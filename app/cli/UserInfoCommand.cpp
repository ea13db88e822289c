// tovalin-cli user-info: the registered user, shown, or changed as the window changes it: one
// action over every place that holds it, all or nothing.
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>

#include "app/cli/Commands.h"
#include "support/ZelRegistry.h"

namespace tovalin::cli {

Command AddUserInfo(CLI::App& app) {
  struct Options {
    MachineOptions machine;
    std::optional<std::string> company;
    std::optional<std::string> owner;
    std::optional<std::string> initials;
    int waitSeconds = 0;
    bool json = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* sub = app.add_subcommand(
      "user-info",
      "Show the registered user; with --company, --owner or --initials, change it everywhere "
      "it is kept, as one action (exit 0 only when every place took it)");
  sub->add_option("--company", options->company, "Company name (empty: none)")->type_name("TEXT");
  sub->add_option("--owner", options->owner, "User name (empty: none)")->type_name("TEXT");
  sub->add_option("--initials", options->initials, "Initials (empty: none)")->type_name("TEXT");
  sub->add_flag("--json", options->json, "Print {\"company\", \"owner\", \"initials\"} as JSON");
  AddMachineOptions(*sub, options->machine);
  AddWaitOption(*sub, options->waitSeconds);
  return {sub, [options] {
            const bool change = options->company || options->owner || options->initials;
            if (change) RequireSavedMachine(options->machine);
            std::unique_ptr<Platform> platform = OpenMachine(options->machine, change);
            if (change) WaitForWine(*platform, options->waitSeconds);
            TZelMso mso(*platform);
            if (mso.ProductCode.empty() && mso.Versions.empty()) {
              throw std::runtime_error("Microsoft Office を検出出来ませんでした。");
            }
            // A field not given keeps what the window would show in it.
            const std::string company = options->company.value_or(mso.Company);
            const std::string owner = options->owner.value_or(mso.Owner);
            const std::string initials = options->initials.value_or(mso.Initials);
            bool tookEverywhere = true;
            if (change) {
              const TZelMso::TActionPlan plan = mso.PlanUserInfoUpdate(company, owner, initials);
              ActionHistory history = OpenHistory(options->machine);
              ActionInfo info = TZelMso::UserInfoActionInfo();
              info.machine = MachineName(options->machine);
              mso.Perform(plan, history.Journal(std::move(info)).get());
              mso.ReadUserInfo();
              // Every place holds what was written, and the information reads back as asked.
              tookEverywhere =
                  Differences(platform->Registry(), plan.Changes.registry.Reversed()).empty() &&
                  mso.UserInfoReads(company, owner, initials);
            }
            if (options->json) {
              const nlohmann::ordered_json info = {
                  {"company", mso.Company}, {"owner", mso.Owner}, {"initials", mso.Initials}};
              std::cout << JsonText(info) << "\n";
            } else {
              std::cout << "会社名 (Company): " << mso.Company << "\n"
                        << "ユーザー名 (Owner): " << mso.Owner << "\n"
                        << "頭文字 (Initials): " << mso.Initials << "\n";
            }
            if (tookEverywhere) return 0;
            std::cerr << "tovalin-cli: 登録情報を更新しましたが、読み戻した値が指定と違います "
                         "(the information read back differs).\n";
            return 1;
          }};
}

}  // namespace tovalin::cli
