// Starting a program hidden: it runs, is not waited for, a missing program
// is reported and one without its full path is refused.
#include "platform/ProcessLaunch.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/tests/PlatformLogCapture.h"
#include "testsupport/TestEnv.h"

namespace {

TEST(RunProgramHiddenTest, StartsTheProgramWithItsParameters) {
  larktest::ScratchDir dir(L"run-hidden");
  const std::wstring marker = dir.file(L"ran.txt");
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
  ASSERT_TRUE(RunProgramHidden(cmd, L"/c echo started> \"" + marker + L"\""));
  bool seen = false;
  for (int i = 0; i < 200 && !seen; ++i) {
    seen = GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!seen) Sleep(25);
  }
  EXPECT_TRUE(seen);
  Sleep(100);  // let cmd close the file before the folder goes
}

TEST(RunProgramHiddenTest, MissingProgramFails) {
  larktest::ScratchDir dir(L"run-hidden-missing");
  EXPECT_FALSE(RunProgramHidden(dir.file(L"no-such-program.exe"), L""));
}

TEST(RunProgramHiddenTest, AProgramWithoutItsFullPathIsRefused) {
  // Each name would be found along the search path (cmd.exe lives in the
  // system folder) or in the current folder.
  larktest::ScratchDir dir(L"run-hidden-bare");
  const std::wstring marker = dir.file(L"ran.txt");
  wchar_t system[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  const std::wstring withoutDrive = std::wstring(system).substr(2) + L"\\cmd.exe";
  const std::wstring names[] = {L"cmd.exe", L"cmd", withoutDrive};
  for (const std::wstring& name : names) {
    PlatformLogCapture log;
    EXPECT_FALSE(RunProgramHidden(name, L"/c echo started> \"" + marker + L"\"")) << larktest::Narrow(name);
    const std::vector<std::wstring> lines = log.Texts();
    const std::wstring refusal = L".W|RunProgramHidden: Not starting '" + name + L"': not an absolute path";
    EXPECT_TRUE(std::find(lines.begin(), lines.end(), refusal) != lines.end())
        << "not logged: " << larktest::Narrow(refusal);
  }
  Sleep(1000);
  EXPECT_EQ(GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES) << "a program was started by search";
}

}  // namespace
