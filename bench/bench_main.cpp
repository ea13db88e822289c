// The core benchmarks: the model, the Wine registry files, the process poll and the version
// reader. Google Benchmark's own flags work as usual; ours:
//   --wine-prefix=DIR   a prefix made by wineboot (its system.reg is read and written)
//   --pe-folder=DIR     the PE files whose version resources are read
//   --sleepers=N        extra sleeping processes during the process poll (500)
//   --cli=PROGRAM       tovalin-cli, for the large hive's figures (the one built beside)
// The program ends with a table of every figure beside its target; it exits with 1 when a
// figure misses its target.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchOptions.h"
#include "bench/BenchTable.h"
#include "bench/bench_extra.h"

namespace tovalin::bench {

BenchOptions& Options() {
  static BenchOptions options = [] {
    BenchOptions o;
    o.sourceDir = TOVALIN_SOURCE_DIR;
#ifdef TOVALIN_CLI
    o.cli = TOVALIN_CLI;
#endif
    return o;
  }();
  return options;
}

Table& ExtraRows() {
  static Table table;
  return table;
}

Table& MeasuredRows() {
  static Table table;
  return table;
}

}  // namespace tovalin::bench

int main(int argc, char** argv) {
  using namespace tovalin::bench;
  if (argc > 2 && std::strcmp(argv[1], "--peak-memory") == 0) return PeakMemoryMain(argv + 2);
  benchmark::Initialize(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* flag) -> const char* {
      const std::size_t n = std::strlen(flag);
      return arg.compare(0, n, flag) == 0 ? argv[i] + n : nullptr;
    };
    if (const char* v = value("--wine-prefix=")) {
      Options().winePrefix = v;
    } else if (const char* v = value("--pe-folder=")) {
      Options().peFolder = v;
    } else if (const char* v = value("--sleepers=")) {
      Options().sleepers = std::atoi(v);
    } else if (const char* v = value("--cli=")) {
      Options().cli = v;
    } else {
      std::fprintf(stderr, "unknown argument: %s\n", argv[i]);
      return 2;
    }
  }

  const std::vector<Target> targets = {
      {"BM_ModelConstruction", "model construction (5,000 entries, 50,000 classes)",
       Target::Metric::RealTimeMs, Goal::AtMost, 50, "ms"},
      {"BM_ScriptHostState", "Script Host state over 50,000 classes (hive order)",
       Target::Metric::RealTimeMs, Goal::AtMost, 20, "ms"},
      {"BM_ScriptHostStateScattered", "  the same, keys created in random order",
       Target::Metric::RealTimeMs, Goal::AtMost, 20, "ms"},
      {"BM_ManyValuesInOneKey", "100,000 values in one key: loaded, listed and read",
       Target::Metric::RealTimeMs, Goal::AtMost, 300, "ms"},
      {"BM_WineRegistryRead", "system.reg read (wineboot prefix)", Target::Metric::BytesPerSecond,
       Goal::AtLeast, 100, "MB/s"},
      {"BM_WineRegistryWriteBack", "system.reg written back, keys untouched",
       Target::Metric::BytesPerSecond, Goal::AtLeast, 100, "MB/s"},
      {"BM_WineRegistryWriteChanged", "system.reg written back, every key changed",
       Target::Metric::BytesPerSecond, Goal::AtLeast, 100, "MB/s"},
      {"BM_ScriptHostSwitch", "Script Host switch, one action saved (wineboot system.reg)",
       Target::Metric::RealTimeMs, Goal::Info, 0, "ms", "0"},
      {"BM_ScriptHostSwitch", "Script Host switch, one action saved (30 MB system.reg)",
       Target::Metric::RealTimeMs, Goal::AtMost, 100, "ms", "30"},
      {"BM_WineProcessPoll", "running-application poll (Wine prefix)", Target::Metric::RealTimeMs,
       Goal::AtMost, 5, "ms"},
      {"BM_ListWinePrefixes", "Wine prefix list (20 wineboot prefixes, 2 with Office)",
       Target::Metric::RealTimeMs, Goal::AtMost, 300, "ms"},
      {"BM_VersionResources", "version resources of Wine's PE files",
       Target::Metric::ItemsPerSecond, Goal::AtLeast, 2000, "files/s"},
  };
  Table table;
  TargetReporter reporter(targets, table);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  table.Append(MeasuredRows());
  const bool met = table.Print("Core figures (medians)");
  if (!ExtraRows().empty()) ExtraRows().Print("Beside them");
  return met ? 0 : 1;
}
