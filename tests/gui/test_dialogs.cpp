// The report dialog, the about dialog, the program's own version fields and the helpers behind
// the outside requests.
#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <map>

#include "app/gui/FileProperties.h"
#include "app/gui/Links.h"
#include "app/gui/ProgramInfo.h"
#include "app/gui/ReportDialog.h"
#include "app/gui/ZelAboutDialog.h"
#include "support/platform/memory/MemoryPlatform.h"
#include "tests/VersionBlockBuilder.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/gui/RecordingShell.h"

namespace tovalin {
namespace {

using test::RecordingShell;
using test::ScriptedBoxes;

int Right(const QWidget* w) {
  return w->x() + w->width();
}
int Bottom(const QWidget* w) {
  return w->y() + w->height();
}

// --- report dialog ---

TEST(ReportDialog, MailCarriesEveryByteOfTheReportAsUtf8AndCopyTakesTheShownText) {
  ScriptedBoxes boxes;
  RecordingShell shell;
  ReportDialog form(boxes, shell);
  EXPECT_EQ(form.MailBody(), QString());
  form.SetMailBody("AB\r\nGUID: {X}\r\n製品名: 日");
  EXPECT_EQ(form.MemoGUID->toPlainText(), QString("AB\nGUID: {X}\n製品名: 日"));
  EXPECT_EQ(form.MemoGUID->lineWrapMode(), QPlainTextEdit::NoWrap);

  form.BtnMail->click();
  form.BtnCopy->click();
  ASSERT_EQ(shell.requests.size(), 2u);
  EXPECT_EQ(shell.requests[0].kind, "address");
  EXPECT_EQ(shell.requests[0].target,
            QString("mailto:support@tovalin.example"
                    "?subject=%5BZEL%5DTovalin%3AGUID%E8%BF%BD%E5%8A%A0%E4%BE%9D%E9%A0%BC"
                    "&body=%41%42%0D%0A%47%55%49%44%3A%20%7B%58%7D%0D%0A"
                    "%E8%A3%BD%E5%93%81%E5%90%8D%3A%20%E6%97%A5"));
  EXPECT_EQ(shell.requests[1].kind, "clipboard");
  EXPECT_EQ(shell.requests[1].target, form.MemoGUID->toPlainText());

  form.SetMailBody("");
  form.BtnMail->click();
  EXPECT_TRUE(shell.requests.back().target.endsWith("&body="));
  EXPECT_TRUE(boxes.shown.empty());
}

TEST(ReportDialog, ButtonsLineUpOnTheWidthOfTheExplanation) {
  ScriptedBoxes boxes;
  RecordingShell shell;
  ReportDialog form(boxes, shell);
  EXPECT_EQ(form.windowTitle(), QString("判別不能なOffice製品"));
  EXPECT_EQ(form.BtnClose->text(), QString("閉じる"));
  EXPECT_EQ(form.width(), form.LblInfo->width() + 8);
  EXPECT_EQ(form.MemoGUID->width(), form.width() - 8);
  EXPECT_EQ(Right(form.BtnHelp), Right(form.BtnCopy));
  EXPECT_EQ(Right(form.BtnMail), form.BtnHelp->x());
  EXPECT_EQ(Right(form.BtnClose), form.width() - 4);
  EXPECT_EQ(form.BtnClose->y(), form.BtnCopy->y());
  EXPECT_EQ(form.height(), Bottom(form.BtnCopy) + form.StatusBar1->height() + 4);
  EXPECT_EQ(form.minimumSize(), form.maximumSize());

  form.BtnHelp->click();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].icon, MsgIcon::Information);
  EXPECT_TRUE(boxes.shown[0].text.startsWith("「情報を送信する」ボタン\r\n\r\n"));
}

// --- about dialog ---

class AboutDialogTest : public testing::Test {
 protected:
  void SetResource(const std::map<std::string, std::string>& strings) {
    platform_.files.AddFile(kProgram);
    platform_.versions.SetBlock(kProgram, test::BuildVersionBlock(strings));
  }
  std::unique_ptr<TFrmAboutDialog> Open(std::uint32_t lcid) {
    return std::make_unique<TFrmAboutDialog>(platform_, kProgram, lcid, shell_);
  }

  static constexpr const char* kProgram = "C:\\Tools\\tovalin.exe";
  MemoryPlatform platform_;
  RecordingShell shell_;
};

TEST_F(AboutDialogTest, CaptionIsJapaneseExactlyForJapaneseJapan) {
  SetResource({{"ProductName", "トバリン"},
               {"ProductNameEn", "Tovalin"},
               {"ProductVersion", "1.2.3"},
               {"LegalCopyright", "Copyright (C) Z"}});
  auto japanese = Open(0x0411);
  EXPECT_EQ(japanese->windowTitle(), QString("トバリン について"));
  EXPECT_EQ(japanese->LblAppName->text(), QString("トバリン"));
  EXPECT_EQ(japanese->LblAppVersion->text(), QString("Version 1.2.3"));
  EXPECT_EQ(japanese->LblCopyright->text(), QString("Copyright (C) Z"));
  EXPECT_EQ(japanese->LblOfficialSite->text(), QString(links::kMakerSite));

  for (std::uint32_t other : {0x0409u, 0x10411u}) {
    auto english = Open(other);
    EXPECT_EQ(english->windowTitle(), QString("About Tovalin")) << std::hex << other;
    EXPECT_EQ(english->LblAppName->text(), QString("Tovalin"));
  }
}

TEST_F(AboutDialogTest, WithoutAnEnglishNameTheEnglishCaptionIsBare) {
  SetResource({{"ProductName", "トバリン"}, {"ProductVersion", "1.0"}});
  auto dialog = Open(0x0409);
  EXPECT_EQ(dialog->windowTitle(), QString("About "));
  EXPECT_EQ(dialog->LblAppName->text(), QString());
}

TEST_F(AboutDialogTest, LongLinesWidenTheDialogAndRightAlignedPartsFollow) {
  SetResource({{"ProductNameEn", "Tovalin"},
               {"ProductVersion", "1.0"},
               {"LegalCopyright", std::string(90, 'C')}});
  auto dialog = Open(0x0409);
  EXPECT_EQ(dialog->width(), Right(dialog->LblCopyright) + 8);
  EXPECT_EQ(Right(dialog->LblAppVersion), dialog->width() - 8);
  EXPECT_EQ(Right(dialog->BtnOk), dialog->width() - 8);
  EXPECT_EQ(Bottom(dialog->BtnOk), dialog->height() - 8);
  EXPECT_EQ(dialog->height(), Bottom(dialog->ImgMark) + 8);
  EXPECT_EQ(dialog->ImgMark->size(), QSize(67, 82));
}

TEST_F(AboutDialogTest, LinkTurnsRedUnderTheMouseAndOpensTheSiteOnClick) {
  SetResource({{"ProductNameEn", "Tovalin"}});
  auto dialog = Open(0x0409);
  dialog->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  QLabel* link = dialog->LblOfficialSite;
  auto colour = [&] { return link->palette().color(QPalette::WindowText); };
  EXPECT_EQ(colour(), QColor(0x00, 0x00, 0x80));

  QTest::mouseMove(link, link->rect().center());
  EXPECT_EQ(colour(), QColor(0xFF, 0x00, 0x00));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(link, &leave);
  EXPECT_EQ(colour(), QColor(0x00, 0x00, 0x80));

  EXPECT_TRUE(shell_.requests.empty());
  QTest::mouseClick(link, Qt::LeftButton, {}, link->rect().center());
  ASSERT_EQ(shell_.requests.size(), 1u);
  EXPECT_EQ(shell_.requests[0].kind, "address");
  EXPECT_EQ(shell_.requests[0].target, QString(links::kMakerSite));
}

TEST(UserLocale, OnlyJapanJapaneseCountsAsJapanese) {
  EXPECT_EQ(LcidFromLocaleName("ja_JP.UTF-8"), 0x0411u);
  EXPECT_EQ(LcidFromLocaleName("ja_JP"), 0x0411u);
  EXPECT_EQ(LcidFromLocaleName("ja_JP.eucJP@euro"), 0x0411u);
  EXPECT_EQ(LcidFromLocaleName("en_US.UTF-8"), 0x0409u);
  EXPECT_EQ(LcidFromLocaleName("C"), 0x0409u);
  EXPECT_EQ(LcidFromLocaleName("ja_JPX"), 0x0409u);

  EXPECT_TRUE(IsJapaneseLcid(0x0411));
  EXPECT_FALSE(IsJapaneseLcid(0x10411));  // Japanese with another sort order
  EXPECT_FALSE(IsJapaneseLcid(0x0409));
  EXPECT_FALSE(IsJapaneseLcid(0x411000));
}

// --- outside requests and the program's own fields ---

TEST(UpdatePage, BrowserIsLookedForOnTheSystemDrive) {
  EXPECT_EQ(InternetExplorerCommandLine("D:\\WINDOWS\\system32", "http://x/ja-jp/"),
            "\"D:\\Program Files\\Internet Explorer\\IEXPLORE.EXE\" \"http://x/ja-jp/\"");
  EXPECT_EQ(InternetExplorerCommandLine("", "http://x/"), "");
}

TEST(UpdatePage, InternetExplorerUpToWindows10Only) {
  // Windows 10 22H2, the first and a later Windows 11; 0 when Windows would not say.
  for (const auto& [build, shows] : {std::pair{19045u, true}, std::pair{22000u, false},
                                     std::pair{26100u, false}, std::pair{0u, true}}) {
    EXPECT_EQ(InternetExplorerShowsPages(build), shows) << build;
  }
}

TEST(ProgramFile, OwnFieldsReadThroughTheVersionReader) {
  MemoryPlatform platform;
#ifndef _WIN32
  // On Windows they are the program file's own resource, which the next test compares.
  const TProgramInfo info = ReadProgramInfo(platform);
  EXPECT_EQ(info.ProductName, "Tovalin");
  EXPECT_EQ(info.ProductNameEn, "Tovalin");
  EXPECT_EQ(info.LegalCopyright, "Copyright (C) Zaro Vadera \"Harrow\"");
  EXPECT_FALSE(info.ProductVersion.empty());
#endif

  // Other files of the machine are still the machine's.
  platform.files.AddFile("C:\\x.exe");
  platform.versions.SetBlock("C:\\x.exe", test::BuildVersionBlock({{"ProductName", "X"}}));
  TProgramFile self(platform);
  EXPECT_EQ(self.GetPlatform().Files().GetFileAttributes("C:\\x.exe"), win::kFileAttributeArchive);
  EXPECT_EQ(self.GetPlatform().Files().GetFileAttributes("C:\\none.exe"),
            win::kInvalidFileAttributes);
  EXPECT_EQ(self.GetPlatform().Versions().GetFileVersionInfo("C:\\x.exe"),
            platform.versions.GetFileVersionInfo("C:\\x.exe"));
}

TEST(ProgramFile, WindowsResourceCarriesTheSameFields) {
  QFile rc(QStringLiteral(TOVALIN_SOURCE_DIR "/app/gui/tovalin.rc"));
  ASSERT_TRUE(rc.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(rc.readAll());
  std::map<std::string, std::string> values;
  const QRegularExpression line(QStringLiteral("^\\s*VALUE\\s+\"(\\w+)\",\\s*(.*?)\\s*$"),
                                QRegularExpression::MultilineOption);
  for (auto match = line.globalMatch(text); match.hasNext();) {
    const QRegularExpressionMatch m = match.next();
    QString value = m.captured(2);
    if (value.startsWith('"') && value.endsWith('"')) {
      value = value.mid(1, value.size() - 2).replace(QStringLiteral("\"\""), QStringLiteral("\""));
    }
    if (m.captured(1) != "Translation") values[m.captured(1).toStdString()] = value.toStdString();
  }
  std::map<std::string, std::string> builtIn;
  for (const TVersionField& field : BuiltInVersionFields()) builtIn[field.Key] = field.Value;
  ASSERT_EQ(values.size(), builtIn.size());
  for (const auto& [key, value] : builtIn) {
    ASSERT_TRUE(values.count(key)) << key;
    // The version numbers come from the build in both.
    if (values[key] == "@PROJECT_VERSION@") continue;
    EXPECT_EQ(values[key], value) << key;
  }
}

TEST(FileDetails, PlaceSizeAndVersionFieldsOfAMachineFile) {
  MemoryPlatform platform;
  platform.files.AddFile("C:\\Office11\\EXCEL.EXE", std::vector<std::uint8_t>(1234, 0));
  platform.versions.SetBlock("C:\\Office11\\EXCEL.EXE",
                             test::BuildVersionBlock({{"FileVersion", "11.0.5612.0"},
                                                      {"ProductName", "Microsoft Office 2003"},
                                                      {"CompanyName", ""}}));
  const TFileDetails details = ReadFileDetails(platform, "C:\\Office11\\EXCEL.EXE");
  EXPECT_EQ(details.FileName, "EXCEL.EXE");
  EXPECT_EQ(details.Folder, "C:\\Office11\\");
  EXPECT_EQ(details.Size, 1234u);
  const std::vector<std::pair<QString, QString>> expected = {{"ファイル バージョン", "11.0.5612.0"},
                                                             {"製品名", "Microsoft Office 2003"}};
  EXPECT_EQ(details.VersionFields, expected);
}

}  // namespace
}  // namespace tovalin
