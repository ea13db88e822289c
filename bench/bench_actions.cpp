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
#include "bench/bench_extra.h"
#include "office/ZelMso.h"
#include "support/ZelRegistry.h"
#include "support/platform/wine/WinePlatform.h"

namespace tovalin::bench {
namespace {

namespace fs = std::filesystem;

std::string Quote(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::uintmax_t FileSize(const std::string& path) {
  std::error_code ignored;
  return fs::file_size(path, ignored);
}

// Keys a machine with many programs holds: a file type with its program, a COM class and an
// uninstall entry per program.
void AddPrograms(Platform& platform, int first, int count) {
  TZelChanges action(platform.Registry());
  for (int n = first; n < first + count; ++n) {
    const std::string id = std::to_string(n);
    const std::string guid = "{" + std::string(8 - std::min<std::size_t>(8, id.size()), '0') + id +
                             "-4F9B-11CF-86EA-00AA00B929E8}";
    TZelRegistry reg(platform.Registry());
    reg.SetRoot(RootKey::ClassesRoot);
    reg.OpenKeyWrite("\\.ext" + id, true);
    reg.WriteText("", "App" + id + ".Document");
    reg.WriteText("Content Type", "application/x-app" + id);
    reg.OpenKeyWrite("\\App" + id + ".Document\\Shell\\Open\\Command", true);
    reg.WriteText("", "\"C:\\Program Files\\Vendor " + id + "\\App" + id + ".exe\" \"%1\"");
    reg.OpenKeyWrite("\\CLSID\\" + guid + "\\InprocServer32", true);
    reg.WriteText("", "C:\\Program Files\\Vendor " + id + "\\app" + id + ".dll");
    reg.WriteText("ThreadingModel", "Apartment");
    reg.SetRoot(RootKey::LocalMachine);
    reg.OpenKeyWrite(std::string(kUninstallKey) + "\\" + guid, true);
    reg.WriteText("DisplayName", "Application " + id);
    reg.WriteText("DisplayVersion", "1.2." + id);
    reg.WriteText("Publisher", "Vendor " + id);
    reg.WriteText("InstallLocation", "C:\\Program Files\\Vendor " + id + "\\");
    reg.WriteText("UninstallString", "MsiExec.exe /X" + guid);
  }
  action.Commit();
}

// Six script classes, as Windows registers them, so that the switch moves six keys.
void AddScriptClasses(Platform& platform) {
  TZelChanges action(platform.Registry());
  for (const char* name : {"JSEFile", "JSFile", "VBEFile", "VBSFile", "WSFFile", "WSHFile"}) {
    TZelRegistry reg(platform.Registry());
    reg.SetRoot(RootKey::ClassesRoot);
    reg.OpenKeyWrite("\\" + std::string(name) + "\\Shell\\Open\\Command", true);
    reg.WriteText("", "\"C:\\windows\\system32\\WScript.exe\" \"%1\" %*");
  }
  action.Commit();
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
