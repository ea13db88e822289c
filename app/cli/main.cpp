// tovalin-cli: builds the Office model of a machine and shows it. One function per subcommand;
// every subcommand that looks at a machine shares the machine options.
#include <CLI/CLI.hpp>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/Machine.h"
#include "app/cli/Report.h"
#include "office/ZelMso.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace tovalin::cli {

namespace {

// A subcommand: its options are bound when it is added, run() does the work after parsing and
// returns the exit code.
struct Command {
  CLI::App* app = nullptr;
  std::function<int()> run;
};

void AddMachineOptions(CLI::App& sub, MachineOptions& machine) {
#ifndef _WIN32
  CLI::Option* prefix =
      sub.add_option("--prefix", machine.prefix,
                     "Wine prefix to inspect (default: $WINEPREFIX, else ~/.wine)")
          ->type_name("DIR");
#endif
  CLI::Option* reg =
      sub.add_option("--reg", machine.regFiles,
                     "Regedit export(s) to inspect instead, applied in order; they hold the "
                     "registry as a 32-bit program sees it")
          ->type_name("FILE")
          ->expected(1, -1);
#ifndef _WIN32
  prefix->excludes(reg);
#else
  (void)reg;
#endif
}

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
              std::cout << ReportJson(mso).dump(2, ' ', false,
                                                nlohmann::json::error_handler_t::replace)
                        << "\n";
            } else {
              PrintReport(mso, std::cout);
            }
            return 0;
          }};
}

int Main(int argc, char** argv) {
  CLI::App app{"Tovalin: Microsoft Office 9.0-12.0 troubleshooting utility", "tovalin-cli"};
  app.require_subcommand(1);
  std::vector<Command> commands;
  commands.push_back(AddReport(app));

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }

  for (const Command& command : commands) {
    if (!command.app->parsed()) continue;
    try {
      const int code = command.run();
      std::cout.flush();
      if (!std::cout) {
        std::cerr << "tovalin-cli: 出力を書き込めませんでした。\n";
        return 1;
      }
      return code;
    } catch (const std::exception& e) {
      std::cout.flush();
      std::cerr << "tovalin-cli: " << e.what() << "\n";
      return 1;
    }
  }
  return 1;
}

}  // namespace

}  // namespace tovalin::cli

int main(int argc, char** argv) {
#ifdef _WIN32
  SetConsoleOutputCP(CP_UTF8);
#endif
  return tovalin::cli::Main(argc, argv);
}
