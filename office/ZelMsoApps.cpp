// PENDING(apps): replaced by the application scan.
#include "office/ZelMso.h"

namespace tovalin {
void TZelMso::ScanApplications() {}
void TZelMso::ScanAppFiles(int) {}
void TZelMso::SortAppFiles(std::vector<TZelMsoAppFileList>&) {}
void TZelMso::DetectSuite() {}
}  // namespace tovalin
