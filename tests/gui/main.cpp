// Runs the widget tests inside one QApplication, on the off-screen platform unless told
// otherwise (test discovery runs the binary without ctest's environment), with the toolkit's
// Japanese texts loaded the way the program loads them.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/gui/Translations.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  tovalin::InstallToolkitTranslation(app);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
