// Changes made with the rights they need. Where this process runs without an administrator's
// rights (Windows under UAC), the machine-wide part of an action (HKLM, the machine's classes,
// HKU\.DEFAULT) goes to tovalin-cli started elevated, which makes it with the same code as one
// action; the user's own part is made here, never elevated: an administrator elevating for a
// standard user would otherwise change the administrator's profile. The window waits for the
// elevated part without freezing.
#pragma once

#include <QString>
#include <QWidget>

#include "office/ZelMso.h"

namespace tovalin {

class ElevatedChanges {
 public:
  // `cliProgram` is the tovalin-cli that takes the machine-wide part.
  ElevatedChanges(Platform& machine, QString cliProgram);

  // Whether making the plan here needs an administrator: it has a machine-wide part and this
  // process lacks the rights. Its buttons show the shield.
  bool NeedsElevation(const TZelMso::TActionPlan& plan);
  // Makes the plan as the model's Perform does; false when the user declined the elevation
  // (nothing changed). `parent` owns the wait. Raises what Perform raises, and
  // ERegistryException when the elevated part failed (with its reason).
  bool Perform(TZelMso& model, const TZelMso::TActionPlan& plan, QWidget* parent,
               TZelMso::TRepairResult* result = nullptr);

  const QString& CliProgram() const { return cliProgram_; }

 private:
  // Runs the machine-wide changes elevated; false when declined.
  bool PerformElevated(const RegChangeSet& changes, QWidget* parent);

  Platform& machine_;
  QString cliProgram_;
};

// The tovalin-cli beside this program.
QString SiblingCliProgram();
// The message after a declined elevation.
QString ElevationDeclinedText();

}  // namespace tovalin
