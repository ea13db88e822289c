// The Wine side: a real system.reg read and written back, the running-application poll among
// hundreds of other processes, and the version resources of every PE file Wine ships.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchOptions.h"
#include "bench/bench_extra.h"
#include "office/ZelMso.h"
#include "support/ZelVersionInfo.h"
#include "support/platform/wine/WinePlatform.h"
#include "support/regfile/WineRegFile.h"

extern char** environ;

namespace tovalin::bench {
namespace {

namespace fs = std::filesystem;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return std::move(buffer).str();
}

void MarkChanged(RegNode& node) {
  node.MarkModified();
  for (auto& child : node.children) MarkChanged(*child);
}

// The system.reg of the wineboot prefix, or nothing (the benchmark then says why).
const std::string* SystemReg(benchmark::State& state) {
  static const std::string text =
      Options().winePrefix.empty() ? std::string() : ReadText(Options().winePrefix + "/system.reg");
  if (text.empty()) {
    state.SkipWithError("no wineboot prefix (--wine-prefix=DIR)");
    return nullptr;
  }
  return &text;
}

void BM_WineRegistryRead(benchmark::State& state) {
  const std::string* text = SystemReg(state);
  if (text == nullptr) return;
  for (auto _ : state) {
    WineHive hive = ParseWineRegistry(*text, "system.reg");
    benchmark::DoNotOptimize(hive.root);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text->size()));
}
BENCHMARK(BM_WineRegistryRead)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->MinTime(0.3)
    ->ReportAggregatesOnly(true);

void WriteBenchmark(benchmark::State& state, bool changed) {
  const std::string* text = SystemReg(state);
  if (text == nullptr) return;
  const WineHive hive = ParseWineRegistry(*text, "system.reg");
  if (changed) MarkChanged(*hive.root);
  std::size_t size = 0;
  for (auto _ : state) {
    const std::string out = FormatWineRegistry(hive, 0x1dd869d879e1058ull);
    size = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  // Written back untouched, the file must come out as it was read.
  if (!changed && FormatWineRegistry(hive, 1) != *text) {
    state.SkipWithError("the untouched hive was not written back byte for byte");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

void BM_WineRegistryWriteBack(benchmark::State& state) {
  WriteBenchmark(state, false);
}
BENCHMARK(BM_WineRegistryWriteBack)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->MinTime(0.3)
    ->ReportAggregatesOnly(true);

void BM_WineRegistryWriteChanged(benchmark::State& state) {
  WriteBenchmark(state, true);
}
BENCHMARK(BM_WineRegistryWriteChanged)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->MinTime(0.3)
    ->ReportAggregatesOnly(true);

// A copy of the sample prefix with drive Z: on the root folder, as wineboot makes it, removed
// again with everything in it.
class TempPrefix {
 public:
  TempPrefix() {
    char pattern[] = "/tmp/tovalin-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    fs::copy(Options().sourceDir + "/examples/sample-prefix", dir_ + "/prefix",
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    std::error_code ignored;
    fs::create_directory_symlink("/", dir_ + "/prefix/dosdevices/z:", ignored);
  }
  ~TempPrefix() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Prefix() const { return dir_ + "/prefix"; }
  std::string Dir() const { return dir_; }

 private:
  std::string dir_;
};

pid_t Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& env) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(),
                                env.empty() ? environ : envp.data());
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? pid : -1;
}

// Processes started for one benchmark and ended with it.
class Processes {
 public:
  ~Processes() {
    for (const pid_t pid : pids_) kill(pid, SIGKILL);
    for (const pid_t pid : pids_) waitpid(pid, nullptr, 0);
  }
  void Add(pid_t pid) {
    if (pid > 0) pids_.push_back(pid);
  }
  std::size_t size() const { return pids_.size(); }
  // Waits until every process shows its final command line (exec is done).
  void WaitStarted(const std::string& argv0Start) {
    for (const pid_t pid : pids_) {
      for (int tries = 0; tries < 400; ++tries) {
        std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline");
        std::string cmdline((std::istreambuf_iterator<char>(in)), {});
        if (cmdline.rfind(argv0Start, 0) == 0 || cmdline.rfind("sleep", 0) == 0) break;
        usleep(5000);
      }
    }
  }

 private:
  std::vector<pid_t> pids_;
};

double PgrepMilliseconds(const std::string& pattern) {
  std::vector<double> samples;
  for (int i = 0; i < 15; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = Spawn("/usr/bin/pgrep", {"pgrep", "-f", pattern}, {});
    if (pid < 0) return -1;
    waitpid(pid, nullptr, 0);
    samples.push_back(
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
            .count());
  }
  return Median(samples);
}

void BM_WineProcessPoll(benchmark::State& state) {
  TempPrefix prefix;
  // Wine's processes played by a copy of sleep(1) named like Wine's loader: a Windows path as
  // argv[0] and WINEPREFIX in the environment, as Wine shows them. One is Excel; the rest are
  // what a Wine session runs besides.
  const std::string loader = prefix.Dir() + "/wine64";
  fs::copy_file("/bin/sleep", loader);
  const std::vector<std::string> env = {"PATH=/usr/bin:/bin", "WINEPREFIX=" + prefix.Prefix()};
  Processes processes;
  const std::string excel = "C:\\Program Files (x86)\\Microsoft Office\\OFFICE11\\EXCEL.EXE";
  processes.Add(Spawn(loader, {excel, "600"}, env));
  for (const char* program :
       {"C:\\windows\\system32\\services.exe", "C:\\windows\\system32\\winedevice.exe",
        "C:\\windows\\system32\\winedevice.exe", "C:\\windows\\system32\\plugplay.exe",
        "C:\\windows\\system32\\svchost.exe", "C:\\windows\\system32\\rpcss.exe",
        "C:\\windows\\system32\\explorer.exe", "C:\\windows\\system32\\conhost.exe"}) {
    processes.Add(Spawn(loader, {program, "600"}, env));
  }
  const std::size_t wine = processes.size();
  for (int i = 0; i < Options().sleepers; ++i) {
    processes.Add(Spawn("/bin/sleep", {"sleep", "600"}, {"PATH=/usr/bin:/bin"}));
  }
  processes.WaitStarted("C:\\");

  std::unique_ptr<Platform> platform = OpenWinePrefix(prefix.Prefix());
  TZelMso model(*platform);
  TArrayDword pids;
  for (auto _ : state) {
    pids.clear();
    model.FindRunningProcesses("EXCEL.EXE", pids);
  }
  if (pids.size() != 1) state.SkipWithError("the running Excel was not found exactly once");
  state.counters["processes"] = static_cast<double>(processes.size());

  static bool once = false;
  if (!once) {
    once = true;
    Row pgrep;
    pgrep.figure = "pgrep -f EXCEL.EXE, same process table (spawn included)";
    pgrep.value = PgrepMilliseconds("EXCEL.EXE");
    pgrep.unit = "ms";
    ExtraRows().Add(pgrep);
    Row count;
    count.figure = "processes started for the poll (Wine-like + sleeping)";
    count.value = static_cast<double>(processes.size());
    count.note = std::to_string(wine) + " Wine-like";
    ExtraRows().Add(count);
  }
}
BENCHMARK(BM_WineProcessPoll)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->Iterations(60)
    ->ReportAggregatesOnly(true);

void BM_VersionResources(benchmark::State& state) {
  TempPrefix prefix;
  std::unique_ptr<Platform> platform = OpenWinePrefix(prefix.Prefix());
  std::vector<std::string> files;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(Options().peFolder, error)) {
    if (!entry.is_regular_file()) continue;
    std::string path = "Z:" + entry.path().string();
    std::replace(path.begin(), path.end(), '/', '\\');
    files.push_back(std::move(path));
  }
  if (files.empty()) {
    state.SkipWithError(("no files in " + Options().peFolder).c_str());
    return;
  }
  std::size_t withVersion = 0;
  for (auto _ : state) {
    withVersion = 0;
    for (const std::string& file : files) {
      TZelVersionInfo info(*platform);
      info.LoadFromFile(file);
      if (!info.FileVersion.empty()) ++withVersion;
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * files.size()));
  state.counters["files"] = static_cast<double>(files.size());
  state.counters["with_version"] = static_cast<double>(withVersion);
}
BENCHMARK(BM_VersionResources)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(3)
    ->MinTime(0.3)
    ->ReportAggregatesOnly(true);

}  // namespace
}  // namespace tovalin::bench
