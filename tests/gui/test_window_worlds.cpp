// The main window on every machine the test binary can build: in memory, a Wine prefix, and, in
// the Windows build under Wine, the machine itself (the 32-bit registry view, icons taken from
// the executable, real processes found and ended).
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iterator>

#include "app/gui/MainWindow.h"
#include "app/gui/ProgramArt.h"
#include "tests/World.h"
#include "tests/gui/GuiTestSupport.h"

#if !defined(_WIN32)
#include <unistd.h>

#include "support/platform/wine/WinePlatform.h"
#include "tests/wine/WineTestSupport.h"
#endif

namespace tovalin {
namespace {

constexpr const char* kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kExcelClass = "{00024500-0000-0000-C000-000000000046}";

class WindowOnWorld : public testing::TestWithParam<test::WorldParam> {};

TEST_P(WindowOnWorld, FindsOfficeShowsTheExecutablesIconAndEndsItsProcess) {
  std::unique_ptr<test::World> world = GetParam().make();
  const std::string exe = world->Root() + "\\Office11\\EXCEL.EXE";
  world->AddFile(exe, test::SampleFile("Program Files (x86)/Microsoft Office/OFFICE11/EXCEL.EXE"));
  const std::string product = std::string(kUninstall) + "\\{90110411-6000-11D3-8CFE-0150048383C9}";
  world->SetString(RootKey::LocalMachine, product, "DisplayName",
                   "Microsoft Office Professional Edition 2003");
  world->SetString(RootKey::LocalMachine, product, "DisplayVersion", "11.0.8173.0");
  world->SetString(RootKey::LocalMachine, "SOFTWARE\\Microsoft\\Office\\11.0\\Excel\\InstallRoot",
                   "Path", world->Root() + "\\Office11\\");
  world->SetString(RootKey::ClassesRoot, "Excel.Application\\CLSID", "", kExcelClass);
  world->SetString(RootKey::ClassesRoot, std::string("CLSID\\") + kExcelClass + "\\LocalServer32",
                   "", "\"" + exe + "\" /automation");

  test::ScriptedBoxes boxes;
  MainWindow form(world->platform(), boxes);
  ASSERT_TRUE(form.StartOk());
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  int excel = -1;
  for (int i = 0; i < form.GlbMenu->count(); ++i) {
    if (form.GlbMenu->item(i)->text() == QStringLiteral("Excel")) excel = i;
  }
  ASSERT_GE(excel, 0) << "Excel is not listed";
  // The stand-in Excel carries an icon of its own: the row shows it, not the generic picture.
  const QImage generic =
      ApplicationIconImage(32).convertToFormat(QImage::Format_ARGB32_Premultiplied);
  EXPECT_FALSE(form.IL_Menu->Image(excel).isNull());
  EXPECT_NE(form.IL_Menu->Image(excel), generic);

  if (!world->Supports(test::Feature::RealProcesses) &&
      !world->Supports(test::Feature::FakeProcesses)) {
    return;
  }
  form.GlbMenu->SetItemIndex(excel);
  form.GlbMenuClick();
  const std::uint32_t pid = world->AddProcess(exe);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.BtnProcess->isVisible(); }, 10000));
  EXPECT_EQ(form.ProcessIds(), TArrayDword({pid}));
  boxes.answers = {MsgResult::Yes};
  form.BtnProcess->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !world->ProcessRunning(pid); }, 10000));
  EXPECT_TRUE(QTest::qWaitFor([&] { return form.BtnProcess->isHidden(); }, 10000));
}

INSTANTIATE_TEST_SUITE_P(Worlds, WindowOnWorld, testing::ValuesIn(test::AllWorlds()),
                         [](const auto& info) { return test::WorldName(info.param); });

#if !defined(_WIN32)
// Wine saves its hives while the window is open: whenever the window shows a state again, it is
// the one Wine saved.
TEST(WindowOnWinePrefix, ShowsWhatAnotherProgramSavedMeanwhile) {
  namespace fs = std::filesystem;
  const fs::path prefix =
      fs::temp_directory_path() / ("tovalin-gui-refresh-" + std::to_string(::getpid()));
  fs::remove_all(prefix);
  fs::copy(fs::path(TOVALIN_SOURCE_DIR) / "examples" / "sample-prefix", prefix,
           fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  WineOpenOptions options;
  options.writable = true;
  auto platform = OpenWinePrefix(prefix.string(), options);
  test::ScriptedBoxes boxes;
  MainWindow form(*platform, boxes);
  ASSERT_TRUE(form.StartOk());
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

  // The suite's logon-IME switch, which the sample prefix lets flip both ways.
  constexpr int kItem = 52;
  const auto& items = form.Model().Slots[0]->Items;
  const auto row = std::find_if(items.begin(), items.end(),
                                [](const TZelMsoItem& item) { return item.ItemId == kItem; });
  ASSERT_NE(row, items.end());
  auto showItem = [&] {
    form.GlbMenu->SetItemIndex(0);
    form.GlbMenuClick();
    form.PctMain->setCurrentWidget(form.TabRepair);
    form.GlbItem->SetItemIndex(static_cast<int>(row - items.begin()));
    form.GlbItemClick();
  };
  showItem();

  struct Way {
    const char* name;
    std::function<void()> show;
  };
  const std::vector<Way> ways = {{"switching pages",
                                  [&] {
                                    form.PctMain->setCurrentWidget(form.TabInfo);
                                    form.PctMain->setCurrentWidget(form.TabRepair);
                                  }},
                                 {"coming back to the window",
                                  [&] {
                                    form.activateWindow();
                                    QApplication::setActiveWindow(&form);
                                    QEvent activation(QEvent::ActivationChange);
                                    QApplication::sendEvent(&form, &activation);
                                  }},
                                 {"switching products", [&] {
                                    form.GlbMenu->SetItemIndex(1);
                                    form.GlbMenuClick();
                                    showItem();
                                  }}};
  int state = 0;
  for (const Way& way : ways) {
    SCOPED_TRACE(way.name);
    state = 1 - state;
    auto other = OpenWinePrefix(prefix.string(), options);
    ASSERT_TRUE(TZelMso(*other).SetItemState(kItem, state));
    way.show();
    EXPECT_EQ(form.SbtItem1->isChecked(), state == 0);
    EXPECT_EQ(form.SbtItem2->isChecked(), state == 1);
  }
  fs::remove_all(prefix);
}

// A change while the prefix's Wine runs: the window names its programs; Cancel changes nothing,
// waiting makes the change once Wine and its server have ended, on what Wine saved meanwhile.
TEST(WindowWaitsForWine, ChangesAfterWineEndedKeepingWhatWineSaved) {
  if (!winetest::WineAvailable()) GTEST_SKIP() << "Wine is not installed";
  namespace fs = std::filesystem;
  const winetest::TempDir dir("tovalin-gui-wait");
  const std::string prefix = dir.path() + "/prefix";
  fs::copy(fs::path(TOVALIN_SOURCE_DIR) / "examples" / "sample-prefix", prefix,
           fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  const std::vector<std::string> env = winetest::WineEnv(prefix);
  // Wine makes the sample a full prefix first, keeping its Office data.
  ASSERT_EQ(winetest::Run({"wine", "wineboot", "-u"}, env), 0);
  ASSERT_EQ(winetest::Run({"wineserver", "-w"}, env), 0);

  WineOpenOptions options;
  options.writable = true;
  auto platform = OpenWinePrefix(prefix, options);
  test::ScriptedBoxes boxes;
  MainWindow form(*platform, boxes);
  ASSERT_TRUE(form.StartOk());
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  constexpr int kItem = 52;  // the suite's logon-IME switch
  const auto& items = form.Model().Slots[0]->Items;
  const auto row = std::find_if(items.begin(), items.end(),
                                [](const TZelMsoItem& item) { return item.ItemId == kItem; });
  ASSERT_NE(row, items.end());
  form.GlbMenu->SetItemIndex(0);
  form.GlbMenuClick();
  form.PctMain->setCurrentWidget(form.TabRepair);
  form.GlbItem->SetItemIndex(static_cast<int>(row - items.begin()));
  form.GlbItemClick();
  const int before = form.Model().GetItemState(kItem);
  ASSERT_NE(before, 1);

  // Wine changes the registry and runs on a little.
  const pid_t wine = winetest::Spawn(
      "wine",
      {"wine", "cmd", "/c",
       "reg add HKCU\\Software\\TovalinWait /v By /d wine /f & ping -n 4 127.0.0.1"},
      env);
  // Collected as soon as it ends: Wine's server outlives a client its parent has not collected,
  // and the window waits for the server.
  std::future<bool> wineCollected =
      std::async(std::launch::async, [wine] { return winetest::WaitChild(wine, 120000); });
  IStoreHolders* holders = platform->StoreHolders();
  ASSERT_NE(holders, nullptr);
  // Ping itself: the process started from Unix shows "ping" only until it becomes `start.exe`,
  // which starts the real one.
  const auto pingRuns = [&](pid_t spawned) {
    return [&platform, spawned] {
      std::vector<ProcessEntry> entries;
      platform->Processes().Snapshot(entries);
      return std::any_of(entries.begin(), entries.end(), [spawned](const ProcessEntry& entry) {
        return entry.pid != static_cast<std::uint32_t>(spawned) &&
               QString::fromStdString(entry.exeFile)
                       .compare(QStringLiteral("ping.exe"), Qt::CaseInsensitive) == 0;
      });
    };
  };
  ASSERT_TRUE(QTest::qWaitFor(pingRuns(wine), 60000));

  boxes.answers = {MsgResult::Yes};
  boxes.choices = {2};  // Cancel
  form.SbtItem2->click();
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[1].buttons, MsgButtons::Choice);
  EXPECT_TRUE(boxes.shown[1].text.contains(QStringLiteral("ping.exe"), Qt::CaseInsensitive))
      << boxes.shown[1].text.toStdString();
  EXPECT_TRUE(holders->Busy());
  EXPECT_EQ(form.Model().GetItemState(kItem), before);

  boxes.shown.clear();
  boxes.answers = {MsgResult::Yes};
  boxes.choices = {0};  // wait
  form.SbtItem2->click();
  EXPECT_FALSE(holders->Busy());
  ASSERT_EQ(boxes.shown.size(), 3u);
  EXPECT_EQ(boxes.shown[2].text, QStringLiteral("設定を更新しました。"));
  EXPECT_TRUE(form.SbtItem2->isChecked());
  EXPECT_TRUE(wineCollected.get());

  std::string query;
  ASSERT_EQ(winetest::Run({"wine", "reg", "query", "HKCU\\Software\\TovalinWait", "/v", "By"}, env,
                          &query),
            0);
  EXPECT_NE(query.find("wine"), std::string::npos) << query;
  winetest::Run({"wineserver", "-k"}, env);
  winetest::Run({"wineserver", "-w"}, env);
  EXPECT_EQ(TZelMso(*OpenWinePrefix(prefix, options)).GetItemState(kItem), 1);

  // Ending the programs instead, after a confirmation, does not wait for them.
  const pid_t ping = winetest::Spawn("wine", {"wine", "ping", "-n", "120", "127.0.0.1"}, env);
  std::future<bool> pingCollected =
      std::async(std::launch::async, [ping] { return winetest::WaitChild(ping, 120000); });
  ASSERT_TRUE(QTest::qWaitFor(pingRuns(ping), 60000));
  boxes.shown.clear();
  boxes.answers = {MsgResult::Yes, MsgResult::Yes};
  boxes.choices = {1};  // end them
  form.SbtItem1->click();
  EXPECT_EQ(pingCollected.wait_for(std::chrono::seconds(10)), std::future_status::ready)
      << "ping was not ended";
  EXPECT_FALSE(holders->Busy());
  ASSERT_EQ(boxes.shown.size(), 4u) << boxes.shown.back().text.toStdString();
  EXPECT_EQ(boxes.shown[2].icon, MsgIcon::Question);
  EXPECT_EQ(boxes.shown[3].text, QStringLiteral("設定を更新しました。"));
  EXPECT_EQ(TZelMso(*OpenWinePrefix(prefix, options)).GetItemState(kItem), 0);
}
#endif

}  // namespace
}  // namespace tovalin
