// Wine processes of a prefix, played by copies of sleep(1) named like Wine's loader: they show
// a Windows path as argv[0] and WINEPREFIX in their environment, as Wine's processes do.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>

#include "office/ZelMso.h"
#include "support/platform/wine/WinePlatform.h"
#include "tests/wine/WineTestSupport.h"

namespace tovalin {
namespace {

using winetest::TemplatePrefix;

class WineProcessTest : public testing::Test {
 protected:
  void SetUp() override {
    loader_ = bin_.path() + "/wine64";
    ASSERT_EQ(winetest::Run({"cp", "/bin/sleep", loader_}, {"PATH=/usr/bin:/bin"}), 0);
    prefix_.AddFile("Program Files/Microsoft Office/OFFICE11/EXCEL.EXE", "MZ");
    prefix_.AddFile("windows/system32/notepad.exe", "MZ");
    platform_ = OpenWinePrefix(prefix_.path());
  }
  void TearDown() override {
    for (const pid_t pid : started_) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }

  pid_t Start(const std::string& argv0, const std::string& prefix) {
    return StartProgram(loader_, {argv0, "60"}, prefix);
  }
  pid_t StartProgram(const std::string& program, const std::vector<std::string>& argv,
                     const std::string& prefix) {
    std::vector<std::string> env = {"PATH=/usr/bin:/bin", "HOME=" + bin_.path()};
    if (!prefix.empty()) env.push_back("WINEPREFIX=" + prefix);
    const pid_t pid = winetest::Spawn(program, argv, env);
    started_.push_back(pid);
    ShowsCommandLine(pid, argv[0]);  // once exec is done
    return pid;
  }
  static bool ShowsCommandLine(pid_t pid, const std::string& start) {
    for (int i = 0; i < 400; ++i) {
      const std::string cmdline = winetest::ReadText("/proc/" + std::to_string(pid) + "/cmdline");
      if (cmdline.rfind(start, 0) == 0) return true;
      usleep(5000);
    }
    return false;
  }

  std::vector<ProcessEntry> Snapshot() {
    std::vector<ProcessEntry> entries;
    EXPECT_TRUE(platform_->Processes().Snapshot(entries));
    return entries;
  }

  static bool Lists(const std::vector<ProcessEntry>& entries, pid_t pid, const std::string& exe) {
    return std::any_of(entries.begin(), entries.end(), [&](const ProcessEntry& e) {
      return e.pid == static_cast<std::uint32_t>(pid) && e.exeFile == exe;
    });
  }

  winetest::TempDir bin_{"tovalin-bin"};
  std::string loader_;
  TemplatePrefix prefix_;
  std::unique_ptr<Platform> platform_;
  std::vector<pid_t> started_;
};

TEST_F(WineProcessTest, ListsTheProcessesOfThisPrefixOnly) {
  const pid_t excel =
      Start("C:\\Program Files\\Microsoft Office\\OFFICE11\\EXCEL.EXE", prefix_.path());
  const pid_t bare = Start("notepad", prefix_.path());
  winetest::TempDir other;
  const pid_t elsewhere = Start("C:\\windows\\EXCEL.EXE", other.path());
  // Without WINEPREFIX a process belongs to ~/.wine.
  ASSERT_EQ(symlink(prefix_.path().c_str(), (bin_.path() + "/.wine").c_str()), 0);
  const pid_t byHome = Start("C:\\windows\\system32\\notepad.exe", "");

  const std::vector<ProcessEntry> entries = Snapshot();
  EXPECT_TRUE(Lists(entries, excel, "EXCEL.EXE"));
  EXPECT_TRUE(Lists(entries, bare, "notepad.exe"));
  EXPECT_TRUE(Lists(entries, byHome, "notepad.exe"));
  EXPECT_FALSE(std::any_of(entries.begin(), entries.end(), [&](const ProcessEntry& e) {
    return e.pid == static_cast<std::uint32_t>(elsewhere);
  }));

  IProcesses& processes = platform_->Processes();
  EXPECT_EQ(processes.PlatformId(), win::kPlatformWin32Nt);
  std::vector<std::uint32_t> ids;
  std::size_t needed = 0;
  long error = -1;
  ASSERT_TRUE(processes.EnumProcesses(ids, 4096, needed, error));
  EXPECT_EQ(needed, entries.size() * 4);
  ASSERT_TRUE(processes.EnumProcesses(ids, 1, needed, error));
  EXPECT_EQ(needed, 4u);  // a full buffer, as Windows reports it

  const ProcessHandle handle = processes.OpenProcess(win::kProcessQueryInformation, bare);
  ASSERT_NE(handle, 0u);
  // The bare name is found along the prefix's PATH.
  EXPECT_EQ(processes.GetModuleFileName(handle), "C:\\windows\\system32\\notepad.exe");
  processes.CloseProcess(handle);
  EXPECT_EQ(processes.OpenProcess(win::kProcessQueryInformation, elsewhere), 0u);
  EXPECT_EQ(processes.OpenProcess(win::kProcessQueryInformation, getpid()), 0u);
}

TEST_F(WineProcessTest, TheModelFindsAndEndsARunningApplication) {
  const pid_t first =
      Start("C:\\Program Files\\Microsoft Office\\OFFICE11\\EXCEL.EXE", prefix_.path());
  const pid_t second =
      Start("c:\\program files\\microsoft office\\office11\\excel.exe", prefix_.path());
  Start("C:\\Program Files\\Microsoft Office\\OFFICE11\\XEXCEL.EXE", prefix_.path());
  TZelMso mso(*platform_);
  TArrayDword pids;
  mso.FindRunningProcesses("EXCEL.EXE", pids);
  EXPECT_EQ(pids,
            (TArrayDword{static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(second)}));

  mso.TerminateRunningProcess(first);
  EXPECT_TRUE(winetest::WaitChild(first, 5000));
  mso.FindRunningProcesses("EXCEL.EXE", pids);
  EXPECT_EQ(pids, TArrayDword{static_cast<std::uint32_t>(second)});
}

TEST_F(WineProcessTest, AnEndedProcessIsNeitherListedNorKilledAgain) {
  const pid_t excel =
      Start("C:\\Program Files\\Microsoft Office\\OFFICE11\\EXCEL.EXE", prefix_.path());
  IProcesses& processes = platform_->Processes();
  const ProcessHandle handle = processes.OpenProcess(win::kProcessAllAccess, excel);
  ASSERT_NE(handle, 0u);
  std::uint32_t code = 0;
  ASSERT_TRUE(processes.GetExitCode(handle, code));
  EXPECT_EQ(code, win::kStillActive);

  // Ended behind our back and not yet collected by its parent: a zombie counts as gone.
  kill(excel, SIGKILL);
  while (!winetest::ProcessGone(excel)) usleep(1000);
  EXPECT_FALSE(Lists(Snapshot(), excel, "EXCEL.EXE"));
  ASSERT_TRUE(processes.GetExitCode(handle, code));
  EXPECT_NE(code, win::kStillActive);
  EXPECT_FALSE(processes.Terminate(handle, 0));
  EXPECT_EQ(processes.GetModuleFileName(handle), "");
  processes.CloseProcess(handle);
  EXPECT_EQ(processes.OpenProcess(win::kProcessAllAccess, excel), 0u);
}

TEST_F(WineProcessTest, AProcessIsEndedAfterTheLoaderGaveItItsWindowsName) {
  // Wine's loader first shows the Unix command line (`wine64 ping …`), then the Windows one: a
  // shell named like the loader plays it, renaming itself by exec.
  const std::string shell = bin_.path() + "/wine64-preloader";
  ASSERT_EQ(winetest::Run({"cp", "/bin/bash", shell}, {"PATH=/usr/bin:/bin"}), 0);
  const std::string windowsName = "C:\\windows\\system32\\ping.exe";
  const pid_t ping = StartProgram(
      shell,
      {"ping", "-c",
       "sleep 0.5; exec -a '" + windowsName + "' " + shell + " -c 'while :; do sleep 1; done'"},
      prefix_.path());
  IProcesses& processes = platform_->Processes();
  const ProcessHandle handle = processes.OpenProcess(win::kProcessAllAccess, ping);
  ASSERT_NE(handle, 0u);
  ASSERT_TRUE(ShowsCommandLine(ping, "C:\\windows"));
  EXPECT_TRUE(processes.Terminate(handle, 1));
  EXPECT_TRUE(winetest::WaitChild(ping, 5000));
  processes.CloseProcess(handle);
}

}  // namespace
}  // namespace tovalin
