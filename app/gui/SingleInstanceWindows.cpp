// The guard on Windows: a global atom named after the program file marks the running copy, whose
// main window is found by its caption.
#include <windows.h>

#include <QFileInfo>

#include "app/gui/SingleInstance.h"

namespace tovalin {

TInstanceGuard::TInstanceGuard(QString key, QString windowTitle, QObject* parent)
    : QObject(parent), key_(std::move(key)), windowTitle_(std::move(windowTitle)) {}

TInstanceGuard::~TInstanceGuard() {
  if (atom_ != 0) GlobalDeleteAtom(atom_);
}

QString TInstanceGuard::KeyFor(const QString& programPath) {
  return QFileInfo(programPath).fileName();
}

TInstanceGuard::Outcome TInstanceGuard::Acquire() {
  const std::wstring key = key_.toStdWString();
  ATOM atom = GlobalFindAtomW(key.c_str());
  if (atom != 0) {
    const std::wstring title = windowTitle_.toStdWString();
    if (HWND other = FindWindowW(nullptr, title.c_str())) {
      SendMessageW(other, WM_SYSCOMMAND, SC_RESTORE, 0);
      SetForegroundWindow(other);
      return Outcome::Another;
    }
    // An atom left behind by a copy that died: this copy takes it over and deletes it at the end.
  } else {
    atom = GlobalAddAtomW(key.c_str());
    if (atom == 0) return Outcome::Failed;
  }
  atom_ = atom;
  return Outcome::First;
}

// Requests come to the window itself; nothing arrives through the guard.
void TInstanceGuard::OnConnection() {}

}  // namespace tovalin
