// The list of a user's Wine prefixes, over a home folder holding one of every kind, a duplicate
// and broken ones; and the same list from tovalin-cli.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "office/OfficeProductCodes.h"
#include "support/platform/wine/WinePrefixes.h"
#include "tests/CliTestSupport.h"
#include "tests/wine/WineTestSupport.h"

namespace tovalin {
namespace {

using winetest::MakeDirs;
using winetest::ReadText;
using winetest::WriteText;

const std::vector<std::string> kSampleOffice = {"Microsoft Office Professional 2007",
                                                "Microsoft Office Proofing Tools 2007 - 日本語",
                                                "Microsoft Office Professional Edition 2003"};

struct Row {
  WinePrefixSource source;
  std::string name;
  std::string arch;
  std::vector<std::string> office;
  std::string problem;  // a part of it
};

// A home folder with a prefix in each place, some made of the template hives and some of the
// sample prefix's, which hold Office.
class PrefixHome {
 public:
  PrefixHome() {
    const winetest::TemplatePrefix win64(true);
    const winetest::TemplatePrefix win32(false);
    const std::string sample = std::string(TOVALIN_SOURCE_DIR) + "/examples/sample-prefix";
    const Hives w64{ReadText(win64.File("system.reg")), ReadText(win64.File("user.reg"))};
    const Hives w32{ReadText(win32.File("system.reg")), ReadText(win32.File("user.reg"))};
    const Hives office{ReadText(sample + "/system.reg"), ReadText(sample + "/user.reg")};
    std::string noArch = w64.system;
    noArch.erase(noArch.find("#arch=win64\n"), 12);

    Make(".wine", w64);
    Make(".local/share/wineprefixes/office2003", office);
    Make(".local/share/wineprefixes/broken", {w64.system, {}});
    MakeDirs(Home() + "/.local/share/wineprefixes/notaprefix");
    EXPECT_EQ(symlink("/nonexistent", (Home() + "/.local/share/wineprefixes/gone").c_str()), 0);
    Make(".PlayOnLinux/wineprefix/Office2007", office);
    Make(".cxoffice/Word Bottle", w32);
    Make(".local/share/bottles/bottles/office-x", w64);
    WriteText(Home() + "/.local/share/bottles/bottles/office-x/bottle.yml",
              "Arch: win64\nName: \"My Office\"\nPath: office-x\n");
    Make(".var/app/com.usebottles.bottles/data/bottles/bottles/flat", {noArch, w64.user});
    Make("Games/garbage", {w64.system, "\x01\x02 not a hive"});
    Make("elsewhere/mine", w32);
  }

  const std::string& Home() const { return home_.path(); }
  // Reached by another spelling than the winetricks folder's, so only the real path matches.
  std::string WinePrefix() const {
    return Home() + "/.local/share/wineprefixes/../wineprefixes/office2003";
  }
  std::vector<std::string> Added() const {
    return {Home() + "/elsewhere/mine", Home() + "/.wine/"};
  }

 private:
  struct Hives {
    std::string system, user;  // empty: no file
  };
  void Make(const std::string& relative, const Hives& hives) {
    const std::string dir = Home() + "/" + relative;
    MakeDirs(dir);
    if (!hives.system.empty()) WriteText(dir + "/system.reg", hives.system);
    if (!hives.user.empty()) WriteText(dir + "/user.reg", hives.user);
  }

  winetest::TempDir home_{"tovalin-home"};
};

TEST(WinePrefixes, ListsEachKindOnceWithWhatItHolds) {
  const PrefixHome home;
  const std::vector<Row> expected = {
      {WinePrefixSource::Environment, "office2003", "win64", kSampleOffice, ""},
      {WinePrefixSource::Default, ".wine", "win64", {}, ""},
      {WinePrefixSource::Winetricks, "broken", "win64", {}, "user.reg がありません"},
      {WinePrefixSource::Winetricks, "gone", "", {}, "シンボリックリンクの先がありません"},
      {WinePrefixSource::PlayOnLinux, "Office2007", "win64", kSampleOffice, ""},
      {WinePrefixSource::CrossOver, "Word Bottle", "win32", {}, ""},
      {WinePrefixSource::Bottles, "My Office", "win64", {}, ""},
      {WinePrefixSource::BottlesFlatpak, "flat", "win64", {}, ""},
      {WinePrefixSource::Lutris, "garbage", "win64", {}, "user.reg は Wine のレジストリ"},
      {WinePrefixSource::Added, "mine", "win32", {}, ""},
  };

  const std::vector<FoundWinePrefix> found =
      FindWinePrefixes({home.Home(), home.WinePrefix(), home.Added(), ListedOfficeVersion});
  ASSERT_EQ(found.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const Row& row = expected[i];
    const FoundWinePrefix& prefix = found[i];
    SCOPED_TRACE(prefix.path);
    EXPECT_EQ(prefix.source, row.source);
    EXPECT_EQ(prefix.name, row.name);
    EXPECT_EQ(prefix.arch, row.arch);
    std::vector<std::string> office;
    for (const PrefixOfficeProduct& product : prefix.office) office.push_back(product.displayName);
    EXPECT_EQ(office, row.office);
    if (row.problem.empty()) {
      EXPECT_TRUE(prefix.Usable()) << prefix.problem;
    } else {
      EXPECT_NE(prefix.problem.find(row.problem), std::string::npos) << prefix.problem;
    }
    EXPECT_FALSE(prefix.serverRunning);
  }
}

TEST(WinePrefixes, CliListsThemAsJson) {
  if (!std::filesystem::exists(clitest::CliBinary())) GTEST_SKIP() << "tovalin-cli is not built";
  const PrefixHome home;
  const clitest::ShellResult result = clitest::Shell(
      "HOME=" + clitest::Quote(home.Home()) + " WINEPREFIX=" + clitest::Quote(home.WinePrefix()) +
      " " + clitest::Quote(clitest::CliBinary().string()) + " prefixes --json");
  ASSERT_EQ(result.exitCode, 0);
  const nlohmann::json list = nlohmann::json::parse(result.out);
  ASSERT_EQ(list.size(), 9u) << result.out;
  EXPECT_EQ(list[0]["source"], "environment");
  EXPECT_EQ(list[0]["path"], home.WinePrefix());
  EXPECT_EQ(list[0]["office"][2]["productCode"], "{90110411-6000-11D3-8CFE-0150048383C9}");
  EXPECT_EQ(list[0]["office"][2]["version"], "11.0");
  EXPECT_EQ(list[2]["usable"], false);
  EXPECT_EQ(list[8]["sourceLabelEn"], "Lutris");
}

// Which prefix the window opens by itself, and when it asks.
TEST(WinePrefixes, ChoosesWhatToOpenAtStart) {
  auto prefix = [](const std::string& path, bool office, const std::string& problem = "") {
    FoundWinePrefix found;
    found.path = path;
    found.problem = problem;
    if (office) found.office.push_back({"11.0", "{90110411-6000-11D3-8CFE-0150048383C9}", ""});
    return found;
  };
  const FoundWinePrefix a = prefix("/h/a", true);
  const FoundWinePrefix b = prefix("/h/b", true);
  const FoundWinePrefix bare = prefix("/h/bare", false);
  const FoundWinePrefix broken = prefix("/h/broken", true, "user.reg がありません");
  using Kind = PrefixToOpen::Kind;
  struct Case {
    const char* name;
    std::vector<FoundWinePrefix> found;
    std::string winePrefix, remembered;
    PrefixToOpen expected;
  };
  const std::vector<Case> cases = {
      {"WINEPREFIX wins over all", {a, b}, "/h/bare", "/h/a", {Kind::Open, "/h/bare"}},
      {"WINEPREFIX even when nothing was found", {}, "/x", "", {Kind::Open, "/x"}},
      {"the only one with Office", {bare, a, broken}, "", "", {Kind::Open, "/h/a"}},
      {"the only one even when another was remembered", {a}, "", "/h/gone", {Kind::Open, "/h/a"}},
      {"several ask", {a, b}, "", "", {Kind::Ask, ""}},
      {"the remembered one among several", {a, b}, "", "/h/b", {Kind::Open, "/h/b"}},
      {"remembered but Office gone", {a, b, bare}, "", "/h/bare", {Kind::Ask, ""}},
      {"remembered but broken", {a, b, broken}, "", "/h/broken", {Kind::Ask, ""}},
      {"none with Office asks", {bare, broken}, "", "", {Kind::Ask, ""}},
      {"nothing found asks", {}, "", "", {Kind::Ask, ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ChoosePrefixToOpen(c.found, c.winePrefix, c.remembered), c.expected);
  }
}

TEST(WinePrefixes, NamesThePlacesLookedAt) {
  const std::vector<std::string> places = WinePrefixPlaces({"/h", "", {"/mine"}, {}});
  ASSERT_EQ(places.size(), 8u);
  EXPECT_EQ(places.front(), "/h/.wine");
  EXPECT_EQ(places[1], "/h/.local/share/wineprefixes");
  EXPECT_EQ(places.back(), "/mine");
}

}  // namespace
}  // namespace tovalin
