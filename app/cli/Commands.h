// The subcommands of tovalin-cli, one file each, and what they share: the machine options, the
// wait for a prefix's Wine, the item lookup.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>

#include "app/cli/Machine.h"
#include "office/ZelMso.h"
#include "support/action/ActionHistory.h"

namespace tovalin::cli {

// A subcommand: its options are bound when it is added, run() does the work after parsing and
// returns the exit code.
struct Command {
  CLI::App* app = nullptr;
  std::function<int()> run;
};

// Exit statuses besides 0 (done) and 1 (failed or refused; the reason on standard error).
// A change refused for want of rights that an administrator has: nothing was changed.
inline constexpr int kExitNeedsAdministrator = 5;

void AddMachineOptions(CLI::App& sub, MachineOptions& machine);
// --wait[=SECONDS] on Linux: a change waits for the prefix's Wine to end instead of being refused.
void AddWaitOption(CLI::App& sub, int& seconds);
// Waits, as the window does, for the programs that hold the machine's registry (a prefix's Wine)
// to end, then reads again what they saved.
void WaitForWine(Platform& platform, int seconds);
// Changes must land somewhere: regedit exports are only read, never written back.
void RequireSavedMachine(const MachineOptions& machine);
// The item as the troubleshooting page offers it: only items of detected applications, so a
// change never works from a slot that is not there (the read-only verb names Excel's path).
const TZelMsoItem& OfferedItem(const TZelMso& mso, std::int32_t itemId, TZelItemKind kind);
// JSON as tovalin-cli writes it: indented by two; a name that is not UTF-8 is replaced, never a
// reason to fail.
std::string JsonText(const nlohmann::ordered_json& json);
// The user's history of actions on the machine (one per Wine prefix on Linux).
ActionHistory OpenHistory(const MachineOptions& machine);
// The machine as the history names it: the prefix's path on Linux, "" on Windows.
std::string MachineName(const MachineOptions& machine);
// A state as the item's captions name it.
std::string StateName(const TZelMsoItem& item, std::int32_t state);

Command AddReport(CLI::App& app);
Command AddGet(CLI::App& app);
Command AddSet(CLI::App& app);
Command AddRepair(CLI::App& app);
Command AddProcesses(CLI::App& app);
Command AddUserInfo(CLI::App& app);
Command AddApply(CLI::App& app);
Command AddHistory(CLI::App& app);
Command AddUndo(CLI::App& app);
#ifndef _WIN32
Command AddPrefixes(CLI::App& app);
#endif

}  // namespace tovalin::cli
