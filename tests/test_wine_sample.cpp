// The sample prefix as a whole: its 32-bit class registrations, install folders and stand-in
// executables must add up to the applications the report is meant to show.
#include <gtest/gtest.h>

#include <string>

#include "office/ZelMso.h"
#include "support/platform/wine/WinePlatform.h"

namespace tovalin {
namespace {

TEST(WineSample, ShowsOffice2003WithASecondExcel) {
  const auto platform = OpenWinePrefix(std::string(TOVALIN_SOURCE_DIR) + "/examples/sample-prefix");
  TZelMso mso(*platform);

  EXPECT_EQ(mso.OfficeVersion, "11.0");
  EXPECT_EQ(mso.ProductCode, "{90110411-6000-11D3-8CFE-0150048383C9}");
  for (int i = 0; i < kAppCount; ++i) {
    ASSERT_TRUE(mso.Slots[i]) << kMsoApps[i].AppName;
    EXPECT_NE(mso.Slots[i]->Icon.Handle(), 0u) << kMsoApps[i].AppName;
  }
  EXPECT_EQ(mso.Slots[0]->Title, "Microsoft Office Professional Edition 2003");
  EXPECT_EQ(mso.Slots[5]->Title, "Microsoft PowerPoint");
  // Outlook's server line is an unquoted path with blanks.
  EXPECT_EQ(mso.Slots[1]->FileName,
            "C:\\Program Files (x86)\\Microsoft Office\\OFFICE11\\OUTLOOK.EXE");
  const auto& excel = mso.Slots[2]->AppFiles;
  ASSERT_EQ(excel.size(), 2u);
  EXPECT_EQ(excel[0].Version, "12.0.4518.1014");
  EXPECT_EQ(excel[1].Version, "11.0.5612.0");
}

}  // namespace
}  // namespace tovalin
