#include "app/gui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>

#include "app/gui/DialogArt.h"
#include "app/gui/DialogSupport.h"
#include "app/gui/HeldStore.h"
#include "app/gui/HistoryDialog.h"
#include "app/gui/Links.h"
#include "app/gui/ProgramArt.h"
#include "app/gui/QtText.h"
#include "app/gui/ReportDialog.h"
#include "app/gui/ZelAboutDialog.h"
#include "app/widgets/SysColors.h"
#include "support/Text.h"

namespace tovalin {

namespace {

// Line breaks in the model's texts are CR LF; the text controls want LF.
QString PlainLines(const std::string& text) {
  QString result = Q(text);
  result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return result;
}

// The timer stays off while a repair or a forced termination is carried out; it starts again
// afterwards, also when the operation failed, so that the guard never stays switched off.
class TimerPause {
 public:
  TimerPause(QTimer& timer, const int& appIndex) : timer_(timer), appIndex_(appIndex) {
    timer_.stop();
  }
  ~TimerPause() {
    if (appIndex_ != 0) timer_.start();
  }
  TimerPause(const TimerPause&) = delete;
  TimerPause& operator=(const TimerPause&) = delete;

 private:
  QTimer& timer_;
  const int& appIndex_;
};

// A menu item's caption up to its accelerator part: "サポートBBS(&B)" → "サポートBBS".
std::string MenuName(const QAction* item) {
  const QString caption = item->text();
  const qsizetype paren = caption.indexOf(u'(');
  return Utf8(paren < 0 ? caption : caption.left(paren));
}

constexpr int kMinClientWidth = 500;
constexpr int kMinClientHeight = 300;

}  // namespace

MainWindow::MainWindow(Platform& platform, IMessageBoxes& boxes, ModelFactory factory,
                       QWidget* parent)
    : QMainWindow(parent), platform_(platform), boxes_(boxes) {
  setObjectName(QStringLiteral("MainWindow"));
  setFont(WindowFont());
  CreateComponents();
  ConnectHandlers();
  if (!factory) {
    factory = [](Platform& p) { return std::make_unique<TZelMso>(p); };
  }
  FormCreate(factory);
}

MainWindow::~MainWindow() {
  // FormDestroy: the model goes before the window's own lists.
  TimerProcess->stop();
  FMso.reset();
  FMenuAppIndexes.clear();
}

int MainWindow::ClientWidth() const {
  return Client->width();
}
int MainWindow::ClientHeight() const {
  return Client->height();
}

void MainWindow::SetClientSize(int width, int height) {
  const int menuHeight = MN_Main->isHidden() ? 0 : MN_Main->sizeHint().height();
  resize(width, height + menuHeight);
  Client->resize(width, height);
}

void MainWindow::RestoreFromOtherInstance() {
  if (!FStartOk) return;
  if (isMinimized()) {
    showNormal();
  } else if (isHidden()) {
    show();
  }
  raise();
  activateWindow();
}

void MainWindow::SetMachine(const QString& description, std::function<void()> switchMachine) {
  switchMachine_ = std::move(switchMachine);
  MI_F_Machine->setVisible(static_cast<bool>(switchMachine_));
  // The machine matters more than the credit line when there is a choice of machines.
  StatusMachine->setText(description);
  StatusMachine->setToolTip(description);
  StatusMachine->setVisible(!description.isEmpty());
  StatusText->setVisible(description.isEmpty());
}

void MainWindow::SetHistory(std::unique_ptr<ActionHistory> history, std::string machineName) {
  changes_.SetHistory(std::move(history), std::move(machineName));
  MI_F_History->setVisible(true);
}

void MainWindow::MI_F_HistoryClick() {
  HistoryDialog dialog(
      *FMso, changes_, boxes_, [this] { return StoreReleased(); }, this);
  dialog.exec();
  if (!dialog.Undid()) return;
  // The undo changed what the pages show.
  FMso->ReadUserInfo();
  TabInfo->SetModel(*FMso);
  TabInfo->ShowApp(FAppIndex);
  RefreshStates();
}

bool MainWindow::StoreReleased() {
  TimerPause pause(*TimerProcess, FAppIndex);
  return ReleaseHeldStore(platform_, boxes_, this);
}

void MainWindow::CreateComponents() {
  const QPalette pal = palette();

  MN_Main = new QMenuBar(this);
  MN_Main->setObjectName(QStringLiteral("MN_Main"));
  setMenuBar(MN_Main);
  MI_File = MN_Main->addMenu(QStringLiteral("ファイル(&F)"));
  MI_File->setObjectName(QStringLiteral("MI_File"));
  MI_F_Machine = MI_File->addAction(QStringLiteral("Wine プレフィックスを切り替える(&W)..."));
  MI_F_Machine->setObjectName(QStringLiteral("MI_F_Machine"));
  MI_F_Machine->setVisible(false);
  MI_F_History = MI_File->addAction(QStringLiteral("変更の履歴(&H)..."));
  MI_F_History->setObjectName(QStringLiteral("MI_F_History"));
  MI_F_History->setVisible(false);
  MI_F_Exit = MI_File->addAction(QStringLiteral("終了(&X)"));
  MI_F_Exit->setObjectName(QStringLiteral("MI_F_Exit"));
  MI_Other = MN_Main->addMenu(QStringLiteral("その他(&O)"));
  MI_Other->setObjectName(QStringLiteral("MI_Other"));
  MI_Site = MI_Other->addAction(QStringLiteral("zivor「Harrow」(&S)"));
  MI_Site->setObjectName(QStringLiteral("MI_Site"));
  MI_Bbs = MI_Other->addAction(QStringLiteral("サポートBBS(&B)"));
  MI_Bbs->setObjectName(QStringLiteral("MI_Bbs"));
  MI_GUID = MI_Other->addAction(QStringLiteral("対応製品の追加依頼を行う"));
  MI_GUID->setObjectName(QStringLiteral("MI_GUID"));
  MI_Sep1 = MI_Other->addSeparator();
  MI_Sep1->setObjectName(QStringLiteral("MI_Sep1"));
  MI_O_About = MI_Other->addAction(QStringLiteral("バージョン情報(&A)"));
  MI_O_About->setObjectName(QStringLiteral("MI_O_About"));

  Client = new QWidget(this);
  Client->setObjectName(QStringLiteral("Client"));
  Client->setMinimumSize(kMinClientWidth, kMinClientHeight);
  setCentralWidget(Client);

  BvlMenu = new QFrame(Client);
  BvlMenu->setObjectName(QStringLiteral("BvlMenu"));
  BvlMenu->setFrameStyle(QFrame::HLine | QFrame::Sunken);
  BvlMenu->setGeometry(0, 0, kMinClientWidth, 2);

  // The banner goes first so that the product list covers it where they meet.
  ImgLink = new QLabel(Client);
  ImgLink->setObjectName(QStringLiteral("ImgLink"));
  ImgLink->setPixmap(QPixmap::fromImage(BannerImage()));
  ImgLink->setGeometry(4, 0, 88, 31);

  IL_Menu = new TImageList(32, 32, this);
  IL_Menu->setObjectName(QStringLiteral("IL_Menu"));
  GlbMenu = new TGraphicListBox(Client);
  GlbMenu->setObjectName(QStringLiteral("GlbMenu"));
  GlbMenu->SetAutoItemHeight(false);
  GlbMenu->SetItemHeight(36);
  GlbMenu->SetBorderHighlight(SysColor(TSysColor::clBtnHighlight, pal));
  GlbMenu->SetBorderShadow(SysColor(TSysColor::clBtnShadow, pal));
  GlbMenu->SetFlat(false);
  GlbMenu->SetColor(SysColor(TSysColor::clBtnFace, pal));
  GlbMenu->SetSecondColor(SysColor(TSysColor::clBtnFace, pal));
  GlbMenu->SetSelectedColor(clSkyBlue);
  GlbMenu->SetFocusedColor(clMoneyGreen);
  GlbMenu->SetLayout(TButtonLayout::blGlyphLeft);
  GlbMenu->SetSpacer(4);
  GlbMenu->SetGlyphScale(100);
  GlbMenu->SetGlyphs(IL_Menu);
  for (auto set : {&TGraphicListBox::SetSecondFont, &TGraphicListBox::SetSelectedFont,
                   &TGraphicListBox::SetFocusedFont}) {
    (GlbMenu->*set)(WindowFont());
  }
  GlbMenu->setGeometry(8, 8, 121, 200);

  PnlProductName = new TPanel(Client);
  PnlProductName->setObjectName(QStringLiteral("PnlProductName"));
  PnlProductName->SetBevels(true, true);
  PnlProductName->setGeometry(137, 8, 355, 41);

  BtnProcess = new QPushButton(QStringLiteral("強制終了(&E)"), PnlProductName);
  BtnProcess->setObjectName(QStringLiteral("BtnProcess"));
  BtnProcess->setIcon(style()->standardIcon(QStyle::SP_BrowserStop));
  BtnProcess->setGeometry(250, 8, 100, 25);
  BtnProcess->setAutoDefault(false);
  BtnProcess->hide();

  BvlMain = new QFrame(Client);
  BvlMain->setObjectName(QStringLiteral("BvlMain"));
  BvlMain->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  BvlMain->setLineWidth(1);
  BvlMain->setGeometry(137, 49, 355, 200);

  PctMain = new QTabWidget(Client);
  PctMain->setObjectName(QStringLiteral("PctMain"));
  PctMain->setTabPosition(QTabWidget::South);
  PctMain->setUsesScrollButtons(false);
  PctMain->setDocumentMode(false);
  TabInfo = new InfoPage(
      platform_, boxes_, [this]() -> IShellRequests& { return Shell(); },
      [this] { return StoreReleased(); }, changes_);
  TabInfo->setObjectName(QStringLiteral("TabInfo"));
  TabRepair = new QWidget;
  TabRepair->setObjectName(QStringLiteral("TabRepair"));
  PctMain->addTab(TabInfo, QStringLiteral("情報"));
  PctMain->addTab(TabRepair, QStringLiteral("トラブル解決・設定変更"));
  PctMain->setGeometry(138, 50, 353, 198);

  BtnMsoSite = new QPushButton(QStringLiteral("Microsoft Office のアップデート"), Client);
  BtnMsoSite->setObjectName(QStringLiteral("BtnMsoSite"));
  BtnMsoSite->setAutoDefault(false);
  BtnMsoSite->setGeometry(137, 250, 240, 25);

  // The toolkit's own Close button: its caption and glyph.
  QString closeText = QStringLiteral("Close");
  {
    QDialogButtonBox standard(QDialogButtonBox::Close);
    if (QPushButton* b = standard.button(QDialogButtonBox::Close)) closeText = b->text();
  }
  BtnClose = new QPushButton(closeText, Client);
  BtnClose->setObjectName(QStringLiteral("BtnClose"));
  BtnClose->setIcon(style()->standardIcon(QStyle::SP_DialogCloseButton));
  BtnClose->setAutoDefault(false);
  BtnClose->setGeometry(409, 250, 83, 25);

  StatusBar1 = new QStatusBar(Client);
  StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
  StatusBar1->setSizeGripEnabled(false);
  StatusText = new QLabel(QStringLiteral("Tovalin - Microsoft Office トラブル解決ユーティリティ  "
                                         "作者: Zaro Vadera \"Harrow\""),
                          StatusBar1);
  StatusText->setObjectName(QStringLiteral("StatusText"));
  StatusBar1->addWidget(StatusText, 1);
  StatusMachine = new QLabel(StatusBar1);
  StatusMachine->setObjectName(QStringLiteral("StatusMachine"));
  StatusMachine->setVisible(false);
  StatusBar1->addWidget(StatusMachine, 1);
  StatusBar1->setGeometry(0, kMinClientHeight - 19, kMinClientWidth, 19);

  TimerProcess = new QTimer(this);
  TimerProcess->setObjectName(QStringLiteral("TimerProcess"));
  TimerProcess->setInterval(500);

  CreateRepairPage();
}

void MainWindow::CreateRepairPage() {
  const QPalette pal = palette();

  PnlItem = new QWidget(TabRepair);
  PnlItem->setObjectName(QStringLiteral("PnlItem"));
  PnlItem->setGeometry(4, 4, 300, 150);

  IL_Item = new TImageList(16, 16, this);
  IL_Item->setObjectName(QStringLiteral("IL_Item"));
  GlbItem = new TGraphicListBox(PnlItem);
  GlbItem->setObjectName(QStringLiteral("GlbItem"));
  GlbItem->SetAutoItemHeight(false);
  GlbItem->SetItemHeight(20);
  GlbItem->SetBorderHighlight(SysColor(TSysColor::clBtnHighlight, pal));
  GlbItem->SetBorderShadow(SysColor(TSysColor::clBtnShadow, pal));
  GlbItem->SetFlat(false);
  GlbItem->SetSecondColor(SysColor(TSysColor::clWindow, pal));
  GlbItem->SetSelectedColor(clSkyBlue);
  GlbItem->SetFocusedColor(clMoneyGreen);
  GlbItem->SetLayout(TButtonLayout::blGlyphLeft);
  GlbItem->SetSpacer(4);
  GlbItem->SetGlyphScale(100);
  GlbItem->SetGlyphs(IL_Item);
  for (auto set : {&TGraphicListBox::SetSecondFont, &TGraphicListBox::SetSelectedFont,
                   &TGraphicListBox::SetFocusedFont}) {
    (GlbItem->*set)(WindowFont());
  }
  GlbItem->setGeometry(0, 0, 300, 73);

  Splitter1 = new TSplitter(GlbItem, PnlItem);
  Splitter1->setObjectName(QStringLiteral("Splitter1"));
  Splitter1->setGeometry(0, 73, 300, 4);

  MM_Help = new QPlainTextEdit(PnlItem);
  MM_Help->setObjectName(QStringLiteral("MM_Help"));
  MM_Help->setReadOnly(true);
  MM_Help->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  MM_Help->setGeometry(0, 77, 300, 73);

  BtnItem = new QPushButton(TabRepair);
  BtnItem->setObjectName(QStringLiteral("BtnItem"));
  BtnItem->setAutoDefault(false);
  BtnItem->setEnabled(false);
  BtnItem->setGeometry(4, 160, 300, 25);

  SbtItem1 = new QPushButton(TabRepair);
  SbtItem1->setObjectName(QStringLiteral("SbtItem1"));
  SbtItem2 = new QPushButton(TabRepair);
  SbtItem2->setObjectName(QStringLiteral("SbtItem2"));
  SbtGroup = new QButtonGroup(this);
  SbtGroup->setObjectName(QStringLiteral("SbtGroup"));
  SbtGroup->setExclusive(true);
  for (QPushButton* button : {SbtItem1, SbtItem2}) {
    button->setCheckable(true);
    button->setAutoDefault(false);
    button->setEnabled(false);
    button->hide();
    button->resize(148, 25);
    SbtGroup->addButton(button);
  }
  SbtItem1->move(4, 160);
  SbtItem2->move(156, 160);
}

void MainWindow::ConnectHandlers() {
  Client->installEventFilter(this);
  TabRepair->installEventFilter(this);
  PnlItem->installEventFilter(this);

  connect(MI_F_Exit, &QAction::triggered, this, [this] { Guarded([this] { MI_F_ExitClick(); }); });
  connect(MI_F_History, &QAction::triggered, this,
          [this] { Guarded([this] { MI_F_HistoryClick(); }); });
  connect(MI_F_Machine, &QAction::triggered, this, [this] {
    if (switchMachine_) Guarded(switchMachine_);
  });
  connect(MI_Site, &QAction::triggered, this, [this] { Guarded([this] { MI_SiteClick(); }); });
  connect(MI_Bbs, &QAction::triggered, this, [this] { Guarded([this] { MI_BbsClick(); }); });
  connect(MI_GUID, &QAction::triggered, this, [this] { Guarded([this] { MI_GUIDClick(); }); });
  connect(MI_O_About, &QAction::triggered, this,
          [this] { Guarded([this] { MI_O_AboutClick(); }); });
  connect(BtnMsoSite, &QPushButton::clicked, this,
          [this] { Guarded([this] { BtnMsoSiteClick(); }); });
  connect(BtnClose, &QPushButton::clicked, this, [this] { Guarded([this] { close(); }); });

  connect(GlbMenu, &TGraphicListBox::Click, this, [this] { Guarded([this] { GlbMenuClick(); }); });
  connect(TimerProcess, &QTimer::timeout, this, &MainWindow::TimerTick);
  connect(BtnProcess, &QPushButton::clicked, this,
          [this] { Guarded([this] { BtnProcessClick(); }); });
  // BtnProcess is the window's Cancel button: Esc presses it while it is shown.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setObjectName(QStringLiteral("EscapeShortcut"));
  connect(escape, &QShortcut::activated, this, [this] {
    if (!BtnProcess->isHidden() && BtnProcess->isEnabled()) BtnProcess->click();
  });

  connect(GlbItem, &TGraphicListBox::Click, this, [this] { Guarded([this] { GlbItemClick(); }); });
  connect(PctMain, &QTabWidget::currentChanged, this,
          [this] { Guarded([this] { RefreshStates(); }); });
  connect(BtnItem, &QPushButton::clicked, this, [this] { Guarded([this] { BtnItemClick(); }); });
  connect(SbtItem1, &QPushButton::clicked, this, [this] { Guarded([this] { SbtItem1Click(); }); });
  connect(SbtItem2, &QPushButton::clicked, this, [this] { Guarded([this] { SbtItem2Click(); }); });
  connect(Splitter1, &TSplitter::Moved, this, [this] { LayoutItemPanel(); });
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() != QEvent::ActivationChange || !isActiveWindow() || !FMso) return;
  // Activation also follows every message box; an error here would open the next one, so the
  // state shown stays as it was and the next click reports what is wrong.
  try {
    RefreshStates();
  } catch (...) {
  }
}

void MainWindow::RefreshStates() {
  platform_.Registry().Refresh();
  const TZelMsoItem* item = CurrentItem();
  if (item != nullptr && item->Captions.size() > 1) ShowItemState(FMso->GetItemState(item->ItemId));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Resize) {
    if (watched == Client) {
      Guarded([this] { FormResize(); });
    } else if (watched == TabRepair) {
      Guarded([this] { TabRepairResize(); });
    } else if (watched == PnlItem) {
      LayoutItemPanel();
    }
  }
  if (event->type() == QEvent::KeyPress && watched == Client) {
    // A Return that no control took presses the default button, as in a dialog.
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
        TabInfo->PressDefaultButton()) {
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void MainWindow::FormCreate(const ModelFactory& factory) {
  FStartOk = false;
  setWindowTitle(programInfo_.ProductName.empty() ? QStringLiteral("Tovalin")
                                                  : Q(programInfo_.ProductName));
  setWindowIcon(ProgramIcon());

  FMenuAppIndexes.clear();
  FMso = factory(platform_);

  MI_GUID->setVisible(!FMso->UnrecognisedProducts.empty());

  // Frame layout.
  GlbMenu->setFrameShape(QFrame::NoFrame);
  GlbMenu->move(4, 4);
  ImgLink->move(4, ImgLink->y());
  PnlProductName->SetCaption(QString());
  PnlProductName->setGeometry(GlbMenu->x() + GlbMenu->width() + 8, GlbMenu->y(),
                              PnlProductName->width(), BtnProcess->height() + 8);
  BvlMain->move(PnlProductName->x(), PnlProductName->y() + PnlProductName->height());
  PctMain->move(BvlMain->x() + 1, BvlMain->y() + 1);
  BtnMsoSite->move(PnlProductName->x(), BtnMsoSite->y());
  BtnProcess->move(BtnProcess->x(), 4);

  // Pages.
  TabInfo->SetModel(*FMso);
  PnlItem->move(4, 4);
  Splitter1->resize(Splitter1->width(), 4);
  BtnItem->move(PnlItem->x(), BtnItem->y());
  SbtItem1->move(PnlItem->x(), SbtItem1->y());
  MM_Help->clear();
  BtnItem->setText(QString());
  SbtItem1->setText(QString());
  SbtItem2->setText(QString());

  BuildProductMenu();

  SetClientSize(kMinClientWidth, kMinClientHeight);
  FormResize();
  GlbItem->resize(GlbItem->width(), (PnlItem->height() - Splitter1->height()) / 2);
  LayoutItemPanel();

  PctMain->setCurrentWidget(TabInfo);
  FMenuIndex = -1;

  if (GlbMenu->count() > 0) {
    FStartOk = true;
    GlbMenu->SetItemIndex(0);
    GlbMenuClick();
  } else {
    boxes_.Fail(QStringLiteral("Microsoft Office を検出出来ませんでした。"));
  }
}

void MainWindow::BuildProductMenu() {
  for (int i = 0; i < kAppCount; ++i) {
    const TZelMsoInfo* info = FMso->Slots[static_cast<std::size_t>(i)].get();
    if (info == nullptr) continue;
    FMenuAppIndexes.append(QString::number(i));
    GlbMenu->addItem(Q(info->AppName));
    QImage icon = IconImageFromIco(info->Icon.Data(), IL_Menu->Width());
    if (icon.isNull()) {
      icon = i == 0 ? ProgramIconImage(IL_Menu->Width()) : ApplicationIconImage(IL_Menu->Width());
    }
    IL_Menu->Add(icon);
  }
}

void MainWindow::FormResize() {
  int width = ClientWidth();
  int height = ClientHeight();
  if (height < kMinClientHeight || width < kMinClientWidth) {
    width = std::max(width, kMinClientWidth);
    height = std::max(height, kMinClientHeight);
    SetClientSize(width, height);
  }
  BvlMenu->hide();
  BvlMenu->resize(width, BvlMenu->height());
  StatusBar1->setGeometry(0, height - 19, width, 19);

  PnlProductName->resize(width - PnlProductName->x() - GlbMenu->x(), PnlProductName->height());
  BtnProcess->move(PnlProductName->width() - BtnProcess->width() - 4, BtnProcess->y());
  BvlMain->resize(PnlProductName->width(), BvlMain->height());
  PctMain->resize(BvlMain->width() - 2, PctMain->height());

  ImgLink->move(ImgLink->x(), StatusBar1->y() - ImgLink->height() - 4);
  BtnClose->move(width - BtnClose->width() - 8, StatusBar1->y() - BtnClose->height() - 4);
  BtnMsoSite->setGeometry(BtnMsoSite->x(), BtnClose->y(), BtnClose->x() - BtnMsoSite->x() - 8,
                          BtnMsoSite->height());
  GlbMenu->resize(GlbMenu->width(), BtnClose->y() - GlbMenu->y() - 4);
  BvlMain->resize(BvlMain->width(), GlbMenu->height() - PnlProductName->height());
  PctMain->resize(PctMain->width(), BvlMain->height() - 2);
}

void MainWindow::MI_F_ExitClick() {
  close();
}

void MainWindow::GlbMenuClick() {
  const int row = GlbMenu->ItemIndex();
  if (row == -1 || row == FMenuIndex) return;

  TimerProcess->stop();
  platform_.Registry().Refresh();
  FMenuIndex = row;
  FItemIndex = -1;
  MM_Help->clear();
  BtnItem->setText(QString());
  BtnItem->setEnabled(false);
  SbtItem1->setEnabled(false);
  SbtItem2->setEnabled(false);
  BtnItem->show();
  SbtItem1->hide();
  SbtItem2->hide();

  FAppIndex = FMenuAppIndexes.value(row).toInt();
  const TZelMsoInfo* info = FMso->Slots[static_cast<std::size_t>(FAppIndex)].get();
  if (info == nullptr) return;

  if (!info->DisplayVersion.empty()) {
    PnlProductName->SetCaption(Q(FormatPath(" %s Ver.%s", {info->Title, info->DisplayVersion})));
  } else if (const std::string fileVersion = info->VersionInfo.GetFileVersion();
             !fileVersion.empty()) {
    PnlProductName->SetCaption(Q(FormatPath(" %s Ver.%s", {info->Title, fileVersion})));
  } else {
    PnlProductName->SetCaption(Q(FormatPath(" %s", {info->Title})));
  }

  TabInfo->ShowApp(FAppIndex);
  if (FAppIndex == 0) {
    BtnProcess->hide();
  } else {
    TimerProcessTimer();
    TimerProcess->start();
  }

  GlbItem->clear();
  IL_Item->Clear();
  for (const TZelMsoItem& item : info->Items) {
    GlbItem->addItem(Q(item.Title));
    switch (static_cast<TZelItemKind>(item.Kind)) {
      case TZelItemKind::Information:
        IL_Item->Add(SystemIconImage(SystemIconKind::Information, IL_Item->Width()));
        break;
      case TZelItemKind::Setting:
        IL_Item->Add(SystemIconImage(SystemIconKind::Question, IL_Item->Width()));
        break;
      case TZelItemKind::Trouble:
        IL_Item->Add(SystemIconImage(SystemIconKind::Warning, IL_Item->Width()));
        break;
      default:
        // Keeps row r on image r.
        IL_Item->Add(QImage());
        break;
    }
  }
}

void MainWindow::TimerProcessTimer() {
  TArrayDword pids;
  const std::string_view exeName = kMsoApps[static_cast<std::size_t>(FAppIndex)].ExeName;
  // The suite has no executable of its own; an empty name must not match anything.
  if (!exeName.empty()) FMso->FindRunningProcesses(exeName, pids);
  FProcessIds = pids;
  BtnProcess->setVisible(!FProcessIds.empty());
}

void MainWindow::TimerTick() {
  try {
    TimerProcessTimer();
  } catch (...) {
    // A poll that fails would fail again every half second; the guard rests until the next
    // product switch instead of stacking one error box on another.
    TimerProcess->stop();
    ShowException(boxes_, std::current_exception());
  }
}

void MainWindow::BtnProcessClick() {
  const std::string appName = kMsoApps[static_cast<std::size_t>(FAppIndex)].AppName;
  if (!boxes_.Ask(Q(FormatArg0("%0:s が動作中です。\r\n%0:s を強制終了しますか？", appName)))) {
    return;
  }
  TimerPause pause(*TimerProcess, FAppIndex);
  const TArrayDword ids = FProcessIds;
  for (std::uint32_t pid : ids) FMso->TerminateRunningProcess(pid);
  TimerProcessTimer();
}

const TZelMsoItem* MainWindow::CurrentItem() const {
  if (FItemIndex < 0 || !FMso) return nullptr;
  const TZelMsoInfo* info = FMso->Slots[static_cast<std::size_t>(FAppIndex)].get();
  if (info == nullptr || FItemIndex >= static_cast<int>(info->Items.size())) return nullptr;
  return &info->Items[static_cast<std::size_t>(FItemIndex)];
}

void MainWindow::ShowItemState(int state) {
  SbtGroup->setExclusive(false);
  SbtItem1->setChecked(state == 0);
  SbtItem2->setChecked(state == 1);
  SbtGroup->setExclusive(true);
  ShowShields(state);
}

void MainWindow::ShowShields(int state) {
  const TZelMsoItem* item = CurrentItem();
  const bool asked = item != nullptr && !platform_.Processes().Elevated();
  const QIcon shield = ShieldIcon(*style());
  auto shieldFor = [&](const TZelMso::TActionPlan& plan) {
    return asked && changes_.NeedsElevation(plan) ? shield : QIcon();
  };
  if (item == nullptr) return;
  if (item->Captions.size() == 1) {
    BtnItem->setIcon(shieldFor(asked ? FMso->PlanRepair(item->ItemId) : TZelMso::TActionPlan{}));
    return;
  }
  // The pressed button changes nothing; the other one shows whether its change needs rights.
  for (const auto& [button, value] : {std::pair{SbtItem1, 0}, std::pair{SbtItem2, 1}}) {
    button->setIcon(value == state || !asked ? QIcon()
                                             : shieldFor(FMso->PlanItemState(item->ItemId, value)));
  }
}

void MainWindow::GlbItemClick() {
  const int row = GlbItem->ItemIndex();
  if (row == -1 || row == FItemIndex) return;
  FItemIndex = row;
  const TZelMsoItem* item = CurrentItem();
  if (item == nullptr) return;

  MM_Help->setPlainText(PlainLines(item->Description));
  const bool oneShot = item->Captions.size() == 1;
  BtnItem->setVisible(oneShot);
  SbtItem1->setVisible(!oneShot);
  SbtItem2->setVisible(!oneShot);
  if (oneShot) {
    BtnItem->setText(Q(FormatPath("%sを試みる", {item->Captions[0]})));
    BtnItem->setEnabled(true);
    ShowShields(-1);
  } else {
    SbtItem1->setText(item->Captions.size() > 0 ? Q(item->Captions[0]) : QString());
    SbtItem2->setText(item->Captions.size() > 1 ? Q(item->Captions[1]) : QString());
    SbtItem1->setEnabled(true);
    SbtItem2->setEnabled(true);
    platform_.Registry().Refresh();
    ShowItemState(FMso->GetItemState(item->ItemId));
  }
}

void MainWindow::BtnItemClick() {
  const TZelMsoItem* item = CurrentItem();
  if (item == nullptr || item->Captions.empty()) return;
  const std::string word = item->Captions[0];
  if (!boxes_.Ask(Q(FormatPath("%sを試みますか？", {word})))) return;

  TimerProcessTimer();
  if (!BtnProcess->isHidden()) BtnProcessClick();
  // The repair never runs while the application is running.
  if (!BtnProcess->isHidden()) return;

  if (!StoreReleased()) return;
  TimerPause pause(*TimerProcess, FAppIndex);
  const TZelMso::TActionPlan plan = FMso->PlanRepair(item->ItemId);
  if (!plan.Repair.Skipped.empty()) {
    boxes_.Fail(Q(FormatPath("%sできませんでした。\r\n%s", {word, plan.Repair.Summary()})));
    return;
  }
  TZelMso::TRepairResult done;
  if (!changes_.Perform(*FMso, plan, FMso->ItemActionInfo(item->ItemId, 0), this, &done)) {
    boxes_.Warn(ElevationDeclinedText());
    return;
  }
  std::string text = FormatPath("%sを試みました。\r\n%s を起動して確認してください。",
                                {word, kMsoApps[static_cast<std::size_t>(FAppIndex)].AppName});
  if (done.RemovesFiles) text += "\r\n\r\n" + done.Summary();
  if (done.Succeeded()) {
    boxes_.Inform(Q(text));
  } else {
    boxes_.Warn(Q(text));
  }
}

void MainWindow::SbtItem1Click() {
  ChangeItemState(0);
}

void MainWindow::SbtItem2Click() {
  ChangeItemState(1);
}

void MainWindow::ChangeItemState(int value) {
  const TZelMsoItem* item = CurrentItem();
  if (item == nullptr) return;
  const int before = FMso->GetItemState(item->ItemId);
  try {
    if (before != value) ConfirmAndSetItemState(value);
  } catch (...) {
    // The buttons must not claim a change that failed with an error; the error is shown next.
    try {
      RefreshStates();
    } catch (...) {
      ShowItemState(before);
    }
    throw;
  }
  // Whatever the answer and the outcome, the buttons end on the state read back: the pressed
  // button only says what was asked for, and a re-read while a box was open may have pressed
  // the other one meanwhile.
  RefreshStates();
}

void MainWindow::ConfirmAndSetItemState(int value) {
  const TZelMsoItem* item = CurrentItem();
  if (item == nullptr) return;
  if (!boxes_.Ask(Q(FormatPath("%s を更新しますか？", {item->Title})))) return;
  if (!StoreReleased()) return;
  if (!changes_.Perform(*FMso, FMso->PlanItemState(item->ItemId, value),
                        FMso->ItemActionInfo(item->ItemId, value), this)) {
    boxes_.Warn(ElevationDeclinedText());
    return;
  }
  if (FMso->GetItemState(item->ItemId) == value) {
    boxes_.Inform(QStringLiteral("設定を更新しました。"));
  } else {
    boxes_.Warn(QStringLiteral("更新出来ませんでした。"));
  }
}

void MainWindow::TabRepairResize() {
  const int width = TabRepair->width();
  const int height = TabRepair->height();
  BtnItem->resize(width - 2 * BtnItem->x(), BtnItem->height());
  const int half = (BtnItem->width() - 4) / 2;
  SbtItem1->resize(half, SbtItem1->height());
  SbtItem2->resize(half, SbtItem2->height());
  SbtItem2->move(width - SbtItem2->width() - BtnItem->x(), SbtItem2->y());
  BtnItem->move(BtnItem->x(), height - BtnItem->height() - 8);
  SbtItem1->move(SbtItem1->x(), BtnItem->y());
  SbtItem2->move(SbtItem2->x(), BtnItem->y());
  PnlItem->resize(width - 2 * PnlItem->x(), BtnItem->y() - PnlItem->y() - 4);
  if (splitPending_ && TabRepair->isVisible()) {
    // The page has its real size now: list and help text start with equal shares.
    splitPending_ = false;
    GlbItem->resize(GlbItem->width(), (PnlItem->height() - Splitter1->height()) / 2);
    LayoutItemPanel();
  }
}

void MainWindow::LayoutItemPanel() {
  const int width = PnlItem->width();
  const int height = PnlItem->height();
  GlbItem->setGeometry(0, 0, width, GlbItem->height());
  Splitter1->setGeometry(0, GlbItem->height(), width, Splitter1->height());
  const int helpTop = Splitter1->y() + Splitter1->height();
  MM_Help->setGeometry(0, helpTop, width, std::max(0, height - helpTop));
}

IShellRequests& MainWindow::Shell() {
  if (shell_ == nullptr) {
    ownShell_ = NativeShell(platform_);
    shell_ = ownShell_.get();
  }
  return *shell_;
}

void MainWindow::SetShellRequests(IShellRequests& shell) {
  shell_ = &shell;
}

void MainWindow::MI_GUIDClick() {
  ReportDialog form(boxes_, Shell(), this);
  form.SetMailBody(Q(FMso->UnrecognisedProducts));
  form.exec();
}

void MainWindow::MI_O_AboutClick() {
  TProgramFile self(platform_);
  TFrmAboutDialog dialog(self.GetPlatform(), self.FileName(), UserDefaultLcid(), Shell(), this);
  dialog.exec();
}

void MainWindow::MI_SiteClick() {
  if (!boxes_.Ask(Q(FormatPath("%s へアクセスしますか？", {MenuName(MI_Site)})))) return;
  Shell().OpenAddress(this, QString::fromUtf8(links::kProgramPage));
}

void MainWindow::MI_BbsClick() {
  if (!boxes_.Ask(Q(FormatPath("%s へアクセスしますか？", {MenuName(MI_Bbs)})))) return;
  Shell().OpenAddress(this, QString::fromUtf8(links::kSupportBoard));
}

void MainWindow::BtnMsoSiteClick() {
  if (!boxes_.Ask(Q(FormatPath("%s を行ないますか？", {Utf8(BtnMsoSite->text())})))) return;
  Shell().OpenUpdatePage(this, QString::fromUtf8(links::kOfficeUpdatePage));
}

}  // namespace tovalin
