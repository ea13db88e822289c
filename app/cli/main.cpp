// tovalin-cli: builds the Office model of a machine and shows it. One function per subcommand;
// every subcommand that looks at a machine shares the machine options.
#include <CLI/CLI.hpp>
#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/cli/Machine.h"
#include "app/cli/Report.h"
#include "office/ZelMso.h"
#include "support/ZelRegistry.h"

#ifndef _WIN32
#include <chrono>
#include <cstdlib>

#include "office/OfficeProductCodes.h"
#include "support/platform/wine/WinePlatform.h"
#include "support/platform/wine/WinePrefixes.h"
#endif

#ifdef _WIN32
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include "support/Text.h"
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

// --- items and processes ---

// The item as the troubleshooting page offers it: only items of detected applications, so a
// change never works from a slot that is not there (the read-only verb names Excel's path).
const TZelMsoItem& OfferedItem(const TZelMso& mso, std::int32_t itemId, TZelItemKind kind) {
  for (const auto& slot : mso.Slots) {
    if (!slot) continue;
    for (const TZelMsoItem& item : slot->Items) {
      if (item.ItemId != itemId) continue;
      if (item.Kind != static_cast<std::int32_t>(kind)) {
        throw std::runtime_error("項目 " + std::to_string(itemId) +
                                 (kind == TZelItemKind::Setting ? " は設定ではありません。"
                                                                : " は修復ではありません。"));
      }
      return item;
    }
  }
  throw std::runtime_error("項目 " + std::to_string(itemId) +
                           " はこのマシンにはありません (report で一覧を確認してください)。");
}

// Changes must land somewhere: regedit exports are only read, never written back.
#ifndef _WIN32
// --wait[=SECONDS]: a change waits for the prefix's Wine to end instead of being refused.
void AddWaitOption(CLI::App& sub, int& seconds) {
  sub.add_option("--wait", seconds,
                 "Wait up to SECONDS (default 60) for the Wine programs and the wineserver of the "
                 "prefix to end, instead of refusing the change while they run")
      ->expected(0, 1)
      ->default_str("60")
      ->type_name("SECONDS");
}

#else
void AddWaitOption(CLI::App&, int&) {}
#endif

// Waits, as the window does, for the programs that hold the machine's registry (a prefix's Wine)
// to end, then reads again what they saved.
void WaitForWine(Platform& platform, int seconds) {
  IStoreHolders* holders = platform.StoreHolders();
  if (seconds <= 0 || holders == nullptr || !holders->Busy()) return;
  if (!holders->WaitUntilFree(std::chrono::seconds(seconds), {})) {
    throw std::runtime_error("Wine のプログラムが " + std::to_string(seconds) +
                             " 秒たっても終了しないため、変更しませんでした。");
  }
  platform.Registry().Refresh();
}

void RequireSavedMachine(const MachineOptions& machine) {
  if (!machine.regFiles.empty()) {
    throw std::runtime_error("--reg で読み込んだレジストリは変更を保存できません。");
  }
}

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
#ifdef _WIN32
            // The live registry takes each write at once: a change made to be forgotten would
            // stay.
            if (options->check) {
              throw std::runtime_error("--check は Windows ではまだ使えません。");
            }
#endif
            std::unique_ptr<Platform> platform = OpenMachine(options->machine, true);
            WaitForWine(*platform, options->waitSeconds);
            TZelMso mso(*platform);
            OfferedItem(mso, options->itemId, TZelItemKind::Setting);
            // The setters expect a real change: switching the logon IME off twice, say, would
            // replace the saved layout list by the one-entry list.
            const std::int32_t before = mso.GetItemState(options->itemId);
            std::int32_t state = before;
            if (state != options->state) {
              // A check makes the change inside an action of its own that it never saves, and
              // reads the state back before the action is forgotten.
              TZelChanges probe(platform->Registry());
              // The setter reads the state back itself: only a state other than the one asked
              // for is read again (on a large machine a read can scan every class).
              state = mso.SetItemState(options->itemId, options->state)
                          ? options->state
                          : mso.GetItemState(options->itemId);
              if (!options->check) probe.Commit();
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
            return state == options->state ? 0 : 1;
          }};
}

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
            const TZelMso::TRepairResult done = mso.RunRepair(item.ItemId);
            if (!done.Skipped.empty()) {
              std::cerr << "tovalin-cli: " << done.Summary() << "\n";
              return 1;
            }
            std::cout << item.Title << ": " << item.Captions.at(0) << "\n";
            if (done.RemovesFiles) std::cout << done.Summary() << "\n";
            return done.Succeeded() ? 0 : 1;
          }};
}

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

#ifndef _WIN32
nlohmann::ordered_json PrefixesJson(const std::vector<FoundWinePrefix>& prefixes) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const FoundWinePrefix& prefix : prefixes) {
    nlohmann::ordered_json office = nlohmann::ordered_json::array();
    for (const PrefixOfficeProduct& product : prefix.office) {
      office.push_back({{"version", product.version},
                        {"productCode", product.productCode},
                        {"displayName", product.displayName}});
    }
    list.push_back({{"path", prefix.path},
                    {"name", prefix.name},
                    {"source", SourceKey(prefix.source)},
                    {"sourceLabel", SourceLabelJa(prefix.source)},
                    {"sourceLabelEn", SourceLabelEn(prefix.source)},
                    {"arch", prefix.arch},
                    {"usable", prefix.Usable()},
                    {"problem", prefix.problem},
                    {"serverRunning", prefix.serverRunning},
                    {"office", office}});
  }
  return list;
}

void PrintPrefixes(const std::vector<FoundWinePrefix>& prefixes, std::ostream& out) {
  out << "Wine プレフィックス (Wine prefixes): " << prefixes.size() << "\n";
  for (const FoundWinePrefix& prefix : prefixes) {
    const std::string ja = SourceLabelJa(prefix.source);
    const std::string en = SourceLabelEn(prefix.source);
    out << "  " << prefix.name << "  [" << ja << (ja == en ? "" : " / " + en) << "]\n";
    out << "      パス (Path): " << prefix.path << "\n";
    out << "      アーキテクチャ (Arch): " << (prefix.arch.empty() ? "-" : prefix.arch) << "\n";
    out << "      wineserver: " << (prefix.serverRunning ? "実行中 (running)" : "停止 (stopped)")
        << "\n";
    if (!prefix.Usable()) out << "      問題 (Problem): " << prefix.problem << "\n";
    out << "      Office:" << (prefix.office.empty() ? " -" : "") << "\n";
    for (const PrefixOfficeProduct& product : prefix.office) {
      out << "        " << product.version << "  "
          << (product.displayName.empty() ? product.productCode : product.displayName) << "\n";
    }
  }
}

Command AddPrefixes(CLI::App& app) {
  struct Options {
    std::vector<std::string> added;
    bool json = false;
  };
  auto options = std::make_shared<Options>();
  CLI::App* sub =
      app.add_subcommand("prefixes",
                         "List the Wine prefixes of the user ($WINEPREFIX, ~/.wine, winetricks, "
                         "PlayOnLinux, CrossOver, Bottles, Lutris) and the Office found in each");
  sub->add_option("--add", options->added, "Look at these folders as well")
      ->type_name("DIR")
      ->expected(1, -1);
  sub->add_flag("--json", options->json, "Print JSON instead of text");
  return {sub, [options] {
            WinePrefixSearch search;
            if (const char* home = std::getenv("HOME")) search.home = home;
            if (const char* prefix = std::getenv("WINEPREFIX")) search.winePrefix = prefix;
            search.addedFolders = options->added;
            search.officeVersionOf = ListedOfficeVersion;
            const std::vector<FoundWinePrefix> prefixes = FindWinePrefixes(search);
            if (options->json) {
              std::cout << PrefixesJson(prefixes).dump(2, ' ', false,
                                                       nlohmann::json::error_handler_t::replace)
                        << "\n";
            } else {
              PrintPrefixes(prefixes, std::cout);
            }
            return 0;
          }};
}
#endif

int Main(int argc, char** argv) {
  CLI::App app{"Tovalin: Microsoft Office 9.0-12.0 troubleshooting utility", "tovalin-cli"};
  app.require_subcommand(1);
  std::vector<Command> commands;
  commands.push_back(AddReport(app));
  commands.push_back(AddGet(app));
  commands.push_back(AddSet(app));
  commands.push_back(AddRepair(app));
  commands.push_back(AddProcesses(app));
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
