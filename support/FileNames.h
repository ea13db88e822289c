// Windows file names as the platforms and the model compare them.
#pragma once

#include <string>
#include <string_view>

namespace tovalin {

// Does `name` match a FindFirstFile mask ('*' any run, '?' one character), without regard to case?
bool MatchFileMask(std::string_view mask, std::string_view name);
// The text after the last "\" or ":".
std::string FileNamePart(std::string_view path);

}  // namespace tovalin
