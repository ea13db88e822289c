#include "support/action/PlanningPlatform.h"

#include <algorithm>

#include "support/Text.h"

namespace tovalin {

bool PlanningFiles::IsRemoved(std::string_view path) const {
  return std::any_of(removed_.begin(), removed_.end(),
                     [path](const std::string& removed) { return EqualsNoCase(removed, path); });
}

std::uint32_t PlanningFiles::GetFileAttributes(std::string_view path) {
  return IsRemoved(path) ? win::kInvalidFileAttributes : base_.GetFileAttributes(path);
}

std::vector<FindEntry> PlanningFiles::FindFiles(std::string_view pattern) {
  std::vector<FindEntry> entries = base_.FindFiles(pattern);
  if (removed_.empty()) return entries;
  const std::size_t cut = pattern.rfind('\\');
  const std::string_view folder = pattern.substr(0, cut == std::string_view::npos ? 0 : cut + 1);
  std::erase_if(
      entries, [&](const FindEntry& entry) { return IsRemoved(std::string(folder) + entry.name); });
  return entries;
}

bool PlanningFiles::DeleteFile(std::string_view path) {
  if (base_.GetFileAttributes(path) == win::kInvalidFileAttributes || IsRemoved(path)) {
    return false;
  }
  removed_.emplace_back(path);
  return true;
}

}  // namespace tovalin
