// Builds the main window on a Wine prefix (on Windows: on the machine itself) and saves a PNG of
// every product on both pages, and of the report, about and file-details dialogs:
//   tovalin-screenshots <prefix folder> <output folder>
//   tovalin-screenshots.exe <output folder>                  (Windows)
// A development tool for looking at the window; the program itself reads no command line.
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTest>
#include <cstdio>

#include "app/gui/FileProperties.h"
#include "app/gui/Translations.h"
#include "app/gui/Unit1.h"
#include "app/gui/Unit2.h"
#include "app/gui/ZelAboutDialog.h"
#include "support/platform/NativePlatform.h"

namespace {

// Shows nothing: prints the message and answers No, so that the tool never waits.
class PrintedBoxes : public tovalin::IMessageBoxes {
 public:
  tovalin::MsgResult Show(const QString& text, tovalin::MsgIcon, tovalin::MsgButtons) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
    return tovalin::MsgResult::No;
  }
};

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  constexpr int kArguments = 2;
#else
  constexpr int kArguments = 3;
#endif
  if (argc != kArguments) {
    std::fprintf(stderr, kArguments == 2
                             ? "usage: tovalin-screenshots <output folder>\n"
                             : "usage: tovalin-screenshots <prefix folder> <output folder>\n");
    return 2;
  }
  QApplication app(argc, argv);
  tovalin::InstallToolkitTranslation(app);
  const QString outDir = QString::fromLocal8Bit(argv[kArguments - 1]);
  QDir().mkpath(outDir);

  try {
    tovalin::NativeOptions native;
    if (kArguments == 3) native.winePrefix = argv[1];
    std::unique_ptr<tovalin::Platform> platform = tovalin::OpenNativePlatform(native);
    PrintedBoxes boxes;
    tovalin::TForm1 form(*platform, boxes);
    if (!form.StartOk()) return 1;
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return 1;
    int shot = 0;
    auto save = [&](int row, const char* what) {
      QTest::qWait(150);
      const QString name = QStringLiteral("%1/%2-%3-%4.png")
                               .arg(outDir)
                               .arg(++shot, 2, 10, QLatin1Char('0'))
                               .arg(form.GlbMenu->item(row)->text().toLower())
                               .arg(QString::fromUtf8(what));
      if (!form.grab().save(name)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
        return false;
      }
      std::printf("%s\n", qPrintable(name));
      return true;
    };
    for (int row = 0; row < form.GlbMenu->count(); ++row) {
      form.GlbMenu->SetItemIndex(row);
      form.GlbMenuClick();
      form.PctMain->setCurrentWidget(form.TabInfo);
      if (!save(row, "info")) return 1;
      // The troubleshooting page with its first one-shot repair and its first setting chosen.
      form.PctMain->setCurrentWidget(form.TabRepair);
      const auto& items = form.Model().Slots[static_cast<std::size_t>(form.AppIndex())]->Items;
      for (const char* kind : {"repair", "setting"}) {
        const bool oneShot = std::string_view(kind) == "repair";
        for (std::size_t i = 0; i < items.size(); ++i) {
          if ((items[i].Captions.size() == 1) != oneShot) continue;
          form.GlbItem->SetItemIndex(static_cast<int>(i));
          form.GlbItemClick();
          if (!save(row, kind)) return 1;
          break;
        }
      }
    }

    // The dialogs, each shown over the window as the user would open it.
    tovalin::TDesktopShell shell(*platform);
    auto saveDialog = [&](QDialog& dialog, const char* what) {
      dialog.show();
      if (!QTest::qWaitForWindowExposed(&dialog)) return false;
      QTest::qWait(150);
      const QString name = QStringLiteral("%1/%2-%3.png")
                               .arg(outDir)
                               .arg(++shot, 2, 10, QLatin1Char('0'))
                               .arg(QString::fromUtf8(what));
      const bool saved = dialog.grab().save(name);
      dialog.close();
      if (!saved) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
        return false;
      }
      std::printf("%s\n", qPrintable(name));
      return true;
    };
    {
      tovalin::TForm2 report(boxes, shell, &form);
      const std::string& found = form.Model().UnrecognisedProducts;
      report.SetMailBody(QString::fromStdString(
          !found.empty()
              ? found
              : "GUID: {90010411-6000-11D3-8CFE-0150048383C9}\r\n製品名: (example)\r\n"));
      if (!saveDialog(report, "report")) return 1;
    }
    for (const auto& [lcid, what] :
         {std::pair{0x0411u, "about-ja"}, std::pair{0x0409u, "about-en"}}) {
      tovalin::TProgramFile self(*platform);
      tovalin::TFrmAboutDialog about(self.GetPlatform(), self.FileName(), lcid, shell, &form);
      if (!saveDialog(about, what)) return 1;
    }
    for (const auto& slot : form.Model().Slots) {
      if (!slot || slot->AppFiles.empty()) continue;
      tovalin::TFilePropertiesDialog properties(*platform, slot->AppFiles.front().FileName, &form);
      properties.setAttribute(Qt::WA_DeleteOnClose, false);
      if (!saveDialog(properties, "properties")) return 1;
      break;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tovalin-screenshots: %s\n", e.what());
    return 1;
  }
  return 0;
}
