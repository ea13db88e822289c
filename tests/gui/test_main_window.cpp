// The main window over in-memory machines: the product list, the header, the running-application
// guard, the troubleshooting page and the display of errors that escape a handler.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFile>
#include <QGroupBox>
#include <QProcess>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "app/gui/DialogArt.h"
#include "app/gui/HistoryDialog.h"
#include "app/gui/MainWindow.h"
#include "app/gui/ProgramArt.h"
#include "app/gui/QtText.h"
#include "app/widgets/SysColors.h"
#include "support/ErrorText.h"
#include "support/Sha256.h"
#include "support/ZelRegistry.h"
#include "support/action/ActionJson.h"
#include "tests/gui/GuiTestSupport.h"

namespace tovalin {
namespace {

using test::InstallOffice2003;
using test::OfficeMachine;
using test::ScriptedBoxes;

constexpr const char* kExcelExe = "C:\\Office11\\EXCEL.EXE";

class MainWindowTest : public testing::Test {
 protected:
  std::unique_ptr<MainWindow> Open() {
    auto form = std::make_unique<MainWindow>(machine_.platform, boxes_);
    if (form->StartOk()) {
      form->show();
      EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }
    return form;
  }

  QStringList Rows(const TGraphicListBox& list) {
    QStringList rows;
    for (int i = 0; i < list.count(); ++i) rows << list.item(i)->text();
    return rows;
  }

  // Picks an item row the way the user does: a click on the row.
  void ClickItem(MainWindow& form, int row) {
    form.PctMain->setCurrentWidget(form.TabRepair);
    QTest::qWait(0);
    const QRect rect = form.GlbItem->visualItemRect(form.GlbItem->item(row));
    QTest::mouseClick(form.GlbItem->viewport(), Qt::LeftButton, {}, rect.center());
  }

  // Excel's document class, for the browser integration setting.
  void RegisterXlsClass() {
    machine_.platform.registry.SetString(RootKey::ClassesRoot, ".xls", "", "Excel.Sheet.8");
    machine_.platform.registry.SetString(RootKey::ClassesRoot, "Excel.Sheet.8", "",
                                         "Microsoft Excel ワークシート");
  }

  OfficeMachine machine_;
  ScriptedBoxes boxes_;
};

TEST_F(MainWindowTest, ProductRowsFollowTheApplicationIndexWithTheSuiteFirst) {
  InstallOffice2003(machine_);
  auto form = Open();
  ASSERT_TRUE(form->StartOk());
  EXPECT_EQ(Rows(*form->GlbMenu), QStringList({"Office", "Outlook", "Excel", "Word"}));
  EXPECT_EQ(form->IL_Menu->Count(), 4);
  EXPECT_TRUE(boxes_.shown.empty());

  // The suite page comes first: its header, its panels, no poll.
  EXPECT_EQ(form->MenuIndex(), 0);
  EXPECT_EQ(form->AppIndex(), 0);
  EXPECT_EQ(form->PnlProductName->Caption(),
            QString(" Microsoft Office Professional Edition 2003 Ver.11.0.5614.0"));
  EXPECT_FALSE(form->TabInfo->GbxUserInfo->isHidden());
  EXPECT_FALSE(form->TabInfo->PnlProductID->isHidden());
  EXPECT_TRUE(form->TabInfo->PnlAppFileList->isHidden());
  EXPECT_FALSE(form->TimerProcess->isActive());
  EXPECT_EQ(form->PctMain->currentWidget(), form->TabInfo);
  EXPECT_EQ(form->windowTitle(), QString("Tovalin"));
}

TEST_F(MainWindowTest, ApplicationHeaderShowsFileVersionOrTitleAlone) {
  InstallOffice2003(machine_);
  machine_.AddApp(4, "11.0", "Microsoft Access", "");
  auto form = Open();
  test::SelectApplication(*form, "Excel");
  EXPECT_EQ(form->PnlProductName->Caption(), QString(" Microsoft Excel Ver.11.0.5612.0"));
  EXPECT_TRUE(form->TabInfo->GbxUserInfo->isHidden());
  EXPECT_FALSE(form->TabInfo->PnlAppFileList->isHidden());
  EXPECT_TRUE(form->TimerProcess->isActive());

  test::SelectApplication(*form, "Access");
  EXPECT_EQ(form->PnlProductName->Caption(), QString(" Microsoft Access"));
}

TEST_F(MainWindowTest, WithoutTheSuiteTheFirstPageIsAnApplicationWithThePollRunning) {
  // Excel 11.0 registered, but only an Office XP product recorded: no suite slot.
  machine_.AddProduct(test::kOfficeXpCode, "Microsoft Office XP Professional", "10.0.2627.01");
  machine_.AddApp(2, "10.0", "Microsoft Excel", "11.0.5612.0");
  auto form = Open();
  ASSERT_TRUE(form->StartOk());
  EXPECT_EQ(Rows(*form->GlbMenu), QStringList({"Excel"}));
  EXPECT_EQ(form->AppIndex(), 2);
  EXPECT_TRUE(form->TimerProcess->isActive());
}

TEST_F(MainWindowTest, NothingDetectedIsReportedAndTheWindowDoesNotStart) {
  auto form = Open();
  EXPECT_FALSE(form->StartOk());
  EXPECT_FALSE(form->isVisible());
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, QString("Microsoft Office を検出出来ませんでした。"));
  EXPECT_EQ(boxes_.shown[0].icon, MsgIcon::Error);
}

TEST_F(MainWindowTest, RowIconIsTheApplicationsOwnOrADefault) {
  InstallOffice2003(machine_);
  QImage green(32, 32, QImage::Format_ARGB32);
  green.fill(QColor(0, 200, 0));
  machine_.SetIcon(kExcelExe, green);
  auto form = Open();
  ASSERT_EQ(form->IL_Menu->Count(), 4);
  EXPECT_EQ(form->IL_Menu->Image(2).pixelColor(16, 16), QColor(0, 200, 0));
  // No icon of their own: the program's icon for the suite, a generic one for applications.
  EXPECT_EQ(form->IL_Menu->Image(0),
            ProgramIconImage(32).convertToFormat(QImage::Format_ARGB32_Premultiplied));
  EXPECT_EQ(form->IL_Menu->Image(1),
            ApplicationIconImage(32).convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

TEST_F(MainWindowTest, ProductListRowsAreDrawnInTheirColoursAndHeight) {
  InstallOffice2003(machine_);
  auto form = Open();
  const QImage shot = form->GlbMenu->viewport()->grab().toImage();
  const int x = shot.width() - 6;
  const QColor face = SysColor(TSysColor::clBtnFace, form->palette());
  // Row 0 is selected (sky blue); rows 1 and 2 use the button face; each row is 36 pixels.
  EXPECT_EQ(shot.pixelColor(x, 18), clSkyBlue);
  EXPECT_EQ(shot.pixelColor(x, 35), SysColor(TSysColor::clBtnHighlight, form->palette()));
  EXPECT_EQ(shot.pixelColor(x, 36 + 18), face);
  EXPECT_EQ(shot.pixelColor(x, 72 + 18), face);
  EXPECT_EQ(form->GlbMenu->ItemHeight(), 36);
}

TEST_F(MainWindowTest, LayoutKeepsTheMinimumClientSizeAndFollowsTheWidth) {
  InstallOffice2003(machine_);
  auto form = Open();
  EXPECT_EQ(form->ClientWidth(), 500);
  EXPECT_EQ(form->ClientHeight(), 300);

  form->SetClientSize(400, 200);
  QTest::qWait(0);
  EXPECT_GE(form->ClientWidth(), 500);
  EXPECT_GE(form->ClientHeight(), 300);

  form->SetClientSize(700, 450);
  QTest::qWait(0);
  ASSERT_EQ(form->ClientWidth(), 700);
  EXPECT_EQ(form->BtnClose->x(), 700 - form->BtnClose->width() - 8);
  EXPECT_EQ(form->BtnClose->y(), form->StatusBar1->y() - form->BtnClose->height() - 4);
  EXPECT_EQ(form->BtnMsoSite->y(), form->BtnClose->y());
  EXPECT_EQ(form->BtnMsoSite->x() + form->BtnMsoSite->width(), form->BtnClose->x() - 8);
  EXPECT_EQ(form->PnlProductName->x() + form->PnlProductName->width(), 700 - 4);
  EXPECT_EQ(form->BtnProcess->x() + form->BtnProcess->width(), form->PnlProductName->width() - 4);
  EXPECT_EQ(form->GlbMenu->y() + form->GlbMenu->height(), form->BtnClose->y() - 4);
  EXPECT_EQ(form->BvlMain->y() + form->BvlMain->height(),
            form->GlbMenu->y() + form->GlbMenu->height());
}

TEST_F(MainWindowTest, GuardShowsTheForceQuitButtonWhileTheApplicationRuns) {
  InstallOffice2003(machine_);
  auto form = Open();
  test::SelectApplication(*form, "Excel");
  EXPECT_TRUE(form->BtnProcess->isHidden());

  const std::uint32_t pid = machine_.StartProcess(kExcelExe);
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->BtnProcess->isVisible(); }, 3000));
  EXPECT_EQ(form->ProcessIds(), TArrayDword({pid}));

  machine_.StopProcess(pid);
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->BtnProcess->isHidden(); }, 3000));

  // The suite page hides the button and stops polling.
  machine_.StartProcess(kExcelExe);
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->BtnProcess->isVisible(); }, 3000));
  test::SelectApplication(*form, "Office");
  EXPECT_TRUE(form->BtnProcess->isHidden());
  EXPECT_FALSE(form->TimerProcess->isActive());
}

TEST_F(MainWindowTest, DecliningTheForceQuitLeavesEverythingRunning) {
  InstallOffice2003(machine_);
  const std::uint32_t pid = machine_.StartProcess(kExcelExe);
  auto form = Open();
  test::SelectApplication(*form, "Excel");
  ASSERT_TRUE(form->BtnProcess->isVisible());

  boxes_.answers = {MsgResult::No};
  form->BtnProcess->click();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, QString("Excel が動作中です。\r\nExcel を強制終了しますか？"));
  EXPECT_EQ(boxes_.shown[0].icon, MsgIcon::Question);
  EXPECT_EQ(boxes_.shown[0].buttons, MsgButtons::YesNo);
  EXPECT_TRUE(machine_.Running(pid));
  EXPECT_TRUE(form->BtnProcess->isVisible());
  EXPECT_TRUE(form->TimerProcess->isActive());
}

TEST_F(MainWindowTest, ForceQuitEndsEveryInstanceAfterOneConfirmation) {
  InstallOffice2003(machine_);
  const std::uint32_t first = machine_.StartProcess(kExcelExe);
  const std::uint32_t word = machine_.StartProcess("C:\\Office11\\WINWORD.EXE");
  auto form = Open();
  test::SelectApplication(*form, "Excel");
  // A second copy starts while the page is shown; the poll picks it up.
  const std::uint32_t second = machine_.StartProcess(kExcelExe);
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->ProcessIds().size() == 2; }, 3000));

  boxes_.answers = {MsgResult::Yes};
  // Esc presses the force-quit button while it is shown.
  QTest::keyClick(form.get(), Qt::Key_Escape);
  EXPECT_EQ(boxes_.shown.size(), 1u);
  EXPECT_FALSE(machine_.Running(first));
  EXPECT_FALSE(machine_.Running(second));
  EXPECT_TRUE(machine_.Running(word));
  EXPECT_TRUE(form->BtnProcess->isHidden());
  EXPECT_TRUE(form->TimerProcess->isActive());
}

TEST_F(MainWindowTest, ItemListShowsTheProductsItemsAndItsButtons) {
  InstallOffice2003(machine_);
  auto form = Open();
  test::SelectApplication(*form, "Excel");
  ASSERT_EQ(form->GlbItem->count(), 4);
  EXPECT_EQ(form->GlbItem->item(0)->text(), QString("トラブル：メニューバーが消えました。"));
  EXPECT_EQ(form->IL_Item->Count(), 4);
  EXPECT_FALSE(form->BtnItem->isHidden());
  EXPECT_FALSE(form->BtnItem->isEnabled());
  EXPECT_TRUE(form->BtnItem->text().isEmpty());
  EXPECT_TRUE(form->SbtItem1->isHidden());

  ClickItem(*form, 0);
  EXPECT_EQ(form->ItemIndex(), 0);
  EXPECT_EQ(form->BtnItem->text(), QString("再表示を試みる"));
  EXPECT_TRUE(form->BtnItem->isEnabled());
  EXPECT_TRUE(form->MM_Help->toPlainText().startsWith("何かの拍子に"));

  // A setting shows the two toggles instead; another product resets the page.
  ClickItem(*form, 2);
  EXPECT_TRUE(form->BtnItem->isHidden());
  EXPECT_FALSE(form->SbtItem1->isHidden());
  EXPECT_EQ(form->SbtItem1->text(), QString("連携させる"));
  EXPECT_EQ(form->SbtItem2->text(), QString("連携させない"));
  test::SelectApplication(*form, "Word");
  EXPECT_EQ(form->ItemIndex(), -1);
  EXPECT_TRUE(form->MM_Help->toPlainText().isEmpty());
  EXPECT_FALSE(form->BtnItem->isHidden());
  EXPECT_FALSE(form->BtnItem->isEnabled());
  EXPECT_TRUE(form->SbtItem1->isHidden());
  EXPECT_EQ(form->GlbItem->count(), 3);
}

TEST_F(MainWindowTest, RepairIsRefusedWhileTheApplicationRuns) {
  InstallOffice2003(machine_);
  machine_.SetShellFolders("C:\\Users\\u\\AppData", "C:\\Users\\u\\Local");
  machine_.platform.files.AddFile("C:\\Users\\u\\AppData\\Microsoft\\Excel\\Excel11.xlb");
  const std::uint32_t pid = machine_.StartProcess(kExcelExe);
  auto form = Open();
  test::SelectApplication(*form, "Excel");
  ClickItem(*form, 0);

  boxes_.answers = {MsgResult::Yes, MsgResult::No};
  form->BtnItem->click();
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[0].text, QString("再表示を試みますか？"));
  EXPECT_EQ(boxes_.shown[1].text, QString("Excel が動作中です。\r\nExcel を強制終了しますか？"));
  EXPECT_TRUE(machine_.Running(pid));
  EXPECT_TRUE(
      machine_.platform.files.Exists("C:\\Users\\u\\AppData\\Microsoft\\Excel\\Excel11.xlb"));
  EXPECT_TRUE(form->TimerProcess->isActive());
}

TEST_F(MainWindowTest, RepairRunsWithoutAskingToQuitWhenNothingRuns) {
  InstallOffice2003(machine_);
  machine_.SetShellFolders("C:\\Users\\u\\AppData", "C:\\Users\\u\\Local");
  machine_.platform.files.AddFile("C:\\Users\\u\\AppData\\Microsoft\\Excel\\Excel11.xlb");
  auto form = Open();
  test::SelectApplication(*form, "Excel");
  ClickItem(*form, 0);

  bool timerDuringRepairMessage = true;
  boxes_.whileOpen = [&](const test::ShownBox& box) {
    if (box.icon == MsgIcon::Information) timerDuringRepairMessage = form->TimerProcess->isActive();
  };
  boxes_.answers = {MsgResult::Yes};
  form->BtnItem->click();
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[1].text,
            QString("再表示を試みました。\r\nExcel を起動して確認してください。"
                    "\r\n\r\n1 個のファイルを削除しました。"
                    "削除したファイルはごみ箱から元に戻せます。"));
  EXPECT_EQ(boxes_.shown[1].icon, MsgIcon::Information);
  EXPECT_FALSE(timerDuringRepairMessage);
  EXPECT_FALSE(
      machine_.platform.files.Exists("C:\\Users\\u\\AppData\\Microsoft\\Excel\\Excel11.xlb"));
  EXPECT_TRUE(form->TimerProcess->isActive());
}

TEST_F(MainWindowTest, SettingToggleGoesBackAfterACancelAndChangesAfterYes) {
  InstallOffice2003(machine_);
  RegisterXlsClass();
  auto form = Open();
  test::SelectApplication(*form, "Excel");
  ClickItem(*form, 2);  // InternetExplorerとの連携可否
  EXPECT_TRUE(form->SbtItem1->isChecked());
  EXPECT_FALSE(form->SbtItem2->isChecked());

  boxes_.answers = {MsgResult::No};
  form->SbtItem2->click();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, QString("InternetExplorerとの連携可否 を更新しますか？"));
  EXPECT_TRUE(form->SbtItem1->isChecked());
  EXPECT_FALSE(form->SbtItem2->isChecked());
  EXPECT_FALSE(
      machine_.platform.registry.GetDword(RootKey::ClassesRoot, "Excel.Sheet.8", "BrowserFlags"));

  // The window re-reads the state when it is activated again, which may happen while the
  // question is still open: the buttons then show the state before the change.
  boxes_.whileOpen = [&](const test::ShownBox& box) {
    if (box.icon == MsgIcon::Question) form->SbtItem1->setChecked(true);
  };
  boxes_.answers = {MsgResult::Yes};
  form->SbtItem2->click();
  ASSERT_EQ(boxes_.shown.size(), 3u);
  EXPECT_EQ(boxes_.shown[2].text, QString("設定を更新しました。"));
  EXPECT_EQ(boxes_.shown[2].icon, MsgIcon::Information);
  EXPECT_TRUE(form->SbtItem2->isChecked());
  EXPECT_EQ(
      machine_.platform.registry.GetDword(RootKey::ClassesRoot, "Excel.Sheet.8", "BrowserFlags"),
      8u);

  // Pressing the button of the state in force asks nothing.
  form->SbtItem2->click();
  EXPECT_EQ(boxes_.shown.size(), 3u);
}

bool ShowsShield(const QAbstractButton& button) {
  const QImage shield = ShieldIcon(*button.style()).pixmap(16).toImage();
  return !button.icon().isNull() && button.icon().pixmap(16).toImage() == shield;
}

// Without an administrator's rights (Windows under UAC) a machine-wide change shows the shield
// and goes, as a plan file named by its digest, to tovalin-cli started elevated; the window
// then reads the state back. Declined, nothing changes and the window says so.
TEST_F(MainWindowTest, MachineWideChangeGoesElevatedAndADeclineChangesNothing) {
  InstallOffice2003(machine_);
  RegisterXlsClass();
  MemoryProcesses& processes = machine_.platform.processes;
  processes.elevated = false;
  std::vector<QStringList> runs;
  long answer = win::kCancelled;
  processes.runElevated = [&](std::string_view program, std::string_view parameters,
                              std::uint32_t& exitCode) {
    runs.push_back(QStringList{Q(program)} + QProcess::splitCommand(Q(parameters)));
    if (answer != win::kSuccess) return answer;
    // What tovalin-cli apply does there.
    QFile file(runs.back().at(2));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string plan = file.readAll().toStdString();
    EXPECT_EQ(runs.back().at(4), Q(Sha256Hex(plan)));
    PerformChanges(machine_.platform.registry, PlanFromJson(nlohmann::json::parse(plan)).registry,
                   Win32ErrorText);
    exitCode = 0;
    return win::kSuccess;
  };
  auto form = Open();
  EXPECT_TRUE(ShowsShield(*form->TabInfo->BtnChange));  // the uninstall entry is the machine's
  test::SelectApplication(*form, "Excel");
  ClickItem(*form, 2);  // InternetExplorerとの連携可否
  EXPECT_TRUE(form->SbtItem1->isChecked());
  EXPECT_FALSE(ShowsShield(*form->SbtItem1));
  EXPECT_TRUE(ShowsShield(*form->SbtItem2));

  boxes_.answers = {MsgResult::Yes};
  form->SbtItem2->click();
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[1].text, ElevationDeclinedText());
  EXPECT_TRUE(form->SbtItem1->isChecked());
  EXPECT_FALSE(
      machine_.platform.registry.GetDword(RootKey::ClassesRoot, "Excel.Sheet.8", "BrowserFlags"));

  answer = win::kSuccess;
  boxes_.answers = {MsgResult::Yes};
  form->SbtItem2->click();
  ASSERT_EQ(boxes_.shown.size(), 4u);
  EXPECT_EQ(boxes_.shown[3].text, QString("設定を更新しました。"));
  EXPECT_TRUE(form->SbtItem2->isChecked());
  EXPECT_TRUE(ShowsShield(*form->SbtItem1));
  EXPECT_FALSE(ShowsShield(*form->SbtItem2));
  EXPECT_EQ(
      machine_.platform.registry.GetDword(RootKey::ClassesRoot, "Excel.Sheet.8", "BrowserFlags"),
      8u);
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[1].mid(0, 2), QStringList({SiblingCliProgram(), "apply"}));
  EXPECT_EQ(runs[1].mid(3, 1), QStringList({"--sha256"}));
  EXPECT_EQ(runs[1].mid(5, 1), QStringList({"--result"}));
}

// File > 変更の履歴 lists the window's change and undoes it, confirmed; the page then shows the
// state before.
TEST_F(MainWindowTest, HistoryUndoesAChangeAndThePageShowsTheStateBefore) {
  InstallOffice2003(machine_);
  RegisterXlsClass();
  QTemporaryDir folder;
  auto form = Open();
  form->SetHistory(std::make_unique<ActionHistory>(folder.path().toStdString()), {});
  test::SelectApplication(*form, "Excel");
  ClickItem(*form, 2);  // InternetExplorerとの連携可否
  boxes_.answers = {MsgResult::Yes};
  form->SbtItem2->click();
  ASSERT_TRUE(form->SbtItem2->isChecked());

  QStringList row;
  QString state;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<HistoryDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    ASSERT_EQ(dialog->LvHistory->topLevelItemCount(), 1);
    for (int column = 1; column < 4; ++column) {
      row << dialog->LvHistory->topLevelItem(0)->text(column);
    }
    boxes_.answers = {MsgResult::Yes};
    dialog->BtnUndo->click();
    state = dialog->LvHistory->topLevelItem(0)->text(4);
    EXPECT_FALSE(dialog->BtnUndo->isEnabled());
    dialog->accept();
  });
  form->MI_F_HistoryClick();
  EXPECT_EQ(row, QStringList({"Excel", "InternetExplorerとの連携可否", "連携させない"}));
  EXPECT_EQ(state, QString("元に戻し済み"));
  EXPECT_EQ(boxes_.shown.back().text, QString("元に戻しました。"));
  EXPECT_FALSE(
      machine_.platform.registry.GetDword(RootKey::ClassesRoot, "Excel.Sheet.8", "BrowserFlags"));
  EXPECT_TRUE(form->SbtItem1->isChecked());
}

TEST_F(MainWindowTest, FailedChangeOfAnUndeterminedSettingLeavesBothTogglesUp) {
  InstallOffice2003(machine_);  // no document class for .xls: the state is undetermined
  auto form = Open();
  test::SelectApplication(*form, "Excel");
  ClickItem(*form, 2);
  EXPECT_FALSE(form->SbtItem1->isChecked());
  EXPECT_FALSE(form->SbtItem2->isChecked());

  boxes_.answers = {MsgResult::Yes};
  form->SbtItem1->click();
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[1].text, QString("更新出来ませんでした。"));
  EXPECT_EQ(boxes_.shown[1].icon, MsgIcon::Warning);
  // Still undetermined: neither button claims a state.
  EXPECT_FALSE(form->SbtItem1->isChecked());
  EXPECT_FALSE(form->SbtItem2->isChecked());
}

TEST_F(MainWindowTest, ErrorInAHandlerIsShownAndTheWindowGoesOn) {
  InstallOffice2003(machine_);
  // A shell folder stored as a number makes the repair fail with the registry layer's error.
  machine_.platform.registry.SetDword(
      RootKey::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
      "AppData", 1);
  auto form = Open();
  test::SelectApplication(*form, "Excel");
  ClickItem(*form, 0);
  boxes_.answers = {MsgResult::Yes};
  form->BtnItem->click();
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[1].icon, MsgIcon::Error);
  EXPECT_TRUE(boxes_.shown[1].text.contains("AppData"));
  EXPECT_TRUE(boxes_.shown[1].text.endsWith('.'));

  // The window goes on: another item works as usual.
  ClickItem(*form, 1);
  ClickItem(*form, 0);
  EXPECT_EQ(form->BtnItem->text(), QString("再表示を試みる"));
  EXPECT_EQ(boxes_.shown.size(), 2u);
}

// Processes whose termination fails with an error.
class FailingProcesses : public MemoryProcesses {
 public:
  bool Terminate(ProcessHandle, std::uint32_t) override {
    throw std::runtime_error("terminate failed");
  }
  bool EnumProcesses(std::vector<std::uint32_t>& ids, std::size_t capacity,
                     std::size_t& neededBytes, long& lastError) override {
    if (failSearch) throw std::runtime_error("search failed");
    return MemoryProcesses::EnumProcesses(ids, capacity, neededBytes, lastError);
  }
  bool failSearch = false;
};
class FailingTerminationPlatform : public MemoryPlatform {
 public:
  IProcesses& Processes() override { return failing; }
  FailingProcesses failing;
};

class MainWindowErrors : public testing::Test {
 protected:
  // The Office 2003 machine with processes that can be made to fail; Excel shown and running.
  std::unique_ptr<MainWindow> OpenOnExcel() {
    OfficeMachine setup;
    InstallOffice2003(setup);
    // Same registry and files, other processes.
    platform_.registry.SetRootNode(RootKey::LocalMachine,
                                   setup.platform.registry.RootNode(RootKey::LocalMachine));
    platform_.registry.SetRootNode(RootKey::ClassesRoot,
                                   setup.platform.registry.RootNode(RootKey::ClassesRoot));
    for (const char* exe : {"OUTLOOK.EXE", "EXCEL.EXE", "WINWORD.EXE"}) {
      platform_.files.AddFile(std::string("C:\\Office11\\") + exe);
    }
    platform_.failing.Add(100, kExcelExe);

    auto form = std::make_unique<MainWindow>(platform_, boxes_);
    EXPECT_TRUE(form->StartOk());
    const auto rows = form->GlbMenu->findItems(QStringLiteral("Excel"), Qt::MatchExactly);
    EXPECT_EQ(rows.size(), 1);
    if (rows.size() == 1) form->GlbMenu->SetItemIndex(form->GlbMenu->row(rows[0]));
    form->GlbMenuClick();
    EXPECT_FALSE(form->BtnProcess->isHidden());
    return form;
  }

  FailingTerminationPlatform platform_;
  ScriptedBoxes boxes_;
};

TEST_F(MainWindowErrors, FailedForceQuitKeepsTheGuardRunning) {
  auto form = OpenOnExcel();
  boxes_.answers = {MsgResult::Yes};
  form->BtnProcess->click();
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[1].text, QString("terminate failed."));
  EXPECT_EQ(boxes_.shown[1].icon, MsgIcon::Error);
  EXPECT_TRUE(form->TimerProcess->isActive());
}

TEST_F(MainWindowErrors, FailingPollIsReportedOnceAndRestsUntilTheNextSwitch) {
  auto form = OpenOnExcel();
  platform_.failing.failSearch = true;
  EXPECT_TRUE(QTest::qWaitFor([&] { return !boxes_.shown.empty(); }, 3000));
  QTest::qWait(1200);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, QString("search failed."));
  EXPECT_FALSE(form->TimerProcess->isActive());

  // Switching products starts the guard afresh.
  platform_.failing.failSearch = false;
  form->GlbMenu->SetItemIndex(0);
  form->GlbMenuClick();
  const auto rows = form->GlbMenu->findItems(QStringLiteral("Word"), Qt::MatchExactly);
  ASSERT_EQ(rows.size(), 1);
  form->GlbMenu->SetItemIndex(form->GlbMenu->row(rows[0]));
  form->GlbMenuClick();
  EXPECT_TRUE(form->TimerProcess->isActive());
}

TEST(ExceptionText, FullStopIsAddedAfterCharactersThatSortAfterIt) {
  EXPECT_EQ(ExceptionMessageText("Invalid data type"), QString("Invalid data type."));
  EXPECT_EQ(ExceptionMessageText("Done."), QString("Done."));
  EXPECT_EQ(ExceptionMessageText("Really!"), QString("Really!"));
  EXPECT_EQ(ExceptionMessageText("エラー"), QString("エラー."));
  EXPECT_EQ(ExceptionMessageText("保存できません。"), QString("保存できません。"));
  EXPECT_EQ(ExceptionMessageText("本当ですか？"), QString("本当ですか？"));
  EXPECT_EQ(ExceptionMessageText(""), QString(""));
}

}  // namespace
}  // namespace tovalin
