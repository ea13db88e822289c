// Where the window's machine comes from: Windows itself, or on Linux one of the user's Wine
// prefixes, chosen at start and switched while the program runs.
#pragma once

#include <QString>
#include <memory>
#include <string>

#include "app/gui/MessageBoxes.h"
#include "support/platform/Platform.h"

class QWidget;

namespace tovalin {

class IMachineSource {
 public:
  virtual ~IMachineSource() = default;
  // The machine shown at start; nothing when there is none or the user chose none (the program
  // then ends). Throws with a message for the user when the machine cannot be opened.
  virtual std::unique_ptr<Platform> OpenFirst() = 0;
  // Lets the user choose another machine; nothing when the open one stays.
  virtual std::unique_ptr<Platform> OpenAnother(QWidget* parent) = 0;
  // The machine opened last has a window: it becomes the open one, and a choice the user made
  // is kept for the next start. Until then a machine whose window could not start (no Office
  // found) changes nothing.
  virtual void Shown() = 0;
  // A line naming the open machine; empty where there is only one machine.
  virtual QString Describe() const = 0;
  virtual bool CanSwitch() const = 0;
  // The open machine as the history of actions names it: the prefix's path; "" on Windows.
  virtual std::string MachineName() const = 0;
};

// The program's own: the machine itself on Windows, the user's Wine prefixes elsewhere.
std::unique_ptr<IMachineSource> NativeMachineSource(IMessageBoxes& boxes);

}  // namespace tovalin
