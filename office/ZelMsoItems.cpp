// PENDING(items): replaced by the item catalogue, the Office/Windows/shell switches and processes.
#include "office/ZelMso.h"

namespace tovalin {
void TZelMso::BuildItemCatalogue() {}
std::int32_t TZelMso::GetItemState(std::int32_t) { return -1; }
bool TZelMso::SetItemState(std::int32_t, std::int32_t) { return false; }
void TZelMso::RunRepair(std::int32_t) {}
std::int32_t TZelMso::GetLogonImeState() { return -1; }
void TZelMso::SetLogonImeState(std::int32_t) {}
std::int32_t TZelMso::GetScriptHostState() { return 1; }
void TZelMso::SetScriptHostState(std::int32_t) {}
std::int32_t TZelMso::GetBrowserIntegrationState(int) { return -1; }
void TZelMso::SetBrowserIntegrationState(int, std::int32_t) {}
std::int32_t TZelMso::GetReadOnlyVerbState(int) { return 1; }
void TZelMso::SetReadOnlyVerbState(int, std::int32_t) {}
std::int32_t TZelMso::GetEditModeState(int) { return -1; }
void TZelMso::SetEditModeState(int, std::int32_t) {}
void TZelMso::FindRunningProcesses(std::string_view, TArrayDword&) {}
void TZelMso::FindProcessesByToolhelp(std::string_view, TArrayDword&) {}
void TZelMso::FindProcessesByPsapi(std::string_view, TArrayDword&) {}
void TZelMso::TerminateRunningProcess(std::uint32_t) {}
}  // namespace tovalin
