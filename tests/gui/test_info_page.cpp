// The information page over in-memory machines: the registered-user update with its read-back
// verdict, the two grids with their fills, refills and header fit, the folder and properties
// requests, and the menu entries that leave the program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "app/gui/Links.h"
#include "app/gui/MainWindow.h"
#include "app/gui/ReportDialog.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/RecordingShell.h"

namespace tovalin {
namespace {

using test::InstallOffice2003;
using test::OfficeMachine;
using test::RecordingShell;
using test::ScriptedBoxes;

constexpr const char* kUserInfo11 = "SOFTWARE\\Microsoft\\Office\\11.0\\Common\\UserInfo";
constexpr const char* kFullWidthSpace = "\xE3\x80\x80";

QStringList RowTexts(const QTableWidget& grid, int row) {
  QStringList texts;
  for (int column = 0; column < grid.columnCount(); ++column) {
    const QTableWidgetItem* item = grid.item(row, column);
    texts << (item != nullptr ? item->text() : QString("<none>"));
  }
  return texts;
}

QList<int> ColumnWidths(const QTableWidget& grid) {
  QList<int> widths;
  for (int column = 0; column < grid.columnCount(); ++column) widths << grid.columnWidth(column);
  return widths;
}

class InfoPageTest : public testing::Test {
 protected:
  std::unique_ptr<MainWindow> Open() {
    auto form = std::make_unique<MainWindow>(machine_.platform, boxes_);
    form->SetShellRequests(shell_);
    EXPECT_TRUE(form->StartOk());
    form->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    QApplication::setActiveWindow(form.get());
    EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
    return form;
  }

  void StoreUser(const std::string& company, const std::string& owner,
                 const std::string& initials) {
    machine_.platform.registry.SetString(RootKey::CurrentUser, kUserInfo11, "Company", company);
    machine_.platform.registry.SetString(RootKey::CurrentUser, kUserInfo11, "UserName", owner);
    machine_.platform.registry.SetString(RootKey::CurrentUser, kUserInfo11, "UserInitials",
                                         initials);
  }

  std::string Stored(const char* name) {
    return machine_.platform.registry.GetString(RootKey::CurrentUser, kUserInfo11, name)
        .value_or("<missing>");
  }

  // Double-clicks a grid's header at x, with the cursor there as the user's would be.
  void DoubleClickHeader(QTableWidget& grid, int x) {
    QWidget* viewport = grid.horizontalHeader()->viewport();
    const QPoint at(x, grid.horizontalHeader()->height() / 2);
    QCursor::setPos(viewport->mapToGlobal(at));
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
  }

  OfficeMachine machine_;
  ScriptedBoxes boxes_;
  RecordingShell shell_;
};

TEST_F(InfoPageTest, ChangeButtonIsEnabledOnlyWhileAnEditDiffersFromTheStoredValue) {
  InstallOffice2003(machine_);
  StoreUser("Contoso", "山田 太郎", "YT");
  auto form = Open();
  EXPECT_EQ(form->TabInfo->EdtCompany->text(), QString("Contoso"));
  EXPECT_EQ(form->TabInfo->EdtOwner->text(), QString("山田 太郎"));
  EXPECT_EQ(form->TabInfo->EdtInitials->text(), QString("YT"));
  EXPECT_FALSE(form->TabInfo->BtnChange->isEnabled());

  form->TabInfo->EdtInitials->setText("yt");  // case counts
  EXPECT_TRUE(form->TabInfo->BtnChange->isEnabled());
  form->TabInfo->EdtInitials->setText("YT");
  EXPECT_FALSE(form->TabInfo->BtnChange->isEnabled());
  form->TabInfo->EdtCompany->setText("Contoso ");  // so do spaces
  EXPECT_TRUE(form->TabInfo->BtnChange->isEnabled());
}

TEST_F(InfoPageTest, BlankFieldIsWrittenAsAFullWidthSpaceAndReadsBackAsSuccess) {
  InstallOffice2003(machine_);
  StoreUser("Contoso", "山田 太郎", "YT");
  auto form = Open();
  form->TabInfo->EdtCompany->setText("  ");
  form->TabInfo->EdtOwner->setText("佐藤 花子");
  boxes_.answers = {MsgResult::Yes};
  form->TabInfo->BtnChange->click();

  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[0].text, QString("登録情報 を更新しますか？"));
  EXPECT_EQ(boxes_.shown[0].icon, MsgIcon::Question);
  EXPECT_EQ(boxes_.shown[1].text, QString("設定を更新しました。"));
  EXPECT_EQ(boxes_.shown[1].icon, MsgIcon::Information);
  EXPECT_EQ(Stored("Company"), kFullWidthSpace);
  EXPECT_EQ(Stored("UserName"), "佐藤 花子");
  EXPECT_EQ(Stored("UserInitials"), "YT");
  EXPECT_EQ(form->Model().Company, "");
  EXPECT_EQ(form->Model().Owner, "佐藤 花子");
  EXPECT_FALSE(form->TabInfo->BtnChange->isEnabled());
  // The edits keep what was typed; the next change compares with what was read back.
  EXPECT_EQ(form->TabInfo->EdtCompany->text(), QString("  "));
  form->TabInfo->EdtCompany->setText("");
  EXPECT_FALSE(form->TabInfo->BtnChange->isEnabled());
}

TEST_F(InfoPageTest, WriteThatDoesNotTakeIsReportedAndNoAnswerWritesNothing) {
  // No UserInfo key anywhere: the initials have no place to go and read back empty.
  InstallOffice2003(machine_);
  auto form = Open();
  form->TabInfo->EdtInitials->setText("TY");

  form->TabInfo->BtnChange->click();  // answered No
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_TRUE(form->TabInfo->BtnChange->isEnabled());

  boxes_.answers = {MsgResult::Yes};
  form->TabInfo->BtnChange->click();
  ASSERT_EQ(boxes_.shown.size(), 3u);
  EXPECT_EQ(boxes_.shown[2].text, QString("更新出来ませんでした。"));
  EXPECT_EQ(boxes_.shown[2].icon, MsgIcon::Warning);
  EXPECT_FALSE(form->TabInfo->BtnChange->isEnabled());
  EXPECT_EQ(machine_.platform.registry.Find(RootKey::CurrentUser, kUserInfo11), nullptr);
}

TEST_F(InfoPageTest, EnterPressesTheChangeButtonOnlyWhileItIsEnabled) {
  InstallOffice2003(machine_);
  StoreUser("Contoso", "Taro", "T");
  auto form = Open();
  form->TabInfo->EdtOwner->setFocus();
  QTest::keyClick(form->TabInfo->EdtOwner, Qt::Key_Return);
  EXPECT_TRUE(boxes_.shown.empty());

  form->TabInfo->EdtOwner->setText("Hanako");
  QTest::keyClick(form->TabInfo->EdtOwner, Qt::Key_Return);
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, QString("登録情報 を更新しますか？"));
}

TEST_F(InfoPageTest, ProductGridListsOnlyProductsWithAnId) {
  InstallOffice2003(machine_);
  machine_.AddProduct(test::kOfficeXpCode, "Microsoft Office XP Professional", "10.0.2627.01");
  auto form = Open();
  const QTableWidget& grid = *form->TabInfo->SgdProductID;
  ASSERT_EQ(grid.rowCount(), 1);
  EXPECT_EQ(RowTexts(grid, 0), QStringList({"11.0", "12345-678-9012345-67890",
                                            "Microsoft Office Professional Edition 2003"}));
  // The last column takes the rest of the visible width.
  const int used = grid.columnWidth(0) + grid.columnWidth(1) + grid.columnWidth(2);
  EXPECT_GE(used, grid.viewport()->width() - 4);
  EXPECT_LE(used, grid.viewport()->width());
}

TEST_F(InfoPageTest, ProductGridWithoutAnyIdShowsOnlyItsHeader) {
  machine_.AddProduct(test::kOffice2003Code, "Microsoft Office Professional Edition 2003",
                      "11.0.5614.0");
  machine_.AddApp(2, "11.0", "Microsoft Excel", "11.0.5612.0");
  auto form = Open();
  EXPECT_EQ(form->TabInfo->SgdProductID->rowCount(), 0);
}

TEST_F(InfoPageTest, AppGridListsTheCopiesAndAnAppWithoutFilesHasOneEmptyRow) {
  InstallOffice2003(machine_);
  machine_.AddApp(4, "11.0", "Microsoft Access", "11.0.5614.0");
  ASSERT_TRUE(
      machine_.platform.registry
          .Find(RootKey::LocalMachine, "SOFTWARE\\Microsoft\\Office\\11.0\\Access\\InstallRoot")
          ->RemoveValue("Path"));
  auto form = Open();

  test::SelectApplication(*form, "Excel");
  ASSERT_EQ(form->TabInfo->SgdAppFileList->rowCount(), 1);
  EXPECT_EQ(RowTexts(*form->TabInfo->SgdAppFileList, 0),
            QStringList({"11.0.5612.0", "C:\\Office11\\EXCEL.EXE"}));
  form->TabInfo->BtnFolder->click();
  form->TabInfo->BtnProperty->click();
  ASSERT_EQ(shell_.requests.size(), 2u);
  EXPECT_EQ(shell_.requests[0].kind, "folder");
  EXPECT_EQ(shell_.requests[0].target, QString("C:\\Office11\\"));
  EXPECT_EQ(shell_.requests[1].kind, "properties");
  EXPECT_EQ(shell_.requests[1].target, QString("C:\\Office11\\EXCEL.EXE"));

  shell_.requests.clear();
  test::SelectApplication(*form, "Access");
  ASSERT_EQ(form->TabInfo->SgdAppFileList->rowCount(), 1);
  EXPECT_EQ(RowTexts(*form->TabInfo->SgdAppFileList, 0), QStringList({"", ""}));
  form->TabInfo->BtnFolder->click();
  form->TabInfo->BtnProperty->click();
  ASSERT_EQ(shell_.requests.size(), 2u);
  EXPECT_EQ(shell_.requests[0].target, QString());
  EXPECT_EQ(shell_.requests[1].target, QString());
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(InfoPageTest, TypingIntoAGridIsUndoneWhenTheFocusLeavesIt) {
  InstallOffice2003(machine_);
  machine_.AddProduct(test::kOfficeXpCode, "Microsoft Office XP Professional", "10.0.2627.01",
                      "54321-000-0000000-11111");
  auto form = Open();
  QTableWidget& grid = *form->TabInfo->SgdProductID;
  ASSERT_EQ(grid.rowCount(), 2);
  const QList<int> fillWidths = ColumnWidths(grid);

  grid.setFocus();
  grid.setCurrentCell(1, 2);
  grid.editItem(grid.item(1, 2));
  QWidget* editor = QApplication::focusWidget();
  ASSERT_NE(editor, nullptr);
  ASSERT_NE(editor, &grid);
  QTest::keyClicks(editor, "typed");
  grid.setColumnWidth(0, 150);

  form->TabInfo->EdtCompany->setFocus();
  EXPECT_EQ(grid.item(1, 2)->text(), QString("Microsoft Office XP Professional"));
  EXPECT_EQ(ColumnWidths(grid), fillWidths);
  EXPECT_EQ(grid.currentRow(), 1);
}

TEST_F(InfoPageTest, HeaderDoubleClickFitsTheColumnsOnlyOnACellBorder) {
  InstallOffice2003(machine_);
  machine_.AddProduct(test::kOfficeXpCode,
                      "Microsoft Office XP Professional with FrontPage and a long edition name",
                      "10.0.2627.01", "54321-000-0000000-11111");
  auto form = Open();
  QTableWidget& grid = *form->TabInfo->SgdProductID;
  const QList<int> fillWidths = ColumnWidths(grid);
  const int border = grid.columnWidth(0) + grid.columnWidth(1);

  DoubleClickHeader(grid, border - grid.columnWidth(1) / 2);  // middle of a cell
  EXPECT_EQ(ColumnWidths(grid), fillWidths);
  const QRect body = grid.visualItemRect(grid.item(0, 1));
  QCursor::setPos(grid.viewport()->mapToGlobal(QPoint(border - 1, body.center().y())));
  QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, QPoint(border - 1, body.center().y()));
  EXPECT_EQ(ColumnWidths(grid), fillWidths);

  DoubleClickHeader(grid, border - 2);  // the right edge of column 1
  const QFontMetrics metrics(form->font());
  const QList<int> fitted = ColumnWidths(grid);
  EXPECT_EQ(fitted[0], metrics.horizontalAdvance("バージョン") + 10);
  EXPECT_EQ(fitted[1], metrics.horizontalAdvance("12345-678-9012345-67890") + 10);
  EXPECT_EQ(fitted[2],
            metrics.horizontalAdvance(
                "Microsoft Office XP Professional with FrontPage and a long edition name") +
                10);
}

TEST_F(InfoPageTest, OutsidePagesOpenOnlyAfterYes) {
  InstallOffice2003(machine_);
  auto form = Open();
  form->MI_Site->trigger();
  form->MI_Bbs->trigger();
  form->BtnMsoSite->click();
  EXPECT_TRUE(shell_.requests.empty());
  ASSERT_EQ(boxes_.shown.size(), 3u);
  EXPECT_EQ(boxes_.shown[0].text, QString("zivor「Harrow」 へアクセスしますか？"));
  EXPECT_EQ(boxes_.shown[1].text, QString("サポートBBS へアクセスしますか？"));
  EXPECT_EQ(boxes_.shown[2].text, QString("Microsoft Office のアップデート を行ないますか？"));

  boxes_.answers = {MsgResult::Yes, MsgResult::Yes, MsgResult::Yes};
  form->MI_Site->trigger();
  form->MI_Bbs->trigger();
  form->BtnMsoSite->click();
  ASSERT_EQ(shell_.requests.size(), 3u);
  EXPECT_EQ(shell_.requests[0].target, QString(links::kProgramPage));
  EXPECT_EQ(shell_.requests[1].target, QString(links::kSupportBoard));
  EXPECT_EQ(shell_.requests[2].kind, "update");
  EXPECT_EQ(shell_.requests[2].target, QString(links::kOfficeUpdatePage));
}

TEST_F(InfoPageTest, ReportMenuOpensTheReportOfTheScan) {
  InstallOffice2003(machine_);
  // An Office 2003 product code the catalogue does not know.
  machine_.AddProduct("{90010411-6000-11D3-8CFE-0150048383C9}", "Microsoft Office 未知の製品",
                      "11.0.1");
  auto form = Open();
  ASSERT_FALSE(form->Model().UnrecognisedProducts.empty());
  ASSERT_TRUE(form->MI_GUID->isVisible());

  QString shownBody;
  QTimer::singleShot(0, [&] {
    auto* report = qobject_cast<ReportDialog*>(QApplication::activeModalWidget());
    if (report == nullptr) return;
    shownBody = report->MailBody();
    report->BtnClose->click();
  });
  form->MI_GUID->trigger();
  EXPECT_EQ(shownBody, QString::fromStdString(form->Model().UnrecognisedProducts));
}

}  // namespace
}  // namespace tovalin
