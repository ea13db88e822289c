// The window's choice of Wine prefix over a home folder of its own: one prefix with Office is
// opened at once, several are offered in the chooser and the choice is kept, none are explained
// with the places looked at; and File > switch puts a window on another prefix in place.
#include <gtest/gtest.h>

#include <QSettings>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "app/gui/Session.h"
#include "app/gui/WinePrefixChooser.h"
#include "tests/gui/GuiTestSupport.h"
#include "tests/wine/WineTestSupport.h"

namespace tovalin {
namespace {

namespace fs = std::filesystem;

class PrefixChoice : public testing::Test {
 protected:
  // A copy of the sample prefix (Office 2003 and 2007) at a place under the home folder.
  std::string AddOfficePrefix(const std::string& relative) {
    const fs::path path = fs::path(home_.path()) / relative;
    fs::create_directories(path.parent_path());
    fs::copy(fs::path(TOVALIN_SOURCE_DIR) / "examples" / "sample-prefix", path,
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    return path.string();
  }
  WinePrefixSettings Settings() const {
    return {home_.path(), "", home_.path() + "/.config/tovalin/tovalin.conf"};
  }
  // A source whose chooser is driven by `drive` instead of the user; counts the choosers shown.
  std::unique_ptr<WinePrefixMachines> Source(std::function<int(TPrefixChooser&)> drive = {}) {
    auto source = std::make_unique<WinePrefixMachines>(Settings(), boxes_);
    source->runChooser = [this, drive](TPrefixChooser& chooser) {
      ++choosers_;
      return drive ? drive(chooser) : static_cast<int>(QDialog::Rejected);
    };
    return source;
  }
  // As the session does once the window on it has started.
  static bool OpenFirst(WinePrefixMachines& source) {
    if (source.OpenFirst() == nullptr) return false;
    source.Shown();
    return true;
  }
  static std::vector<QTreeWidgetItem*> Rows(const TPrefixChooser& chooser) {
    std::vector<QTreeWidgetItem*> rows;
    for (int i = 0; i < chooser.LvwPrefixes->topLevelItemCount(); ++i) {
      rows.push_back(chooser.LvwPrefixes->topLevelItem(i));
    }
    return rows;
  }
  // Picks the row whose path ends in `tail` and presses Open.
  static int OpenRow(TPrefixChooser& chooser, const std::string& tail) {
    for (QTreeWidgetItem* row : Rows(chooser)) {
      if (row->text(3).endsWith(QString::fromStdString(tail))) {
        chooser.LvwPrefixes->setCurrentItem(row);
      }
    }
    chooser.BtnOpen->click();
    return chooser.result();
  }

  winetest::TempDir home_{"tovalin-gui-home"};
  test::ScriptedBoxes boxes_;
  int choosers_ = 0;
};

TEST_F(PrefixChoice, OpensTheOnlyOfficePrefixAtOnce) {
  const std::string only = AddOfficePrefix(".wine");
  // Found but without Office: no reason to ask.
  winetest::MakeDirs(home_.path() + "/.local/share/wineprefixes/empty");
  winetest::WriteText(home_.path() + "/.local/share/wineprefixes/empty/user.reg",
                      "WINE REGISTRY Version 2\n");
  auto source = Source();
  ASSERT_TRUE(OpenFirst(*source));
  EXPECT_EQ(choosers_, 0);
  EXPECT_EQ(source->OpenPath(), only);
  EXPECT_TRUE(source->Describe().contains(QString::fromStdString(only)))
      << source->Describe().toStdString();

  // $WINEPREFIX is opened as before, whatever else there is.
  const std::string other = AddOfficePrefix("elsewhere/office");
  WinePrefixSettings settings = Settings();
  settings.winePrefix = other;
  WinePrefixMachines fromEnvironment(settings, boxes_);
  ASSERT_TRUE(OpenFirst(fromEnvironment));
  EXPECT_EQ(fromEnvironment.OpenPath(), other);
}

TEST_F(PrefixChoice, AsksAmongSeveralAndKeepsTheChoice) {
  AddOfficePrefix(".wine");
  const std::string second = AddOfficePrefix(".local/share/wineprefixes/office2");
  winetest::MakeDirs(home_.path() + "/Games/broken");
  winetest::WriteText(home_.path() + "/Games/broken/user.reg", "WINE REGISTRY Version 2\n");

  auto source = Source([&](TPrefixChooser& chooser) {
    const std::vector<QTreeWidgetItem*> rows = Rows(chooser);
    EXPECT_EQ(rows.size(), 3u);
    int enabled = 0;
    for (QTreeWidgetItem* row : rows) {
      if (row->flags() & Qt::ItemIsEnabled) {
        ++enabled;
        EXPECT_TRUE(row->text(2).contains(QStringLiteral("Office Professional 2007")));
      } else {
        // The broken one is shown with its reason, not offered.
        EXPECT_TRUE(row->text(2).contains(QStringLiteral("開けません")))
            << row->text(2).toStdString();
      }
    }
    EXPECT_EQ(enabled, 2);
    return OpenRow(chooser, "office2");
  });
  ASSERT_TRUE(OpenFirst(*source));
  EXPECT_EQ(choosers_, 1);
  EXPECT_EQ(source->OpenPath(), second);

  // Next start: the kept choice opens without asking.
  auto next = Source();
  ASSERT_TRUE(OpenFirst(*next));
  EXPECT_EQ(choosers_, 1);
  EXPECT_EQ(next->OpenPath(), second);

  // A chooser closed without a choice opens nothing.
  fs::remove_all(second + "/user.reg");
  AddOfficePrefix(".local/share/wineprefixes/office3");
  EXPECT_FALSE(OpenFirst(*Source()));
  EXPECT_EQ(choosers_, 2);
}

TEST_F(PrefixChoice, WithNoneSaysWhereItLookedAndOpensAPickedFolder) {
  const winetest::TempDir elsewhere("tovalin-gui-picked");
  const std::string picked = elsewhere.path() + "/office";
  fs::copy(fs::path(TOVALIN_SOURCE_DIR) / "examples" / "sample-prefix", picked,
           fs::copy_options::recursive | fs::copy_options::copy_symlinks);

  auto source = Source([&](TPrefixChooser& chooser) {
    const QString intro = chooser.LblIntro->text();
    EXPECT_TRUE(intro.contains(QString::fromStdString(home_.path() + "/.wine")));
    EXPECT_TRUE(intro.contains(QString::fromStdString(home_.path() + "/.cxoffice")));
    EXPECT_TRUE(intro.contains(QStringLiteral("WINEPREFIX=")));
    EXPECT_FALSE(chooser.BtnOpen->isEnabled());
    // A folder that is no prefix is explained and not taken.
    chooser.pickFolder = [&](QWidget*) { return QString::fromStdString(elsewhere.path()); };
    chooser.BtnFolder->click();
    EXPECT_EQ(chooser.result(), QDialog::Rejected);
    EXPECT_EQ(boxes_.shown.size(), 1u);
    chooser.pickFolder = [&](QWidget*) { return QString::fromStdString(picked); };
    chooser.BtnFolder->click();
    return chooser.result();
  });
  ASSERT_TRUE(OpenFirst(*source));
  EXPECT_EQ(source->OpenPath(), picked);
  // Kept among the folders looked at: the next start finds it as the one prefix.
  auto next = Source();
  ASSERT_TRUE(OpenFirst(*next));
  EXPECT_EQ(next->OpenPath(), picked);
  EXPECT_EQ(choosers_, 1);
}

TEST_F(PrefixChoice, SwitchingPutsAWindowOnTheOtherPrefix) {
  const std::string first = AddOfficePrefix(".wine");
  const std::string second = AddOfficePrefix(".local/share/wineprefixes/office2");
  std::string pick = ".wine";
  auto source = Source([&](TPrefixChooser& chooser) {
    if (pick.front() != '/') return OpenRow(chooser, pick);
    chooser.pickFolder = [&](QWidget*) { return QString::fromStdString(pick); };
    chooser.BtnFolder->click();
    return chooser.result();
  });
  TSession session(*source, boxes_);
  ASSERT_TRUE(session.Start());
  MainWindow* before = session.Form();
  before->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(before));
  EXPECT_TRUE(before->StatusMachine->isVisible());
  EXPECT_TRUE(before->StatusMachine->text().contains(QString::fromStdString(first)));

  pick = "office2";
  ASSERT_TRUE(before->MI_F_Machine->isVisible());
  before->MI_F_Machine->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return session.Form() != before; }, 5000));
  EXPECT_TRUE(session.Form()->isVisible());
  EXPECT_TRUE(session.Form()->StatusMachine->text().contains(QString::fromStdString(second)));
  EXPECT_EQ(choosers_, 2);
  EXPECT_TRUE(boxes_.shown.empty());

  // A prefix without Office is said so; the window, its prefix and the kept choice stay.
  const winetest::TemplatePrefix noOffice;
  pick = noOffice.path();
  MainWindow* shown = session.Form();
  shown->MI_F_Machine->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes_.shown.empty(); }, 5000));
  EXPECT_TRUE(boxes_.shown.back().text.contains(QStringLiteral("Office")))
      << boxes_.shown.back().text.toStdString();
  EXPECT_EQ(session.Form(), shown);
  EXPECT_EQ(source->OpenPath(), second);
  EXPECT_TRUE(shown->StatusMachine->text().contains(QString::fromStdString(second)));
  auto next = Source();
  ASSERT_TRUE(OpenFirst(*next));
  EXPECT_EQ(next->OpenPath(), second);
}

}  // namespace
}  // namespace tovalin
