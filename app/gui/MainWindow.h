// The main window: the product list down the left side, the header line with the product name
// and the force-quit button, the information and troubleshooting pages, and the menu.
//
// Every component carries its object name, so tests and tools find them with findChild<>().
#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <memory>

#include "app/gui/InfoPage.h"
#include "app/gui/MessageBoxes.h"
#include "app/gui/Panel.h"
#include "app/gui/ProgramInfo.h"
#include "app/gui/ShellRequests.h"
#include "app/gui/WindowChanges.h"
#include "app/widgets/GraphicListBox.h"
#include "app/widgets/ImageList.h"
#include "office/ZelMso.h"

class QAction;
class QButtonGroup;
class QFrame;
class QMenu;
class QMenuBar;
class QStatusBar;
class QTabWidget;

namespace tovalin {

// Builds the model; the window calls it once, while it is created.
using ModelFactory = std::function<std::unique_ptr<TZelMso>(Platform&)>;

class MainWindow : public QMainWindow {
  Q_OBJECT
 public:
  // Runs FormCreate: the model scan happens here, before anything is shown.
  MainWindow(Platform& platform, IMessageBoxes& boxes, ModelFactory factory = {},
             QWidget* parent = nullptr);
  ~MainWindow() override;

  // False when no product was found: the window must not be shown then.
  bool StartOk() const { return FStartOk; }
  TZelMso& Model() { return *FMso; }
  int MenuIndex() const { return FMenuIndex; }
  int ItemIndex() const { return FItemIndex; }
  int AppIndex() const { return FAppIndex; }
  const TArrayDword& ProcessIds() const { return FProcessIds; }

  int ClientWidth() const;
  int ClientHeight() const;
  // Sets the client area (the part below the menu bar).
  void SetClientSize(int width, int height);

  // Another start of the program asked this one to come to the front.
  void RestoreFromOtherInstance();

  // Where folders, pages, mail and properties are opened; the desktop's unless set.
  void SetShellRequests(IShellRequests& shell);

  // Names the machine shown on the status line and offers File > switch, which calls
  // `switchMachine` (it must not destroy the window while the menu runs). Without a call the
  // window names no machine and offers no switch, as on Windows.
  void SetMachine(const QString& description, std::function<void()> switchMachine);
  // Keeps the window's changes in the history of the machine (`machineName` is the prefix on
  // Linux, "" on Windows) and offers File > 変更の履歴.
  void SetHistory(std::unique_ptr<ActionHistory> history, std::string machineName);

  // --- handlers ---
  void FormResize();
  void GlbMenuClick();
  void MI_F_ExitClick();
  void MI_F_HistoryClick();
  void TimerProcessTimer();
  void BtnProcessClick();
  void GlbItemClick();
  void BtnItemClick();
  void SbtItem1Click();
  void SbtItem2Click();
  void TabRepairResize();

  // Report dialog, about dialog and outside links.
  void MI_GUIDClick();
  void MI_O_AboutClick();
  void MI_SiteClick();
  void MI_BbsClick();
  void BtnMsoSiteClick();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Coming back to the window, the user may have changed the registry elsewhere meanwhile.
  void changeEvent(QEvent* event) override;

 private:
  void CreateComponents();
  void CreateRepairPage();
  void ConnectHandlers();
  void FormCreate(const ModelFactory& factory);
  void BuildProductMenu();
  // The toggles' handler: asks, changes and shows the state the item has afterwards.
  void ChangeItemState(int value);
  void ConfirmAndSetItemState(int value);
  // Before a change: false when programs hold the registry and the user did not let them go.
  bool StoreReleased();
  // Shows the two toggle buttons for a state: 0 presses the first, 1 the second, anything else
  // neither; a button whose change needs an administrator here shows the shield.
  void ShowItemState(int state);
  void ShowShields(int state);
  // Reads again what another program changed on disk and shows the current item's state anew.
  void RefreshStates();
  const TZelMsoItem* CurrentItem() const;
  // Runs a handler; an error that escapes it is shown and the window goes on.
  template <class F>
  void Guarded(F&& handler) {
    RunGuarded(boxes_, std::forward<F>(handler));
  }
  // The running-application poll as the timer runs it.
  void TimerTick();
  // Lays out the list, the splitter and the help text inside PnlItem.
  void LayoutItemPanel();
  IShellRequests& Shell();

  Platform& platform_;
  IMessageBoxes& boxes_;
  WindowChanges changes_{platform_, SiblingCliProgram()};
  TProgramInfo programInfo_ = ReadProgramInfo(platform_);
  std::unique_ptr<IShellRequests> ownShell_;
  IShellRequests* shell_ = nullptr;

 public:
  // --- components (object names as the window was designed with) ---
  QMenuBar* MN_Main = nullptr;
  QMenu* MI_File = nullptr;
  QAction* MI_F_Machine = nullptr;
  QAction* MI_F_History = nullptr;
  QAction* MI_F_Exit = nullptr;
  QMenu* MI_Other = nullptr;
  QAction* MI_Site = nullptr;
  QAction* MI_Bbs = nullptr;
  QAction* MI_GUID = nullptr;
  QAction* MI_Sep1 = nullptr;
  QAction* MI_O_About = nullptr;

  QWidget* Client = nullptr;
  QFrame* BvlMenu = nullptr;
  QLabel* ImgLink = nullptr;
  TGraphicListBox* GlbMenu = nullptr;
  TImageList* IL_Menu = nullptr;
  TPanel* PnlProductName = nullptr;
  QPushButton* BtnProcess = nullptr;
  QFrame* BvlMain = nullptr;
  QTabWidget* PctMain = nullptr;
  InfoPage* TabInfo = nullptr;
  QWidget* TabRepair = nullptr;
  QPushButton* BtnMsoSite = nullptr;
  QPushButton* BtnClose = nullptr;
  QStatusBar* StatusBar1 = nullptr;
  QLabel* StatusText = nullptr;
  QLabel* StatusMachine = nullptr;
  QTimer* TimerProcess = nullptr;

  // Troubleshooting page.
  QWidget* PnlItem = nullptr;
  TSplitter* Splitter1 = nullptr;
  TGraphicListBox* GlbItem = nullptr;
  TImageList* IL_Item = nullptr;
  QPlainTextEdit* MM_Help = nullptr;
  QPushButton* BtnItem = nullptr;
  QPushButton* SbtItem1 = nullptr;
  QPushButton* SbtItem2 = nullptr;
  QButtonGroup* SbtGroup = nullptr;

 private:
  // --- state ---
  std::unique_ptr<TZelMso> FMso;
  QStringList FMenuAppIndexes;
  int FMenuIndex = -1;
  int FItemIndex = -1;
  int FAppIndex = 0;
  TArrayDword FProcessIds;
  std::function<void()> switchMachine_;
  bool FStartOk = false;
  // The item list gets half of PnlItem at the page's first real size.
  bool splitPending_ = true;
};

}  // namespace tovalin
