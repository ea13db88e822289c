// File > 変更の履歴: every action Tovalin made on the window's machine, newest first (time,
// application, item, what changed), and 元に戻す for the selected one, confirmed like every
// change. The window reads its states again after an undo.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "app/gui/MessageBoxes.h"
#include "app/gui/WindowChanges.h"

class QPushButton;
class QTreeWidget;

namespace tovalin {

class HistoryDialog : public QDialog {
  Q_OBJECT
 public:
  // `storeReleased` is the window's guard before a change (Wine's programs let go).
  HistoryDialog(TZelMso& model, WindowChanges& changes, IMessageBoxes& boxes,
                std::function<bool()> storeReleased, QWidget* parent = nullptr);

  // Reads the history again and lists it.
  void Fill();
  // Whether an undo was made while the dialog was open.
  bool Undid() const { return undid_; }

  // --- handlers ---
  void LvHistorySelect();
  void BtnUndoClick();

  // --- components ---
  QTreeWidget* LvHistory = nullptr;
  QPushButton* BtnUndo = nullptr;
  QPushButton* BtnClose = nullptr;

 private:
  const ActionRecord* Selected() const;

  TZelMso& model_;
  WindowChanges& changes_;
  IMessageBoxes& boxes_;
  std::function<bool()> storeReleased_;
  std::vector<ActionRecord> records_;
  bool undid_ = false;
};

}  // namespace tovalin
