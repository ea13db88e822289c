// The running program's window over its machine: the first machine at start, and a new window
// over another machine when the user switches, without restarting.
#pragma once

#include <QObject>
#include <memory>

#include "app/gui/MachineSource.h"
#include "app/gui/MainWindow.h"
#include "app/gui/MessageBoxes.h"

namespace tovalin {

class TSession : public QObject {
  Q_OBJECT
 public:
  TSession(IMachineSource& source, IMessageBoxes& boxes);
  ~TSession() override;

  // Opens the first machine and builds the window on it (not shown yet). False when there is
  // nothing to show: no machine chosen, or no Office found on it. Throws when the machine cannot
  // be opened.
  bool Start();
  MainWindow* Form() const { return form_.get(); }

  // Lets the user choose another machine and puts a window built on it in place of the open
  // one. The open window stays when nothing was chosen or nothing could be shown.
  void SwitchMachine();
  void RestoreFromOtherInstance();

 private:
  void Offer(const QString& description);
  void KeepHistory(MainWindow& form);

  IMachineSource& source_;
  IMessageBoxes& boxes_;
  // The window goes before the machine it reads.
  std::unique_ptr<Platform> platform_;
  std::unique_ptr<MainWindow> form_;
};

}  // namespace tovalin
