// PENDING(version): replaced by the version reader.
#include "support/ZelVersionInfo.h"

namespace tovalin {
TZelVersionInfo::TZelVersionInfo(Platform& platform) : platform_(&platform) {}
int TZelVersionInfo::LoadFromFile(std::string_view) { return 1; }
void TZelVersionInfo::Clear() {}
std::string TZelVersionInfo::GetProductMajorMinor() const { return {}; }
}  // namespace tovalin
