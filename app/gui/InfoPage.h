// The main window's information page: the registered user of the suite, the product IDs of its
// versions, and an application's installed copies with their folder and properties.
//
// The page is handed what it works on (the model, the desktop's shell, the guard run before a
// change) and knows nothing of the window that holds it.
#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <string>

#include "app/gui/MessageBoxes.h"
#include "app/gui/ShellRequests.h"
#include "app/gui/WindowChanges.h"
#include "office/ZelMso.h"

class QGroupBox;
class QTableWidget;

namespace tovalin {

class InfoPage : public QWidget {
  Q_OBJECT
 public:
  // Before a change: false when programs hold the registry and the user did not let them go.
  using StoreGuard = std::function<bool()>;
  using ShellSource = std::function<IShellRequests&()>;

  InfoPage(Platform& platform, IMessageBoxes& boxes, ShellSource shell, StoreGuard storeReleased,
           WindowChanges& changes, QWidget* parent = nullptr);

  // The model is built after the page: lays the page out and shows its registered user.
  void SetModel(TZelMso& model);
  // The suite (0) shows its registered user and product IDs; an application its copies.
  void ShowApp(int appIndex);
  // A Return that no control of the window took presses the page's default button, as in a
  // dialog; true when it did.
  bool PressDefaultButton();

  // --- handlers ---
  void EdtCompanyChange();
  void EdtOwnerChange();
  void EdtInitialsChange();
  void BtnChangeClick();
  void SgdProductIDExit();
  void SgdAppFileListExit();
  void SgdProductIDDblClick();
  void SgdAppFileListDblClick();
  void BtnFolderClick();
  void BtnPropertyClick();

  // --- components (object names as the page was designed with) ---
  QGroupBox* GbxUserInfo = nullptr;
  QLabel* LblCompany = nullptr;
  QLabel* LblOwner = nullptr;
  QLabel* LblInitials = nullptr;
  QLineEdit* EdtCompany = nullptr;
  QLineEdit* EdtOwner = nullptr;
  QLineEdit* EdtInitials = nullptr;
  QPushButton* BtnChange = nullptr;
  QWidget* PnlProductID = nullptr;
  QLabel* LblProductID = nullptr;
  QTableWidget* SgdProductID = nullptr;
  QWidget* PnlAppFileList = nullptr;
  QLabel* LblVerList = nullptr;
  QTableWidget* SgdAppFileList = nullptr;
  QPushButton* BtnFolder = nullptr;
  QPushButton* BtnProperty = nullptr;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateComponents();
  void ConnectHandlers();
  void Layout();
  void UpdateChangeButton();
  // The update button shows the shield when the places it writes need an administrator here.
  void UpdateShield();
  void FillProductIdGrid();
  void FillAppFileGrid();
  // Runs a handler; an error that escapes it is shown and the window goes on.
  template <class F>
  void Guarded(F&& handler) {
    RunGuarded(boxes_, std::forward<F>(handler));
  }
  int TextWidth(const QString& text) const;
  // The file of the current row of SgdAppFileList, as GetCommandFileName finds it.
  std::string SelectedAppFile();

  Platform& platform_;
  IMessageBoxes& boxes_;
  ShellSource shell_;
  StoreGuard storeReleased_;
  WindowChanges& changes_;
  TZelMso* mso_ = nullptr;
  int appIndex_ = 0;
};

}  // namespace tovalin
