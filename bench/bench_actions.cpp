// One user action on a Wine prefix from start to saved file: the Script Host switch, both ways,
// on the wineboot prefix's own system.reg and on one grown to 30 MB with class and uninstall
// keys, beside what the user would do instead: `wine reg add` for one change, waiting for
// Wine's server to write it out.
#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "bench/BenchOptions.h"
#include "bench/BenchPrograms.h"
#include "bench/bench_extra.h"
#include "office/ZelMso.h"
#include "support/platform/wine/WinePlatform.h"

namespace tovalin::bench {
namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// A copy of the wineboot prefix: files shared by hard links, the hives our own, grown to at
// least `bytes` of system.reg. Removed with the benchmark.
class ActionPrefix {
 public:
  explicit ActionPrefix(std::uintmax_t bytes) {
    char pattern[] = "/tmp/tovalin-bench-action-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = std::string(pattern) + "/prefix";
    if (std::system(("cp -al " + Quote(Options().winePrefix) + " " + Quote(dir_)).c_str()) != 0) {
      throw std::runtime_error("cannot copy the prefix");
    }
    for (const char* hive : {"system.reg", "user.reg", "userdef.reg"}) {
      fs::remove(dir_ + "/" + hive);
      fs::copy_file(Options().winePrefix + "/" + hive, dir_ + "/" + hive);
    }
    WineOpenOptions options;
    options.writable = true;
    auto platform = OpenWinePrefix(dir_, options);
    AddScriptClasses(*platform);
    for (int first = 0; FileSize(dir_ + "/system.reg") < bytes; first += 10000) {
      AddPrograms(*platform, first, 10000);
    }
  }
  ~ActionPrefix() {
    std::error_code ignored;
    fs::remove_all(fs::path(dir_).parent_path(), ignored);
  }
  const std::string& Dir() const { return dir_; }

 private:
  std::string dir_;
};

// One change by Wine's own tool, until its server has written the hive out.
double WineRegAddMilliseconds(const std::string& prefix) {
  const std::string env = "env WINEPREFIX=" + Quote(prefix) + " WINEDEBUG=-all DISPLAY= ";
  const auto start = std::chrono::steady_clock::now();
  const int status = std::system(
      (env +
       "wine reg add 'HKCU\\Software\\TovalinBench' /v Changed /d yes /f >/dev/null 2>&1 && " +
       env + "wineserver -w")
          .c_str());
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
  return status == 0 ? ms : -1;
}

void BM_ScriptHostSwitch(benchmark::State& state) {
  if (Options().winePrefix.empty()) {
    state.SkipWithError("no wineboot prefix (--wine-prefix=DIR)");
    return;
  }
  const std::uintmax_t bytes = static_cast<std::uintmax_t>(state.range(0)) << 20;
  const ActionPrefix prefix(bytes);
  const double megabytes = static_cast<double>(FileSize(prefix.Dir() + "/system.reg")) / 1e6;
  WineOpenOptions options;
  options.writable = true;
  auto platform = OpenWinePrefix(prefix.Dir(), options);
  TZelMso model(*platform);
  std::int32_t next = 1;
  for (auto _ : state) {
    if (!model.SetItemState(151, next)) {
      state.SkipWithError("the switch did not take effect");
      break;
    }
    next = 1 - next;
  }
  state.counters["system.reg MB"] = megabytes;

  static std::map<std::int64_t, bool> compared;
  if (!compared[state.range(0)]) {
    compared[state.range(0)] = true;
    const double wine = WineRegAddMilliseconds(prefix.Dir());
    char figure[128];
    std::snprintf(figure, sizeof figure,
                  "  wine reg add + server exit, one change (%.1f MB system.reg)", megabytes);
    if (wine < 0) {
      ExtraRows().Missing(figure, "wine reg add failed");
    } else {
      ExtraRows().Add(Figure(figure, wine, "ms"));
    }
  }
}
// 0: the wineboot prefix as it is (about 1.7 MB); 30: grown to 30 MB.
BENCHMARK(BM_ScriptHostSwitch)
    ->Arg(0)
    ->Arg(30)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace tovalin::bench
