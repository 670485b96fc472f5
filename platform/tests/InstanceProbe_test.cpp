// The start-up probe with its real, machine-wide mutex names: three
// processes that hold their probes at the same time get 1, 2 and 3. Runs
// serially, because any other copy of the installer would take the probes.
#include "platform/NamedObjects.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "testsupport/TestEnv.h"

TEST(InstanceProbeTest, ThreeConcurrentCopiesGetOneTwoAndThree) {
  std::wstring release = larktest::UniqueName(L"lark-probe-release-");
  HANDLE releaseEvent = CreateEventW(nullptr, TRUE, FALSE, release.c_str());
  ASSERT_NE(releaseEvent, nullptr);
  std::wstring helper = larktest::BuiltExe(L"platform_probe_helper");

  PROCESS_INFORMATION processes[3] = {};
  for (int i = 0; i < 3; ++i) {
    std::wstring ready = larktest::UniqueName(L"lark-probe-ready-");
    HANDLE readyEvent = CreateEventW(nullptr, TRUE, FALSE, ready.c_str());
    ASSERT_NE(readyEvent, nullptr);
    ASSERT_TRUE(larktest::StartProcess(L"\"" + helper + L"\" probe " + ready + L" " + release, processes[i]));
    // The next copy starts only once this one holds its probe.
    HANDLE waits[2] = {readyEvent, processes[i].hProcess};
    EXPECT_EQ(WaitForMultipleObjects(2, waits, FALSE, 30000), static_cast<DWORD>(WAIT_OBJECT_0)) << "copy " << i;
    CloseHandle(readyEvent);
  }
  SetEvent(releaseEvent);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(WaitForSingleObject(processes[i].hProcess, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
    DWORD code = 0;
    GetExitCodeProcess(processes[i].hProcess, &code);
    EXPECT_EQ(code, static_cast<DWORD>(i + 1)) << "copy " << i;
    CloseHandle(processes[i].hProcess);
    CloseHandle(processes[i].hThread);
  }
  CloseHandle(releaseEvent);
}

TEST(InstanceProbeTest, ProbesAreFreeAgainAfterTheCopiesEnd) {
  std::wstring ready = larktest::UniqueName(L"lark-probe-ready-");
  std::wstring release = larktest::UniqueName(L"lark-probe-release-");
  HANDLE readyEvent = CreateEventW(nullptr, TRUE, FALSE, ready.c_str());
  HANDLE releaseEvent = CreateEventW(nullptr, TRUE, TRUE, release.c_str());  // already set
  for (int round = 0; round < 2; ++round) {
    larktest::ProcessResult r = larktest::RunProcess(
        L"\"" + larktest::BuiltExe(L"platform_probe_helper") + L"\" probe " + ready + L" " + release);
    EXPECT_EQ(r.exitCode, 1u) << "round " << round;
  }
  // This process holds nothing, so it gets the first probe too.
  EXPECT_EQ(CheckRunningInstance(), 1);
  CloseHandle(readyEvent);
  CloseHandle(releaseEvent);
}
