// Listing a user's Wine prefixes: a home folder holding twenty prefixes of wineboot size spread
// over the tools' folders, two of them with Office installed.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchOptions.h"
#include "office/OfficeProductCodes.h"
#include "support/platform/wine/WinePrefixes.h"

namespace tovalin::bench {
namespace {

namespace fs = std::filesystem;

constexpr int kPrefixes = 20;

constexpr const char* kOfficeKeys =
    "\n[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\\\\"
    "{90110411-6000-11D3-8CFE-0150048383C9}] 1715590800\n"
    "#time=1daa513ef8440c7\n"
    "\"DisplayName\"=\"Microsoft Office Professional Edition 2003\"\n"
    "\"DisplayVersion\"=\"11.0.8173.0\"\n";

// Hard links where the file system allows them: the hives are only read.
void LinkOrCopy(const fs::path& from, const fs::path& to) {
  std::error_code error;
  fs::create_hard_link(from, to, error);
  if (error) fs::copy_file(from, to);
}

class TempHome {
 public:
  TempHome() {
    char pattern[] = "/tmp/tovalin-bench-home-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    home_ = pattern;
    const char* folders[] = {".local/share/wineprefixes", ".PlayOnLinux/wineprefix", ".cxoffice",
                             ".local/share/bottles/bottles", "Games"};
    const fs::path source = Options().winePrefix;
    for (int i = 0; i < kPrefixes; ++i) {
      const fs::path dir =
          fs::path(home_) / folders[i % std::size(folders)] / ("prefix" + std::to_string(i));
      fs::create_directories(dir);
      LinkOrCopy(source / "user.reg", dir / "user.reg");
      if (i % 10 != 3) {
        LinkOrCopy(source / "system.reg", dir / "system.reg");
        continue;
      }
      fs::copy_file(source / "system.reg", dir / "system.reg");
      std::ofstream(dir / "system.reg", std::ios::app) << kOfficeKeys;
    }
  }
  ~TempHome() {
    std::error_code ignored;
    fs::remove_all(home_, ignored);
  }
  const std::string& Path() const { return home_; }

 private:
  std::string home_;
};

void BM_ListWinePrefixes(benchmark::State& state) {
  if (Options().winePrefix.empty()) {
    state.SkipWithError("no wineboot prefix (--wine-prefix=DIR)");
    return;
  }
  const TempHome home;
  WinePrefixSearch search;
  search.home = home.Path();
  search.officeVersionOf = ListedOfficeVersion;
  std::vector<FoundWinePrefix> list;
  for (auto _ : state) {
    list = FindWinePrefixes(search);
    benchmark::DoNotOptimize(list.data());
  }
  int usable = 0;
  int withOffice = 0;
  for (const FoundWinePrefix& prefix : list) {
    usable += prefix.Usable() ? 1 : 0;
    withOffice += prefix.office.empty() ? 0 : 1;
  }
  if (usable != kPrefixes || withOffice != 2) {
    state.SkipWithError("the list does not show the twenty prefixes and the two Office ones");
  }
}
BENCHMARK(BM_ListWinePrefixes)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->MinTime(0.3)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace tovalin::bench
