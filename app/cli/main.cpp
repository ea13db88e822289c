// tovalin-cli: builds the Office model of a machine and shows or changes it. One file per
// subcommand (app/cli/*Command.cpp); this one parses and runs them.
#include <CLI/CLI.hpp>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/Commands.h"
#include "support/ZelRegistry.h"

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include "support/Text.h"
#endif

namespace tovalin::cli {

namespace {

int Main(int argc, char** argv) {
  CLI::App app{"Tovalin: Microsoft Office 9.0-12.0 troubleshooting utility", "tovalin-cli"};
  app.require_subcommand(1);
  std::vector<Command> commands;
  commands.push_back(AddReport(app));
  commands.push_back(AddGet(app));
  commands.push_back(AddSet(app));
  commands.push_back(AddRepair(app));
  commands.push_back(AddProcesses(app));
  commands.push_back(AddUserInfo(app));
  commands.push_back(AddApply(app));
  commands.push_back(AddHistory(app));
  commands.push_back(AddUndo(app));
#ifndef _WIN32
  commands.push_back(AddPrefixes(app));
#endif

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
    } catch (const ERegistryRefusedException& e) {
      std::cout.flush();
      std::cerr << "tovalin-cli: " << e.what() << "\n";
      if (!e.NeedsAdministrator()) return 1;
      std::cerr << "tovalin-cli: 管理者として実行したコマンド プロンプト（管理者特権のプロンプト）"
                   "から実行してください。\n";
      return kExitNeedsAdministrator;
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
  // The C runtime's argument vector is in the ANSI code page, which cannot hold every file name:
  // the arguments are taken from the wide command line instead, as UTF-8 like all text inside.
  int count = 0;
  if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) {
      const std::wstring_view argument(wide[i]);
      arguments.push_back(tovalin::Utf16ToUtf8(std::u16string(argument.begin(), argument.end())));
    }
    LocalFree(wide);
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(argument.data());
    pointers.push_back(nullptr);
    return tovalin::cli::Main(count, pointers.data());
  }
#endif
  return tovalin::cli::Main(argc, argv);
}
