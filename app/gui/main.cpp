// The program entry: one running copy per program file, then the main window over the machine's
// own Office installation (on Linux, the Wine prefix chosen). No command line is read; every path
// ends with exit code 0.
#include <QApplication>
#include <QScreen>
#include <memory>

#include "app/gui/MachineSource.h"
#include "app/gui/MessageBoxes.h"
#include "app/gui/Session.h"
#include "app/gui/SingleInstance.h"
#include "app/gui/Translations.h"

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

void CentreOnScreen(QWidget& window) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  QRect frame = window.frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window.move(frame.topLeft());
}

int Run(int argc, char** argv) {
  TApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tovalin"));
  QApplication::setQuitOnLastWindowClosed(true);
  // The interface is Japanese throughout, the toolkit's own buttons included.
  InstallToolkitTranslation(app);
  QtMessageBoxes boxes;
  app.SetMessageBoxes(&boxes);

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

  const std::unique_ptr<IMachineSource> machines = NativeMachineSource(boxes);
  TSession session(*machines, boxes);
  try {
    if (!session.Start()) return 0;
  } catch (...) {
    ShowException(boxes, std::current_exception());
    return 0;
  }
  QObject::connect(&guard, &TInstanceGuard::RestoreRequested, &session,
                   &TSession::RestoreFromOtherInstance);
  CentreOnScreen(*session.Form());
  session.Form()->show();
  QApplication::exec();
  return 0;
}

}  // namespace
}  // namespace tovalin

int main(int argc, char** argv) {
  return tovalin::Run(argc, argv);
}
