// tovalin-cli report: the whole model, as text or JSON.
#include <iostream>
#include <memory>

#include "app/cli/Commands.h"
#include "app/cli/Report.h"

namespace tovalin::cli {

Command AddReport(CLI::App& app) {
  struct Options {
    MachineOptions machine;
    bool json = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* sub = app.add_subcommand(
      "report", "Show the Office products, applications, items and registered user found");
  AddMachineOptions(*sub, options->machine);
  sub->add_flag("--json", options->json, "Print JSON instead of text");
  return {sub, [options] {
            std::unique_ptr<Platform> platform = OpenMachine(options->machine, false);
            TZelMso mso(*platform);
            if (options->json) {
              std::cout << JsonText(ReportJson(mso)) << "\n";
            } else {
              PrintReport(mso, std::cout);
            }
            return 0;
          }};
}

}  // namespace tovalin::cli
