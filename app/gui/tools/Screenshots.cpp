// Builds the main window on a Wine prefix (on Windows: on the machine itself) and saves a PNG of
// every product on both pages, and of the report, about and file-details dialogs (on Linux also
// the prefix chooser over $HOME's prefixes and the questions asked while Wine runs):
//   tovalin-screenshots <prefix folder> <output folder>
//   tovalin-screenshots.exe <output folder>                  (Windows)
// A development tool for looking at the window; the program itself reads no command line.
#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "app/gui/FileProperties.h"
#include "app/gui/HistoryDialog.h"
#include "app/gui/MainWindow.h"
#include "app/gui/ReportDialog.h"
#include "app/gui/Translations.h"
#include "app/gui/ZelAboutDialog.h"
#include "support/platform/NativePlatform.h"

#ifndef _WIN32
#include <QTimer>
#include <cstdlib>
#include <filesystem>

#include "app/gui/HeldStore.h"
#include "app/gui/WinePrefixChooser.h"
#include "office/OfficeProductCodes.h"
#endif

namespace {

// Shows nothing: prints the message and answers No (or Yes when told), so that the tool never
// waits.
class PrintedBoxes : public tovalin::IMessageBoxes {
 public:
  tovalin::MsgResult Show(const QString& text, tovalin::MsgIcon, tovalin::MsgButtons) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
    return yes ? tovalin::MsgResult::Yes : tovalin::MsgResult::No;
  }
  int Choose(const QString& text, tovalin::MsgIcon, const QStringList&) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
    return -1;
  }
  bool yes = false;
};

// Questions answered Yes unseen; what the window then tells is shown for real, to be grabbed.
class TellingBoxes : public tovalin::QtMessageBoxes {
 public:
  tovalin::MsgResult Show(const QString& text, tovalin::MsgIcon icon,
                          tovalin::MsgButtons buttons) override {
    if (icon == tovalin::MsgIcon::Question) return tovalin::MsgResult::Yes;
    return QtMessageBoxes::Show(text, icon, buttons);
  }
};

// The machine as a standard user under UAC sees it: no administrator's rights, and the prompt
// for them declined.
class StandardUserProcesses : public tovalin::IProcesses {
 public:
  explicit StandardUserProcesses(tovalin::IProcesses& inner) : inner_(inner) {}
  std::uint32_t PlatformId() override { return inner_.PlatformId(); }
  bool Snapshot(std::vector<tovalin::ProcessEntry>& entries) override {
    return inner_.Snapshot(entries);
  }
  bool EnumProcesses(std::vector<std::uint32_t>& ids, std::size_t capacity, std::size_t& needed,
                     long& lastError) override {
    return inner_.EnumProcesses(ids, capacity, needed, lastError);
  }
  tovalin::ProcessHandle OpenProcess(std::uint32_t access, std::uint32_t pid) override {
    return inner_.OpenProcess(access, pid);
  }
  std::string GetModuleFileName(tovalin::ProcessHandle process) override {
    return inner_.GetModuleFileName(process);
  }
  bool GetExitCode(tovalin::ProcessHandle process, std::uint32_t& code) override {
    return inner_.GetExitCode(process, code);
  }
  bool Terminate(tovalin::ProcessHandle process, std::uint32_t exitCode) override {
    return inner_.Terminate(process, exitCode);
  }
  void CloseProcess(tovalin::ProcessHandle process) override { inner_.CloseProcess(process); }
  tovalin::TokenHandle OpenProcessToken(std::uint32_t access) override {
    return inner_.OpenProcessToken(access);
  }
  bool LookupPrivilege(std::string_view name) override { return inner_.LookupPrivilege(name); }
  long AdjustPrivilege(tovalin::TokenHandle token, std::string_view name, bool enable) override {
    return inner_.AdjustPrivilege(token, name, enable);
  }
  void CloseToken(tovalin::TokenHandle token) override { inner_.CloseToken(token); }
  bool Elevated() override { return false; }
  long RunElevated(std::string_view, std::string_view, const std::function<void()>&,
                   std::uint32_t&) override {
    return tovalin::win::kCancelled;
  }

 private:
  tovalin::IProcesses& inner_;
};

class StandardUserPlatform : public tovalin::Platform {
 public:
  explicit StandardUserPlatform(tovalin::Platform& inner)
      : inner_(inner), processes_(inner.Processes()) {}
  tovalin::IRegistry& Registry() override { return inner_.Registry(); }
  tovalin::IFileSystem& Files() override { return inner_.Files(); }
  tovalin::IEnvironment& Environment() override { return inner_.Environment(); }
  tovalin::IVersionResources& Versions() override { return inner_.Versions(); }
  tovalin::IIcons& Icons() override { return inner_.Icons(); }
  tovalin::IProcesses& Processes() override { return processes_; }
  std::string ErrorText(long code) override { return inner_.ErrorText(code); }

 private:
  tovalin::Platform& inner_;
  StandardUserProcesses processes_;
};

// Picks the application's row and its item as the user does.
bool Pick(tovalin::MainWindow& form, const QString& application, int itemId) {
  for (int row = 0; row < form.GlbMenu->count(); ++row) {
    if (form.GlbMenu->item(row)->text() != application) continue;
    form.GlbMenu->SetItemIndex(row);
    form.GlbMenuClick();
    form.PctMain->setCurrentWidget(form.TabRepair);
    const auto& items = form.Model().Slots[static_cast<std::size_t>(form.AppIndex())]->Items;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (items[i].ItemId != itemId) continue;
      form.GlbItem->SetItemIndex(static_cast<int>(i));
      form.GlbItemClick();
      QTest::qWait(150);
      return true;
    }
  }
  std::fprintf(stderr, "no item %d in %s\n", itemId, qPrintable(application));
  return false;
}

bool SaveGrab(QWidget& widget, const QString& name) {
  if (!widget.grab().save(name)) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
    return false;
  }
  std::printf("%s\n", qPrintable(name));
  return true;
}

// Saves whatever modal window is up after a moment, then closes it with Escape.
void GrabModalLater(const QString& name, int delayMs) {
  QTimer::singleShot(delayMs, [name] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) {
      std::fprintf(stderr, "nothing shown for %s\n", qPrintable(name));
      return;
    }
    if (modal->grab().save(name)) std::printf("%s\n", qPrintable(name));
    QTest::keyClick(modal, Qt::Key_Escape);
  });
}

// Changes made and kept in the history, and the history window; then the window as a standard
// user under UAC sees it: the shield on a machine-wide setting, and what it says when the prompt
// for an administrator's rights is declined.
bool SaveActionShots(tovalin::Platform& platform, const QString& outDir) {
  using namespace tovalin;
  QTemporaryDir historyFolder;
  {
    PrintedBoxes yes;
    yes.yes = true;
    MainWindow form(platform, yes);
    if (!form.StartOk()) return false;
    form.SetHistory(std::make_unique<ActionHistory>(historyFolder.path().toStdString()), {});
    form.show();
    if (!QTest::qWaitForWindowExposed(&form)) return false;
    // The logon screen's IME switched off and on again.
    if (!Pick(form, QStringLiteral("Office"), 52)) return false;
    form.SbtItem2->click();
    form.SbtItem1->click();
    GrabModalLater(outDir + QStringLiteral("/history.png"), 400);
    form.MI_F_HistoryClick();
  }
  StandardUserPlatform standard(platform);
  TellingBoxes boxes;
  MainWindow form(standard, boxes);
  if (!form.StartOk()) return false;
  form.show();
  if (!QTest::qWaitForWindowExposed(&form)) return false;
  if (!Pick(form, QStringLiteral("Office"), 52)) return false;
  if (!SaveGrab(form, outDir + QStringLiteral("/shield-setting.png"))) return false;
  GrabModalLater(outDir + QStringLiteral("/elevation-declined.png"), 500);
  (form.SbtItem1->isChecked() ? form.SbtItem2 : form.SbtItem1)->click();
  return true;
}

#ifndef _WIN32
// Wine programs that seem to hold the prefix: the wait runs a moment and is then cancelled.
class PictureHolders : public tovalin::IStoreHolders {
 public:
  bool Busy() override { return true; }
  std::vector<std::string> Programs() override {
    return {"EXCEL.EXE", "explorer.exe", "services.exe", "winedevice.exe", "winedevice.exe"};
  }
  bool WaitUntilFree(std::chrono::milliseconds, const std::function<bool()>& keepWaiting) override {
    while (keepWaiting()) QTest::qWait(50);
    return false;
  }
  void EndPrograms() override {}
};

// The prefix itself with the holders above.
class HeldPlatform : public tovalin::Platform {
 public:
  explicit HeldPlatform(tovalin::Platform& inner) : inner_(inner) {}
  tovalin::IRegistry& Registry() override { return inner_.Registry(); }
  tovalin::IFileSystem& Files() override { return inner_.Files(); }
  tovalin::IEnvironment& Environment() override { return inner_.Environment(); }
  tovalin::IVersionResources& Versions() override { return inner_.Versions(); }
  tovalin::IIcons& Icons() override { return inner_.Icons(); }
  tovalin::IProcesses& Processes() override { return inner_.Processes(); }
  tovalin::IStoreHolders* StoreHolders() override { return &holders_; }

 private:
  tovalin::Platform& inner_;
  PictureHolders holders_;
};

// The prefix chooser over the prefixes of $HOME, and over none; the question and the progress
// shown before a change while Wine runs; the window naming its prefix.
bool SaveWineShots(tovalin::MainWindow& form, tovalin::Platform& platform, const QString& outDir,
                   const std::string& prefix) {
  using namespace tovalin;
  const char* home = std::getenv("HOME");
  WinePrefixSearch search{home != nullptr ? home : "", "", {}, ListedOfficeVersion};
  for (const auto& [found, what] : {std::pair{FindWinePrefixes(search), "prefix-chooser"},
                                    std::pair{std::vector<FoundWinePrefix>{}, "prefix-none"}}) {
    TPrefixChooser chooser(found, WinePrefixPlaces(search), prefix, &form);
    chooser.show();
    if (!QTest::qWaitForWindowExposed(&chooser)) return false;
    QTest::qWait(150);
    const QString name = outDir + QStringLiteral("/wine-%1.png").arg(QString::fromUtf8(what));
    if (!chooser.grab().save(name)) return false;
    std::printf("%s\n", qPrintable(name));
  }

  form.SetMachine(QStringLiteral("Wine プレフィックス: ") +
                      QString::fromStdString(std::filesystem::path(prefix).filename().string()) +
                      QStringLiteral(" [追加したフォルダー]  ") + QString::fromStdString(prefix),
                  [] {});
  form.GlbMenu->SetItemIndex(0);
  form.GlbMenuClick();
  form.PctMain->setCurrentWidget(form.TabInfo);
  QTest::qWait(150);
  const QString window = outDir + QStringLiteral("/wine-window.png");
  if (!form.grab().save(window)) return false;
  std::printf("%s\n", qPrintable(window));

  HeldPlatform held(platform);
  QtMessageBoxes boxes;
  // The question first; the second grab finds the progress once "wait" was pressed.
  QTimer::singleShot(600, [outDir] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    const QString name = outDir + QStringLiteral("/wine-running.png");
    if (modal->grab().save(name)) std::printf("%s\n", qPrintable(name));
    QTest::keyClick(modal, Qt::Key_Return);
    GrabModalLater(outDir + QStringLiteral("/wine-waiting.png"), 600);
  });
  ReleaseHeldStore(held, boxes, &form);
  return true;
}
#endif

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
    // The tool runs on a copy of a prefix: the history's pictures make changes there.
    native.writable = true;
    if (kArguments == 3) native.winePrefix = argv[1];
    std::unique_ptr<tovalin::Platform> platform = tovalin::OpenNativePlatform(native);
    PrintedBoxes boxes;
    tovalin::MainWindow form(*platform, boxes);
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
    const std::unique_ptr<tovalin::IShellRequests> nativeShell = tovalin::NativeShell(*platform);
    tovalin::IShellRequests& shell = *nativeShell;
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
      tovalin::ReportDialog report(boxes, shell, &form);
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
    if (!SaveActionShots(*platform, outDir)) return 1;
#ifndef _WIN32
    if (!SaveWineShots(form, *platform, outDir, argv[1])) return 1;
#endif
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tovalin-screenshots: %s\n", e.what());
    return 1;
  }
  return 0;
}
