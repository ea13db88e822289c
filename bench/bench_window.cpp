// The window's figures, taken from outside the measured process:
//   - process start to first paint of the main window on a copy of the sample prefix;
//   - CPU while an application page is shown and its running-application poll runs;
//   - memory (VmRSS) of the idle window, of this harness and of the program itself.
// The measured process is this program started again in a child mode that builds the window
// exactly as the program's entry does (same classes, same platform), so nothing in the program
// needs a hook. Run with QT_QPA_PLATFORM=offscreen (bench/run.sh does).
//
//   tovalin_bench_window [--program=PATH] [--sample-prefix=DIR] [--runs=N] [--seconds=S]
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/gui/MainWindow.h"
#include "app/gui/MessageBoxes.h"
#include "bench/BenchTable.h"
#include "support/platform/wine/WinePlatform.h"

extern char** environ;

namespace tovalin::bench {
namespace {

namespace fs = std::filesystem;

constexpr double kFirstPaintTargetMs = 300;
constexpr double kPollCpuTargetPercent = 1;

std::int64_t MonotonicNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// ---------------------------------------------------------------------------------------------
// Child side: the window as the program's entry builds it.

class PrintedBoxes : public IMessageBoxes {
 public:
  MsgResult Show(const QString& text, MsgIcon, MsgButtons) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
    return MsgResult::No;
  }
  int Choose(const QString& text, MsgIcon, const QStringList&) override {
    std::fprintf(stderr, "message: %s\n", qPrintable(text));
    return -1;
  }
};

// Reports the first paint of the window or of anything inside it.
class FirstPaint : public QObject {
 public:
  explicit FirstPaint(QWidget& window) : window_(window) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!done_ && event->type() == QEvent::Paint && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == &window_) {
      done_ = true;
      std::printf("paint %lld\n", static_cast<long long>(MonotonicNs()));
      std::fflush(stdout);
      QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
    return false;
  }

 private:
  QWidget& window_;
  bool done_ = false;
};

int RunChild(int argc, char** argv, const std::string& mode) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tovalin"));
  QTranslator qtTranslator;
  if (qtTranslator.load(QStringLiteral("qtbase_ja"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTranslator);
  }
  PrintedBoxes boxes;
  WineOpenOptions options;
  options.writable = true;
  std::unique_ptr<Platform> platform = OpenWinePrefix(DefaultWinePrefix(), options);
  MainWindow form(*platform, boxes);
  if (!form.StartOk()) return 3;
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    QRect frame = form.frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    form.move(frame.topLeft());
  }
  FirstPaint paint(form);
  if (mode == "paint") app.installEventFilter(&paint);
  form.show();
  if (mode == "idle") {
    // An application page: the first row that is not the suite.
    for (int row = 0; row < form.GlbMenu->count() && form.AppIndex() == 0; ++row) {
      form.GlbMenu->SetItemIndex(row);
      form.GlbMenuClick();
    }
    QTimer::singleShot(0, [&form] {
      std::printf("ready %d %d\n", form.AppIndex(), form.TimerProcess->isActive() ? 1 : 0);
      std::fflush(stdout);
    });
  }
  return QApplication::exec();
}

// ---------------------------------------------------------------------------------------------
// Driver side.

struct Child {
  pid_t pid = -1;
  FILE* out = nullptr;  // the child's standard output
};

Child Start(const std::string& program, const std::vector<std::string>& args,
            const std::vector<std::string>& extraEnv) {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string item = *e;
    bool replaced = false;
    for (const std::string& extra : extraEnv) {
      replaced =
          replaced || item.compare(0, extra.find('=') + 1, extra, 0, extra.find('=') + 1) == 0;
    }
    if (!replaced) env.push_back(item);
  }
  env.insert(env.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
  posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  Child child;
  if (posix_spawn(&child.pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
    child.pid = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  close(pipeFds[1]);
  child.out = fdopen(pipeFds[0], "r");
  return child;
}

void Stop(Child& child) {
  if (child.pid > 0) {
    kill(child.pid, SIGTERM);
    waitpid(child.pid, nullptr, 0);
  }
  if (child.out != nullptr) fclose(child.out);
  child = {};
}

// CPU time of all threads of a process, in seconds: the scheduler's nanosecond counts, where
// the kernel keeps them, else utime + stime in clock ticks.
double CpuSeconds(pid_t pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  std::error_code error;
  double total = 0;
  bool any = false;
  for (const fs::directory_entry& task : fs::directory_iterator(proc + "/task", error)) {
    std::ifstream in(task.path() / "schedstat");
    double ns = 0;
    if (in >> ns) {
      total += ns / 1e9;
      any = true;
    }
  }
  if (any) return total;
  std::ifstream in(proc + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return -1;
  std::istringstream fields(text.substr(close + 2));
  std::string field;
  double ticks = 0;
  for (int k = 3; fields >> field && k <= 15; ++k) {
    if (k == 14 || k == 15) ticks += std::atof(field.c_str());
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

double RssMegabytes(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  }
  return -1;
}

// CPU share of one core over `seconds`, sampled from outside.
double CpuPercent(pid_t pid, double seconds) {
  const double before = CpuSeconds(pid);
  const std::int64_t start = MonotonicNs();
  usleep(static_cast<useconds_t>(seconds * 1e6));
  const double after = CpuSeconds(pid);
  const double elapsed = static_cast<double>(MonotonicNs() - start) / 1e9;
  return (after - before) / elapsed * 100.0;
}

class TempPrefix {
 public:
  explicit TempPrefix(const std::string& sample) {
    char pattern[] = "/tmp/tovalin-bench-window-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir_ = pattern;
    fs::copy(sample, Prefix(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  }
  ~TempPrefix() {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Prefix() const { return dir_ + "/prefix"; }

 private:
  std::string dir_;
};

int RunDriver(const std::string& self, const std::string& program, const std::string& sample,
              int runs, double seconds) {
  Table table;
  TempPrefix prefix(sample);
  const std::vector<std::string> env = {"WINEPREFIX=" + prefix.Prefix(),
                                        "QT_QPA_PLATFORM=offscreen"};

  // Start to first paint, several starts; the median counts.
  std::vector<double> samples;
  for (int i = 0; i < runs; ++i) {
    const std::int64_t start = MonotonicNs();
    Child child = Start(self, {"--child=paint"}, env);
    long long painted = 0;
    if (child.out != nullptr && std::fscanf(child.out, "paint %lld", &painted) == 1) {
      samples.push_back(static_cast<double>(painted - start) / 1e6);
    }
    Stop(child);
  }
  if (samples.empty()) {
    table.Missing("window: process start to first paint", "the window did not paint");
  } else {
    Row row = Figure("window: process start to first paint (sample prefix, median of " +
                         std::to_string(samples.size()) + ")",
                     Median(samples), "ms", Goal::AtMost, kFirstPaintTargetMs);
    table.Add(row);
  }

  // An application page with its poll running.
  {
    Child child = Start(self, {"--child=idle"}, env);
    int appIndex = 0;
    int polling = 0;
    if (child.out != nullptr && std::fscanf(child.out, "ready %d %d", &appIndex, &polling) == 2 &&
        appIndex > 0 && polling == 1) {
      usleep(500000);
      const double cpu = CpuPercent(child.pid, seconds);
      table.Add(Figure("window: CPU, application page shown and polling", cpu, "% of a core",
                       Goal::AtMost, kPollCpuTargetPercent));
      table.Add(Figure("window: memory while polling (VmRSS)", RssMegabytes(child.pid), "MB"));
    } else {
      table.Missing("window: CPU while polling", "no application page could be shown");
    }
    Stop(child);
  }

  // The program itself, as a user starts it: it opens on its first product.
  if (!program.empty()) {
    Child child = Start(program, {}, env);
    usleep(2000000);
    int status = 0;
    if (child.pid > 0 && waitpid(child.pid, &status, WNOHANG) == 0) {
      const double cpu = CpuPercent(child.pid, seconds);
      table.Add(Figure("tovalin: CPU, idle on its first page", cpu, "% of a core"));
      table.Add(
          Figure("tovalin: memory of the idle window (VmRSS)", RssMegabytes(child.pid), "MB"));
      Stop(child);
    } else {
      if (child.out != nullptr) fclose(child.out);
      table.Missing("tovalin: idle window", "the program ended (another copy running?)");
    }
  }
  return table.Print("Window figures") ? 0 : 1;
}

}  // namespace
}  // namespace tovalin::bench

int main(int argc, char** argv) {
  using namespace tovalin::bench;
  std::string program;
  std::string sample = std::string(TOVALIN_SOURCE_DIR) + "/examples/sample-prefix";
  int runs = 7;
  double seconds = 10;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--child=", 0) == 0) return RunChild(argc, argv, arg.substr(8));
    if (arg.rfind("--program=", 0) == 0) {
      program = arg.substr(10);
    } else if (arg.rfind("--sample-prefix=", 0) == 0) {
      sample = arg.substr(16);
    } else if (arg.rfind("--runs=", 0) == 0) {
      runs = std::atoi(arg.c_str() + 7);
    } else if (arg.rfind("--seconds=", 0) == 0) {
      seconds = std::atof(arg.c_str() + 10);
    } else {
      std::fprintf(stderr, "unknown argument: %s\n", arg.c_str());
      return 2;
    }
  }
  char self[4096];
  const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return 2;
  self[n] = '\0';
  return RunDriver(self, program, fs::absolute(sample).string(), runs, seconds);
}
