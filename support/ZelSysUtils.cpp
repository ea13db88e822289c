// PENDING(sysutils): replaced by the system utilities.
#include "support/ZelSysUtils.h"

namespace tovalin {
std::string ExpandEnvironmentText(Platform&, std::string_view text) { return std::string(text); }
std::string GetEnvironmentValue(Platform&, std::string_view name) {
  return "%" + std::string(name) + "%";
}
std::string ExpandPathVariables(Platform&, std::string_view path) { return std::string(path); }
std::string GetCommandFileName(Platform&, std::string_view) { return {}; }
std::vector<std::string> SplitQuoted(std::string_view, char) { return {}; }
bool SetTokenPrivilege(Platform&, TokenHandle, std::string_view, bool) { return false; }
std::string ReplaceAllText(std::string_view source, std::string_view, std::string_view) {
  return std::string(source);
}
std::string GetShellFolderPath(Platform&, std::string_view) { return {}; }
std::string TrimWideSpaces(std::string_view text) { return std::string(text); }
bool FileExists(Platform&, std::string_view) { return false; }
}  // namespace tovalin
