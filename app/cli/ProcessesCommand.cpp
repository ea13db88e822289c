// tovalin-cli processes: the running processes of an executable.
#include <iostream>
#include <memory>

#include "app/cli/Commands.h"

namespace tovalin::cli {

Command AddProcesses(CLI::App& app) {
  struct Options {
    MachineOptions machine;
    std::string exeName;
  };
  auto options = std::make_shared<Options>();
  CLI::App* sub = app.add_subcommand(
      "processes", "List the ids of the running processes of an executable, one a line");
  sub->add_option("EXENAME", options->exeName, "Executable file name, such as EXCEL.EXE")
      ->required();
  AddMachineOptions(*sub, options->machine);
  return {sub, [options] {
            std::unique_ptr<Platform> platform = OpenMachine(options->machine, false);
            TZelMso mso(*platform);
            TArrayDword pids;
            mso.FindRunningProcesses(options->exeName, pids);
            for (std::uint32_t pid : pids) std::cout << pid << "\n";
            return 0;
          }};
}

}  // namespace tovalin::cli
