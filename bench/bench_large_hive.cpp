// The sample prefix grown to 30 MB of system.reg (file types, COM classes, uninstall entries),
// used as a user uses it, through tovalin-cli: one change (`set` minus `get` of the Script Host
// switch, which reads the same hive) and the save of a changed key alone, beside writing and
// flushing a file of the same size on the same disk (the save is held to twice that); and the
// peak memory of `report` beside the size of the hive, also with a million values in one key.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/BenchOptions.h"
#include "bench/BenchPrograms.h"
#include "bench/bench_extra.h"
#include "office/ZelMso.h"
#include "support/ZelRegistry.h"
#include "support/platform/wine/WinePlatform.h"

extern char** environ;

namespace tovalin::bench {
namespace {

namespace fs = std::filesystem;

constexpr std::uintmax_t kHiveBytes = std::uintmax_t{30} << 20;
constexpr int kRuns = 9;
// A change costs at most this many times writing and flushing the file it saves.
constexpr double kChangeTimesWrite = 2;
// A report's peak memory is at most this many times the hive it reads.
constexpr double kMemoryTimesFile = 4;
constexpr int kManyValues = 1000000;
// The Office 2003 product's uninstall entry, which the report reads.
constexpr const char* kOfficeEntry = "{90110411-6000-11D3-8CFE-0150048383C9}";

double Milliseconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// A copy of the sample prefix, removed with everything in it.
class SamplePrefix {
 public:
  SamplePrefix() {
    char pattern[] = "/tmp/tovalin-bench-hive-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = std::string(pattern) + "/prefix";
    fs::copy(Options().sourceDir + "/examples/sample-prefix", dir_,
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  }
  ~SamplePrefix() {
    std::error_code ignored;
    fs::remove_all(fs::path(dir_).parent_path(), ignored);
  }
  const std::string& Dir() const { return dir_; }
  std::string SystemReg() const { return dir_ + "/system.reg"; }
  std::unique_ptr<Platform> Open() const {
    WineOpenOptions options;
    options.writable = true;
    return OpenWinePrefix(dir_, options);
  }

 private:
  std::string dir_;
};

struct ChildRun {
  double ms = -1;
  int exitCode = -1;
};

// Runs a program with its output thrown away; `out`, when given, reads its output instead.
ChildRun Run(const std::vector<std::string>& args, std::string* out = nullptr) {
  std::vector<std::string> all = args;
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  int pipeFds[2] = {-1, -1};
  if (out != nullptr && pipe2(pipeFds, O_CLOEXEC) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (out != nullptr) {
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  ChildRun run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int error = posix_spawn(&pid, all[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (out != nullptr) {
    close(pipeFds[1]);
    char buffer[256];
    for (ssize_t n; error == 0 && (n = read(pipeFds[0], buffer, sizeof buffer)) > 0;) {
      out->append(buffer, static_cast<std::size_t>(n));
    }
    close(pipeFds[0]);
  }
  if (error != 0) return run;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return run;
  run.ms = Milliseconds(std::chrono::steady_clock::now() - start);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

ChildRun RunCli(std::vector<std::string> args) {
  args.insert(args.begin(), Options().cli);
  return Run(args);
}

// What a user's own tools would take to put the same bytes on the same disk.
double WriteAndFlushMilliseconds(const std::string& folder, const std::string& bytes) {
  const std::string path = folder + "/plain-write.tmp";
  const auto start = std::chrono::steady_clock::now();
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  bool ok = true;
  for (std::size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    ok = n > 0;
    if (ok) done += static_cast<std::size_t>(n);
  }
  ok = fsync(fd) == 0 && ok;
  close(fd);
  const double ms = Milliseconds(std::chrono::steady_clock::now() - start);
  unlink(path.c_str());
  return ok ? ms : -1;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void MemoryRow(const std::string& what, const SamplePrefix& prefix) {
  const double fileMegabytes = static_cast<double>(FileSize(prefix.SystemReg())) / (1 << 20);
  // Measured by this program started anew (see PeakMemoryMain): a child started from here
  // would count this process's own peak as its own.
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  std::string out;
  if (length > 0) {
    Run({std::string(self, static_cast<std::size_t>(length)), "--peak-memory", Options().cli,
         "report", "--prefix", prefix.Dir()},
        &out);
  }
  long peakKilobytes = 0;
  int exitCode = -1;
  char figure[160];
  std::snprintf(figure, sizeof figure, "%s: report's peak memory / system.reg (%.1f MB)",
                what.c_str(), fileMegabytes);
  if (std::sscanf(out.c_str(), "%ld %d", &peakKilobytes, &exitCode) != 2 || exitCode != 0) {
    MeasuredRows().Missing(figure, "tovalin-cli report failed");
    return;
  }
  const double peakMegabytes = static_cast<double>(peakKilobytes) / 1024.0;
  Row row = Figure(figure, peakMegabytes / fileMegabytes, "x", Goal::AtMost, kMemoryTimesFile);
  char note[64];
  std::snprintf(note, sizeof note, "%.0f MB peak", peakMegabytes);
  row.note = note;
  MeasuredRows().Add(row);
}

void BM_LargeHiveCli(benchmark::State& state) {
  if (Options().cli.empty() || !fs::exists(Options().cli)) {
    state.SkipWithError("no tovalin-cli (--cli=PROGRAM)");
    return;
  }
  const SamplePrefix prefix;
  {
    std::unique_ptr<Platform> platform = prefix.Open();
    AddScriptClasses(*platform);
    for (int first = 0; FileSize(prefix.SystemReg()) < kHiveBytes; first += 5000) {
      AddPrograms(*platform, first, 5000);
    }
  }
  const double fileMegabytes = static_cast<double>(FileSize(prefix.SystemReg())) / (1 << 20);
  const std::string bytes = ReadAll(prefix.SystemReg());
  std::vector<double> gets, sets, changes, writes, saves;
  for (auto _ : state) {
    for (int run = 0; run < kRuns; ++run) {
      const ChildRun get = RunCli({"get", "151", "--prefix", prefix.Dir()});
      // Each set is a real change: the switch goes the other way every time.
      const ChildRun set =
          RunCli({"set", "151", run % 2 == 0 ? "0" : "1", "--prefix", prefix.Dir()});
      if (get.exitCode != 0 || set.exitCode != 0) {
        state.SkipWithError("tovalin-cli get or set failed");
        return;
      }
      gets.push_back(get.ms);
      sets.push_back(set.ms);
      // Each pair back to back, so that the machine's load drifts less between the two.
      changes.push_back(set.ms - get.ms);
      writes.push_back(WriteAndFlushMilliseconds(prefix.Dir(), bytes));
    }
    // The save alone: one key changed in an action of its own, on the hive already read.
    std::unique_ptr<Platform> platform = prefix.Open();
    for (int run = 0; run < kRuns; ++run) {
      TZelChanges action(platform->Registry());
      TZelRegistry reg(platform->Registry());
      reg.SetRoot(RootKey::LocalMachine);
      reg.OpenKeyWrite("\\Software\\TovalinBench", true);
      reg.WriteText("Run", std::to_string(run));
      reg.CloseCurrent();
      const auto start = std::chrono::steady_clock::now();
      action.Commit();
      saves.push_back(Milliseconds(std::chrono::steady_clock::now() - start));
    }
  }
  const double write = Median(writes);
  char figure[160];
  std::snprintf(figure, sizeof figure, "%.1f MB system.reg: write + fsync of a file that size",
                fileMegabytes);
  MeasuredRows().Add(Figure(figure, write, "ms"));
  MeasuredRows().Add(Figure("  tovalin-cli get 151 (reads the hive)", Median(gets), "ms"));
  MeasuredRows().Add(Figure("  tovalin-cli set 151 (reads, changes, saves)", Median(sets), "ms"));
  // Beyond the save, a set reads the switch's state before and after the change, and the
  // change itself looks into every class: the model's scans, shown beside the save.
  Row change = Figure("  one change: set minus get (median of pairs)", Median(changes), "ms",
                      Goal::AtMost, kChangeTimesWrite * write);
  change.note = "the save, the history's records and the switch's scans of every class";
  MeasuredRows().Add(change);
  MeasuredRows().Add(Figure("  the save alone, one changed key", Median(saves), "ms", Goal::AtMost,
                            kChangeTimesWrite * write));
  MemoryRow("30 MB hive", prefix);

  // A million values in the Office product's uninstall entry, which the report reads.
  const SamplePrefix many;
  {
    std::unique_ptr<Platform> platform = many.Open();
    TZelChanges action(platform->Registry());
    TZelRegistry reg(platform->Registry());
    reg.SetRoot(RootKey::LocalMachine);
    reg.OpenKeyWrite(std::string(kUninstallKey) + "\\" + kOfficeEntry, false);
    char name[32], text[32];
    for (int n = 0; n < kManyValues; ++n) {
      std::snprintf(name, sizeof name, "Value%07d", n);
      std::snprintf(text, sizeof text, "Data %07d", n);
      reg.WriteText(name, text);
    }
    reg.CloseCurrent();
    action.Commit();
  }
  MemoryRow("1,000,000 values in one key", many);
}
BENCHMARK(BM_LargeHiveCli)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int PeakMemoryMain(char** program) {
  // A process that has just started holds little, and a child forked from it starts from that:
  // its peak is the program's own.
  const pid_t pid = fork();
  if (pid < 0) return 2;
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) dup2(null, 1);
    execv(program[0], program);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return 2;
  std::printf("%ld %d\n", usage.ru_maxrss, WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  return 0;
}

}  // namespace tovalin::bench
