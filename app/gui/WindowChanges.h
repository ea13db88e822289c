// Changes made from the window: with the rights they need, and kept in the history so that each
// can be undone.
//
// Where this process runs without an administrator's rights (Windows under UAC), the
// machine-wide part of an action (HKLM, the machine's classes, HKU\.DEFAULT) goes to tovalin-cli
// started elevated, which makes it with the same code as one action; the user's own part is made
// here, never elevated: an administrator elevating for a standard user would otherwise change
// the administrator's profile. The window waits for the elevated part without freezing.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>

#include "office/ZelMso.h"
#include "support/action/ActionHistory.h"
#include "support/action/Undo.h"

namespace tovalin {

class WindowChanges {
 public:
  // `cliProgram` is the tovalin-cli that takes the machine-wide part.
  WindowChanges(Platform& machine, QString cliProgram);

  // Keeps the window's actions in `history` from now on; `machineName` is the machine as the
  // history names it (the prefix on Linux).
  void SetHistory(std::unique_ptr<ActionHistory> history, std::string machineName);
  ActionHistory* History() const { return history_.get(); }

  // Whether making the plan here needs an administrator: it has a machine-wide part and this
  // process lacks the rights. Its buttons show the shield.
  bool NeedsElevation(const TZelMso::TActionPlan& plan);
  // Makes the plan as the model's Perform does and records it as `info`; false when the user
  // declined the elevation (nothing changed). `parent` owns the wait. Raises what Perform raises,
  // and ERegistryException when the elevated part failed (with its reason).
  bool Perform(TZelMso& model, const TZelMso::TActionPlan& plan, ActionInfo info, QWidget* parent,
               TZelMso::TRepairResult* result = nullptr);
  // Undoes a record of the history the same way (UndoAction).
  UndoOutcome Undo(TZelMso& model, const ActionRecord& record, bool force, QWidget* parent);

  const QString& CliProgram() const { return cliProgram_; }

 private:
  bool PerformPlan(TZelMso& model, const TZelMso::TActionPlan& plan, IActionJournal* journal,
                   QWidget* parent, TZelMso::TRepairResult* result);
  // Runs the machine-wide changes elevated; false when declined.
  bool PerformElevated(const RegChangeSet& changes, QWidget* parent);

  Platform& machine_;
  QString cliProgram_;
  std::unique_ptr<ActionHistory> history_;
  std::string machineName_;
};

// The tovalin-cli beside this program.
QString SiblingCliProgram();
// The message after a declined elevation.
QString ElevationDeclinedText();

}  // namespace tovalin
