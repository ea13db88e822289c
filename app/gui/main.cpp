// The program entry: one running copy per program file, then the main window over the machine's
// own Office installation. No command line is read; every path ends with exit code 0.
#include <QApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>
#include <memory>

#include "app/gui/MessageBoxes.h"
#include "app/gui/Unit1.h"

#ifdef _WIN32
#include <windows.h>

#include "support/platform/windows/WindowsPlatform.h"
#else
#include "app/gui/SingleInstance.h"
#include "support/platform/wine/WinePlatform.h"
#endif

namespace tovalin {
namespace {

// Errors that escape an event handler anywhere end that handler only.
class TApplication : public QApplication {
 public:
  TApplication(int& argc, char** argv) : QApplication(argc, argv) {}
  void SetMessageBoxes(IMessageBoxes* boxes) { boxes_ = boxes; }

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (...) {
      if (boxes_ != nullptr) ShowException(*boxes_, std::current_exception());
      return false;
    }
  }

 private:
  IMessageBoxes* boxes_ = nullptr;
};

std::unique_ptr<Platform> OpenMachine() {
#ifdef _WIN32
  return OpenWindowsPlatform();
#else
  WineOpenOptions options;
  options.writable = true;
  try {
    return OpenWinePrefix(DefaultWinePrefix(), options);
  } catch (const WinePrefixError&) {
    // A prefix we may not write to can still be inspected; every change is then refused with
    // the platform's own explanation. A prefix that cannot be read at all fails here again.
    options.writable = false;
    return OpenWinePrefix(DefaultWinePrefix(), options);
  }
#endif
}

void CentreOnScreen(QWidget& window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = window.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window.move(frame.topLeft());
}

#ifdef _WIN32
// The file name part of the running program's path, as the file is actually named.
std::wstring ProgramFileName() {
  std::wstring path(32768, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
  path.resize(length);
  const std::size_t slash = path.find_last_of(L"\\/:");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}
#endif

int Run(int argc, char** argv) {
#ifdef _WIN32
  const std::wstring key = ProgramFileName();
  ATOM atom = GlobalFindAtomW(key.c_str());
  if (atom != 0) {
    if (HWND other = FindWindowW(nullptr, L"Tovalin")) {
      SendMessageW(other, WM_SYSCOMMAND, SC_RESTORE, 0);
      SetForegroundWindow(other);
      return 0;
    }
    // An atom left behind by a copy that died: start normally and delete it at the end.
  } else {
    atom = GlobalAddAtomW(key.c_str());
    if (atom == 0) {
      MessageBoxW(nullptr, L"起動できません", L"Tovalin", MB_ICONERROR);
      return 0;
    }
  }
  struct AtomRelease {
    ATOM atom;
    ~AtomRelease() { GlobalDeleteAtom(atom); }
  } release{atom};
#endif

  TApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tovalin"));
  QApplication::setQuitOnLastWindowClosed(true);
  // The interface is Japanese throughout, the toolkit's own buttons included.
  QTranslator qtTranslator;
  if (qtTranslator.load(QStringLiteral("qtbase_ja"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTranslator);
  }
  QtMessageBoxes boxes;
  app.SetMessageBoxes(&boxes);

#ifndef _WIN32
  TInstanceGuard guard(TInstanceGuard::KeyFor(QCoreApplication::applicationFilePath()));
  switch (guard.Acquire()) {
    case TInstanceGuard::Outcome::First:
      break;
    case TInstanceGuard::Outcome::Another:
      return 0;
    case TInstanceGuard::Outcome::Failed:
      boxes.Fail(QStringLiteral("起動できません"));
      return 0;
  }
#endif

  std::unique_ptr<Platform> platform;
  std::unique_ptr<TForm1> form;
  try {
    platform = OpenMachine();
    form = std::make_unique<TForm1>(*platform, boxes);
  } catch (...) {
    ShowException(boxes, std::current_exception());
    return 0;
  }
  if (form->StartOk()) {
#ifndef _WIN32
    QObject::connect(&guard, &TInstanceGuard::RestoreRequested, form.get(),
                     &TForm1::RestoreFromOtherInstance);
#endif
    CentreOnScreen(*form);
    form->show();
    QApplication::exec();
  }
  form.reset();
  return 0;
}

}  // namespace
}  // namespace tovalin

int main(int argc, char** argv) {
  return tovalin::Run(argc, argv);
}
