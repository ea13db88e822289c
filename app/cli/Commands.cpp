#include "app/cli/Commands.h"

#include <chrono>
#include <stdexcept>

#include "support/action/HostFiles.h"

#ifndef _WIN32
#include "support/platform/wine/WinePlatform.h"
#endif

namespace tovalin::cli {

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

std::string StateName(const TZelMsoItem& item, std::int32_t state) {
  if ((state == 0 || state == 1) && static_cast<std::size_t>(state) < item.Captions.size()) {
    return item.Captions[static_cast<std::size_t>(state)] + " (" + std::to_string(state) + ")";
  }
  return "不明 (" + std::to_string(state) + ")";
}

#ifndef _WIN32
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

std::string MachineName(const MachineOptions& machine) {
#ifdef _WIN32
  (void)machine;
  return {};
#else
  return machine.prefix.empty() ? DefaultWinePrefix() : machine.prefix;
#endif
}

ActionHistory OpenHistory(const MachineOptions& machine) {
  return ActionHistory(DefaultHistoryFolder(MachineName(machine)));
}

std::string JsonText(const nlohmann::ordered_json& json) {
  return json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace tovalin::cli
