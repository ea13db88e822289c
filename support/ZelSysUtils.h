// Free functions over text, Windows paths, environment variables and the process token, shared by
// the model, the items and the windows. Paths compare without regard to case.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/platform/Platform.h"

namespace tovalin {

// "%NAME%" tokens whose variable is set are replaced; inserted values are never scanned again.
std::string ExpandEnvironmentText(Platform& platform, std::string_view text);
// The variable's whole value, or "%NAME%" when unset or empty.
std::string GetEnvironmentValue(Platform& platform, std::string_view name);
// Expands a token only where a "\" follows it.
std::string ExpandPathVariables(Platform& platform, std::string_view path);
// The full path of the existing file that a command line names, or "".
std::string GetCommandFileName(Platform& platform, std::string_view commandLine);
// The non-empty items of text split at blanks and the delimiter, with quote groups joined.
std::vector<std::string> SplitQuoted(std::string_view text, char delimiter);
// Enables or disables a privilege in a token opened by the caller; true on full success.
bool SetTokenPrivilege(Platform& platform, TokenHandle token, std::string_view privilegeName,
                       bool enable);
// Every occurrence of oldPattern (exact UTF-16 units, left to right, no overlap) replaced.
std::string ReplaceAllText(std::string_view source, std::string_view oldPattern,
                           std::string_view newPattern);
// The current user's shell folder of that name ("AppData", "Local Settings"), or "".
std::string GetShellFolderPath(Platform& platform, std::string_view folderName);
// Drops leading and trailing U+0020 and U+3000 only.
std::string TrimWideSpaces(std::string_view text);

// Is there a file (not a folder) at this exact path? A name with wildcards is no file.
bool FileExists(Platform& platform, std::string_view path);

}  // namespace tovalin
