// Finding and ending the running processes of an application.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

#include "office/ZelMso.h"
#include "support/platform/memory/MemoryPlatform.h"
#include "tests/World.h"

namespace tovalin {
namespace {

class Processes : public testing::TestWithParam<test::WorldParam> {
 protected:
  void SetUp() override {
    world_ = GetParam().make();
    if (!world_->Supports(test::Feature::FakeProcesses) &&
        !world_->Supports(test::Feature::RealProcesses)) {
      GTEST_SKIP() << "no processes";
    }
    mso_ = std::make_unique<TZelMso>(world_->platform());
  }

  // Sorted: a real system enumerates in an order of its own.
  TArrayDword Find(const char* exeName) {
    TArrayDword pids;
    mso_->FindRunningProcesses(exeName, pids);
    std::sort(pids.begin(), pids.end());
    return pids;
  }

  std::unique_ptr<test::World> world_;
  std::unique_ptr<TZelMso> mso_;
};

TEST_P(Processes, FindsEveryInstanceByFileNameAndTerminatesThem) {
  const std::string root = world_->Root();
  const std::uint32_t first = world_->AddProcess(root + "\\Office\\EXCEL.EXE");
  world_->AddProcess(root + "\\Office\\EXCEL.EXE.BAK");
  world_->AddProcess(root + "\\Office\\XEXCEL.EXE");
  world_->AddProcess(root + "\\Office\\WINWORD.EXE");
  const std::uint32_t second = world_->AddProcess(root + "\\Office\\EXCEL.EXE");
  const std::uint32_t elsewhere = world_->AddProcess(root + "\\Copy\\excel.exe");

  const TArrayDword pids = Find("EXCEL.EXE");
  TArrayDword expected{first, second, elsewhere};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(pids, expected);
  for (std::uint32_t pid : pids) mso_->TerminateRunningProcess(pid);
  for (std::uint32_t pid : pids) EXPECT_FALSE(world_->ProcessRunning(pid));
  EXPECT_TRUE(Find("EXCEL.EXE").empty());
  EXPECT_EQ(Find("winword.exe").size(), 1u);
  EXPECT_TRUE(Find("").empty());
}

TEST_P(Processes, BothMethodsFindTheSameAndOtherPlatformsNothing) {
  if (!world_->Supports(test::Feature::PlatformChoice)) GTEST_SKIP() << "no platform choice";
  const std::uint32_t pid = world_->AddProcess(world_->Root() + "\\Office\\POWERPNT.EXE");
  for (std::uint32_t platform : {1u, 2u}) {
    world_->SetPlatformId(platform);
    EXPECT_EQ(Find("POWERPNT.EXE"), TArrayDword{pid}) << platform;
  }
  world_->SetPlatformId(0);
  EXPECT_TRUE(Find("POWERPNT.EXE").empty());
  mso_->TerminateRunningProcess(pid);
  world_->SetPlatformId(2);
  mso_->TerminateRunningProcess(pid);
  EXPECT_FALSE(world_->ProcessRunning(pid));
}

TEST_P(Processes, AnAccountWithoutDebugPrivilegeStillSeesAndEndsItsProcesses) {
  if (!world_->Supports(test::Feature::PrivilegeControl)) GTEST_SKIP() << "no privilege control";
  world_->SetDebugPrivilegeAllowed(false);
  const std::uint32_t pid = world_->AddProcess(world_->Root() + "\\Office\\MSACCESS.EXE");
  EXPECT_EQ(Find("MSACCESS.EXE"), TArrayDword{pid});
  mso_->TerminateRunningProcess(pid);
  EXPECT_FALSE(world_->ProcessRunning(pid));
}

INSTANTIATE_TEST_SUITE_P(All, Processes, testing::ValuesIn(test::AllWorlds()),
                         [](const auto& info) { return test::WorldName(info.param); });

class CountingProcesses : public MemoryProcesses {
 public:
  bool Terminate(ProcessHandle process, std::uint32_t exitCode) override {
    ++terminations;
    return MemoryProcesses::Terminate(process, exitCode);
  }
  int terminations = 0;
};

class CountingPlatform : public MemoryPlatform {
 public:
  IProcesses& Processes() override { return counting; }
  CountingProcesses counting;
};

// What only the in-memory processes can show: privilege bookkeeping, handles, missing APIs.
class MemoryProcessControl : public testing::Test {
 protected:
  FakeProcess& Add(std::uint32_t pid, const std::string& path) {
    platform_.files.AddFile(path);
    return processes_.Add(pid, path);
  }
  TArrayDword Find(const char* exeName) {
    TArrayDword pids{42};  // stale content must not survive
    mso_.FindRunningProcesses(exeName, pids);
    return pids;
  }

  CountingPlatform platform_;
  TZelMso mso_{platform_};
  CountingProcesses& processes_ = platform_.counting;
};

TEST_F(MemoryProcessControl, PrivilegeIsSwitchedOffAgainOnlyWhenItWasSwitchedOn) {
  Add(8, "C:\\x\\EXCEL.EXE").needsDebug = true;
  EXPECT_EQ(Find("EXCEL.EXE"), TArrayDword{8});
  EXPECT_FALSE(processes_.debugEnabled);
  EXPECT_EQ(processes_.openTokens, 0u);
  EXPECT_EQ(processes_.openHandles, 0u);

  // Without the privilege, only the processes that need it stay hidden.
  processes_.holdsDebugPrivilege = false;
  Add(12, "C:\\y\\EXCEL.EXE");
  EXPECT_EQ(Find("EXCEL.EXE"), TArrayDword{12});
  mso_.TerminateRunningProcess(8);
  EXPECT_TRUE(processes_.Find(8)->running);

  // A token that cannot be opened does not blind the search either.
  processes_.tokenAvailable = false;
  EXPECT_EQ(Find("EXCEL.EXE"), TArrayDword{12});
  mso_.TerminateRunningProcess(12);
  EXPECT_FALSE(processes_.Find(12)->running);
  EXPECT_EQ(processes_.openHandles, 0u);
}

TEST_F(MemoryProcessControl, IdsComeInEnumerationOrder) {
  Add(40, "C:\\x\\EXCEL.EXE");
  Add(8, "C:\\y\\excel.exe");
  Add(24, "C:\\x\\EXCEL.EXE");
  EXPECT_EQ(Find("EXCEL.EXE"), (TArrayDword{40, 8, 24}));
  processes_.platformId = win::kPlatformWin32Windows;
  EXPECT_EQ(Find("EXCEL.EXE"), (TArrayDword{40, 8, 24}));
}

TEST_F(MemoryProcessControl, AnExitedProcessIsNotTerminatedAgain) {
  FakeProcess& gone = Add(8, "C:\\x\\EXCEL.EXE");
  gone.running = false;
  gone.exitCode = 3;
  mso_.TerminateRunningProcess(8);
  EXPECT_EQ(processes_.terminations, 0);
  EXPECT_EQ(processes_.Find(8)->exitCode, 3u);
  mso_.TerminateRunningProcess(999);  // never existed
  EXPECT_EQ(processes_.openHandles, 0u);

  Add(16, "C:\\x\\EXCEL.EXE").openable = false;
  mso_.TerminateRunningProcess(16);
  EXPECT_TRUE(processes_.Find(16)->running);
}

TEST_F(MemoryProcessControl, MissingEnumerationFunctionsFindNothing) {
  Add(8, "C:\\x\\EXCEL.EXE");
  processes_.platformId = win::kPlatformWin32Nt;
  processes_.psapiAvailable = false;
  EXPECT_TRUE(Find("EXCEL.EXE").empty());
  processes_.platformId = win::kPlatformWin32Windows;
  EXPECT_EQ(Find("EXCEL.EXE"), TArrayDword{8});
  processes_.snapshotAvailable = false;
  EXPECT_TRUE(Find("EXCEL.EXE").empty());
  processes_.platformId = 3;
  TArrayDword untouched;
  mso_.FindRunningProcesses("EXCEL.EXE", untouched);
  EXPECT_TRUE(untouched.empty());
}

TEST_F(MemoryProcessControl, SnapshotComparesOnlyTheNameAfterTheLastSeparator) {
  processes_.platformId = win::kPlatformWin32Windows;
  Add(4, "C:\\a\\one.exe").exeFile = "C:\\OFFICE\\EXCEL.EXE";
  Add(8, "C:\\a\\two.exe").exeFile = "D:EXCEL.EXE";
  Add(12, "C:\\a\\three.exe").exeFile = "C:\\EXCEL.EXE\\";
  EXPECT_EQ(Find("excel.exe"), (TArrayDword{4, 8}));
}

TEST_F(MemoryProcessControl, PsapiSearchSeesProcessesBeyondTheFirstBuffer) {
  for (std::uint32_t pid = 4; pid <= 4 * 5000; pid += 4) {
    processes_.Add(pid, "C:\\w\\svc.exe");
  }
  platform_.files.AddFile("C:\\w\\svc.exe");
  Add(4 * 5001, "C:\\x\\WINWORD.EXE");
  EXPECT_EQ(Find("WINWORD.EXE"), TArrayDword{4 * 5001});
  // A path that names no existing file is not a match.
  processes_.Add(4 * 5002, "C:\\gone\\WINWORD.EXE");
  EXPECT_EQ(Find("WINWORD.EXE"), TArrayDword{4 * 5001});
}

}  // namespace
}  // namespace tovalin
